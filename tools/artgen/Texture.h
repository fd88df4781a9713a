// The brushed-metal textures of the background (BGND) and of the group's plate (GMM).
#pragma once

#include "artgen/Canvas.h"

namespace artgen {

// A 128 x 128 unit tile of `base` with fine horizontal brushing and a faint mottle of strength
// `grain`, both periodic over the tile, so that it repeats seamlessly.
Canvas panelTexture(const Rgba& base, int seed, float grain, int scale);

}  // namespace artgen
