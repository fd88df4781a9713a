// The meter demo's artwork (examples/meter): a panel with two recessed slots and a scale, and a
// column of LED segments whose pixels carry their segment number (1 at the bottom ... 24 at the
// top) in the green byte and the key colour (blue 0x40, red 0xC0) in the two others; the edges'
// coverage goes into alpha, so the palette widget keeps the LEDs' shape when it recolours them.
#pragma once

#include <string>

#include "artgen/Text.h"

namespace artgen {

// Writes METER.kvif and METER_PANEL.kvif into the folder `out`; false after a line on standard error.
bool writeMeterArt(const std::string& out, const Fonts& fonts);

}  // namespace artgen
