#include "artgen/Button.h"

#include <algorithm>
#include <cmath>

#include "artgen/Palette.h"
#include "artgen/Shapes.h"

namespace artgen {

kvpic::Image buttonFrame(bool on, const Font& bold, int scale) {
  Canvas c(40, 24, scale);
  const float l = 1.5f, t = 1.5f, r = 38.5f, b = 21.5f;
  // Drop shadow (smaller when the key is pressed).
  const float lift = on ? 0.6f : 1.6f;
  c.fill([&](float x, float y) { return boxDistance(x, y, 0, 0, 40, 24); },
         [&](float x, float y) {
           const float d = boxDistance(x - 0.5f, y - lift, l, t, r, b, 4.0f);
           return rgb(0, 0, 0, 0.48f * std::pow(clamp01(1 - (d + 0.5f) / 3.0f), 1.5f));
         });
  c.fill([&](float x, float y) { return boxDistance(x, y, l, t, r, b, 4.0f); }, kOutline);
  c.fill([&](float x, float y) { return boxDistance(x, y, l + 1, t + 1, r - 1, b - 1, 3.0f); },
         [&](float x, float y) {
           const float k = clamp01((y - t) / (b - t));
           return on ? mix(rgb(46, 48, 53), rgb(62, 65, 72), k) : mix(rgb(104, 108, 117), rgb(58, 61, 68), k);
         });
  // Bevel highlight along the top edge of the key (off) or a shadow inside it (on).
  c.fill(
      [&](float x, float y) {
        return std::max(boxDistance(x, y, l + 1, t + 1, r - 1, b - 1, 3.0f),
                        -boxDistance(x, y, l + 1, t + 2, r - 1, b, 3.0f));
      },
      on ? rgb(0, 0, 0, 0.5f) : rgb(150, 155, 165, 0.8f));
  // The lamp.
  const float lx = 10.5f, ly = 11.5f;
  if (on) {
    c.fill([&](float x, float y) { return circleDistance(x, y, lx, ly, 7.0f); },
           [&](float x, float y) {
             const float d = std::hypot(x - lx, y - ly);
             return Rgba{kAccent.r, kAccent.g, kAccent.b, 0.55f * std::pow(clamp01(1 - (d - 3.0f) / 4.0f), 2.0f)};
           });
  }
  c.fill([&](float x, float y) { return circleDistance(x, y, lx, ly, 4.0f); }, kOutline);
  c.fill([&](float x, float y) { return circleDistance(x, y, lx, ly, 3.0f); },
         [&](float x, float y) {
           const float d = clamp01(std::hypot(x - lx + 0.8f, y - ly + 0.8f) / 3.5f);
           return on ? mix(rgb(255, 236, 180), kAccent, d) : mix(rgb(92, 52, 34), rgb(44, 26, 20), d);
         });
  // The word.
  const Rgba word = on ? rgb(255, 214, 150) : rgb(150, 154, 162);
  if (!on) drawText(&c, bold, 9, "OFF", 26.5f, 15.5f, rgb(0, 0, 0, 0.5f), 0.4f, true);
  drawText(&c, bold, 9, on ? "ON" : "OFF", 26.5f, on ? 15.0f : 15.0f - 0.5f, word, 0.4f, true);
  return c.image();
}

}  // namespace artgen
