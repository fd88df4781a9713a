#include "artgen/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace artgen {

void Canvas::over(int x, int y, const Rgba& c, float coverage) {
  if (x < 0 || y < 0 || x >= w || y >= h) return;
  const float a = clamp01(c.a * coverage);
  if (a <= 0) return;
  float* p = &px[(static_cast<size_t>(y) * w + x) * 4];
  p[0] = c.r * a + p[0] * (1 - a);
  p[1] = c.g * a + p[1] * (1 - a);
  p[2] = c.b * a + p[2] * (1 - a);
  p[3] = a + p[3] * (1 - a);
}

void Canvas::eachPixel(const std::function<void(int x, int y, float cx, float cy)>& paint) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) paint(x, y, (x + 0.5f) / s, (y + 0.5f) / s);
}

void Canvas::fill(const std::function<float(float, float)>& distance, const std::function<Rgba(float, float)>& shade) {
  eachPixel([&](int x, int y, float cx, float cy) {
    const float cov = clamp01(0.5f - distance(cx, cy) * s);
    if (cov > 0) over(x, y, shade(cx, cy), cov);
  });
}

void Canvas::fill(const std::function<float(float, float)>& distance, const Rgba& c) {
  fill(distance, [&](float, float) { return c; });
}

kvpic::Image Canvas::image() const {
  kvpic::Image out(w, h);
  for (int i = 0; i < w * h; ++i) {
    const float* p = &px[static_cast<size_t>(i) * 4];
    uint8_t* o = &out.bgra[static_cast<size_t>(i) * 4];
    const float a = p[3];
    if (a <= 1.0f / 512) continue;
    auto channel = [&](float v) { return static_cast<uint8_t>(std::lround(clamp01(v / a) * 255)); };
    o[0] = channel(p[2]);
    o[1] = channel(p[1]);
    o[2] = channel(p[0]);
    o[3] = static_cast<uint8_t>(std::min<long>(254, std::lround(a * 255)));
  }
  return out;
}

}  // namespace artgen
