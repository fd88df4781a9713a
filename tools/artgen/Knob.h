// The knob: the pointer turning clockwise from 7:30 (minimum) to 4:30 (maximum); an amber arc
// grows with the value, so the setting reads at a glance.
#pragma once

#include "kvpicture.h"

namespace artgen {

// Frame `frame` of `frames`, 32 x 32 units.
kvpic::Image knobFrame(int frame, int frames, int scale);

}  // namespace artgen
