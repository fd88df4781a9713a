#include "artgen/Logo.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "artgen/Palette.h"
#include "artgen/Shapes.h"

namespace artgen {

kvpic::Image siteLogo(const Font& bold, const Font& regular, int scale) {
  Canvas c(160, 30, scale);
  // Emblem: an amber ring holding a fundamental and its second harmonic.
  const float ex = 20.0f, ey = 15.0f;
  c.fill([&](float x, float y) { return circleDistance(x, y, ex + 0.5f, ey + 1.2f, 12.5f); },
         [&](float x, float y) {
           const float d = circleDistance(x, y, ex + 0.5f, ey + 1.2f, 10.5f);
           return rgb(0, 0, 0, 0.45f * std::pow(clamp01(1 - d / 2.5f), 1.5f));
         });
  c.fill([&](float x, float y) { return circleDistance(x, y, ex, ey, 11.0f); }, kOutline);
  c.fill([&](float x,
             float y) { return std::max(circleDistance(x, y, ex, ey, 10.0f), -circleDistance(x, y, ex, ey, 8.4f)); },
         [&](float x, float y) { return mix(rgb(255, 196, 110), rgb(206, 116, 28), clamp01((y - ey + 10) / 20)); });
  c.fill([&](float x, float y) { return circleDistance(x, y, ex, ey, 8.4f); }, rgb(26, 27, 31));
  auto wave = [&](float amplitude, float cycles, float halfWidth) {
    return [=](float x, float y) {
      float best = 1e9f;
      for (int k = 0; k < 48; ++k) {
        const float u0 = -6.2f + 12.4f * k / 48, u1 = -6.2f + 12.4f * (k + 1) / 48;
        const float v0 = -amplitude * std::sin(u0 / 6.2f * kPi * cycles),
                    v1 = -amplitude * std::sin(u1 / 6.2f * kPi * cycles);
        best = std::min(best, segmentDistance(x, y, ex + u0, ey + v0, ex + u1, ey + v1, halfWidth));
      }
      return std::max(best, circleDistance(x, y, ex, ey, 8.0f));
    };
  };
  c.fill(wave(2.4f, 2.0f, 0.55f), rgb(120, 124, 132));
  c.fill(wave(4.2f, 1.0f, 0.8f), kAccent);
  // Wordmark and line.
  // The line below the wordmark is spaced out to the wordmark's width.
  const std::string name = "KV AUDIO", line = "HARMONIC EXCITERS";
  const float nameWidth = drawText(nullptr, bold, 15, name, 0, 0, kCaption, 2.0f);
  const float lineWidth = drawText(nullptr, regular, 7, line, 0, 0, kCaption, 0);
  const float spacing = std::max(0.0f, std::floor((nameWidth - lineWidth) / static_cast<float>(line.size() - 1)));
  caption(c, bold, 15, name, 38.0f, 17.0f, rgb(226, 228, 232), 2.0f);
  caption(c, regular, 7, line, 38.5f, 26.0f, rgb(150, 154, 162), spacing);
  return c.image();
}

}  // namespace artgen
