// The multiplier's button: frame 0 off, frame 1 on. A raised key with a round lamp and its state
// written on it; when on, the key is pressed in, the lamp glows amber and the word lights up.
#pragma once

#include "artgen/Text.h"
#include "kvpicture.h"

namespace artgen {

// One frame, 40 x 24 units, its word in `bold`.
kvpic::Image buttonFrame(bool on, const Font& bold, int scale);

}  // namespace artgen
