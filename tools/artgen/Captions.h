// Captions drawn as pictures (T_MULTIPLIER and the S_ labels): centred lines with a soft shadow.
#pragma once

#include <string>
#include <vector>

#include "artgen/Text.h"
#include "kvpicture.h"

namespace artgen {

// A w x h unit picture with `lines` centred, the first baseline at `firstBaseline`, the next ones
// `lineStep` below each other.
kvpic::Image textPicture(int w, int h, const Font& font, int pixels, const std::vector<std::string>& lines,
                         const Rgba& colour, float tracking, float firstBaseline, float lineStep, int scale);

}  // namespace artgen
