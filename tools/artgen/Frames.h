// The frames: drawn once on a 30 x 30 unit canvas and cut into nine 10 x 10 pieces; every effect
// stays within 10 units of a corner, so the middle pieces repeat seamlessly along their edge.
#pragma once

#include <map>
#include <string>

#include "artgen/Canvas.h"
#include "kvpicture.h"

namespace artgen {

using Pictures = std::map<std::string, kvpic::Image>;

// The eight border pieces of `canvas` (the middle one is left out) into `into`, named `prefix`,
// the column (L, M, R), the row (T, M, B) and `suffix`: ALT, AMT, ... ARB.
void cutNine(const Canvas& canvas, char prefix, const std::string& suffix, Pictures& into);

// The shadow frame round the editor: a dark outline, a two-pixel raised bevel, and a soft shadow
// the raised rim casts onto the panel inside it.
Canvas outerFrame(int scale);

// The group frame: a raised plate with a one-pixel outline, a highlight along its top and left
// edges and a drop shadow below and to the right. The plate's interior is the GMM picture, which
// starts 6 pixels inside the frame: the pieces draw only their outer 6 pixels.
Canvas groupFrame(int scale);

}  // namespace artgen
