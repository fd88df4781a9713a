// The maker's logo (SITELOGO): an amber ring holding a fundamental and its second harmonic, the
// wordmark and a line below it.
#pragma once

#include "artgen/Text.h"
#include "kvpicture.h"

namespace artgen {

// 160 x 30 units.
kvpic::Image siteLogo(const Font& bold, const Font& regular, int scale);

}  // namespace artgen
