// The colours every picture of the editor shares.
#pragma once

#include "artgen/Canvas.h"

namespace artgen {

inline const Rgba kPanel = rgb(37, 39, 44);
inline const Rgba kPlate = rgb(50, 53, 59);
inline const Rgba kOutline = rgb(13, 14, 16);
inline const Rgba kAccent = rgb(240, 158, 52);
inline const Rgba kCaption = rgb(196, 199, 205);

}  // namespace artgen
