#include "artgen/Texture.h"

#include "artgen/Shapes.h"

namespace artgen {

Canvas panelTexture(const Rgba& base, int seed, float grain, int scale) {
  Canvas c(128, 128, scale);
  c.eachPixel([&](int x, int y, float, float) {
    const float u = static_cast<float>(x) / c.s, v = static_cast<float>(y) / c.s;
    const float brush = periodicNoise(u * 0.125f, v * 4.0f, 1.0f, 16, seed) - 0.5f;
    const float mottle = periodicNoise(u, v, 16.0f, 128, seed + 1) - 0.5f;
    const float k = 1.0f + grain * (0.9f * brush + 0.6f * mottle);
    c.over(x, y, scaled(base, k), 1.0f);
  });
  return c;
}

}  // namespace artgen
