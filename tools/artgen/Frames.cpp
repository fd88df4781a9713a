#include "artgen/Frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "artgen/Palette.h"
#include "artgen/Shapes.h"

namespace artgen {

namespace {
kvpic::Image cut(const kvpic::Image& from, int x0, int y0, int n) {
  kvpic::Image out(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) std::memcpy(out.at(x, y), from.at(x0 + x, y0 + y), 4);
  return out;
}

// Bevel colour for a rim pixel: the side nearest to the pixel decides whether it faces the light
// (top, left) or turns away from it (bottom, right).
bool facesLight(float x, float y, float size) {
  const float toLeft = x, toTop = y, toRight = size - x, toBottom = size - y;
  const float lit = std::min(toLeft, toTop), shaded = std::min(toRight, toBottom);
  return lit < shaded || (lit == shaded && toLeft + toTop < toRight + toBottom);
}
}  // namespace

void cutNine(const Canvas& canvas, char prefix, const std::string& suffix, Pictures& into) {
  const int n = canvas.w / 3;
  const kvpic::Image full = canvas.image();
  const char* columns = "LMR";
  const char* rows = "TMB";
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      if (r == 1 && c == 1) continue;
      const std::string name = std::string{prefix, columns[c], rows[r]} + suffix;
      into[name] = cut(full, n * c, n * r, n);
    }
}

Canvas outerFrame(int scale) {
  const float n = 30;
  Canvas c(30, 30, scale);
  c.fill([&](float x, float y) { return -boxDistance(x, y, 3, 3, n - 3, n - 3); },
         [&](float x, float y) {
           // Inner shadow: stronger below the top and left rims, where the light comes from.
           const float top = y - 3, left = x - 3, right = n - 3 - x, bottom = n - 3 - y;
           const float lit = std::min(top, left), shaded = std::min(right, bottom);
           const float a = std::max(0.46f * std::pow(clamp01(1 - lit / 6.5f), 2.0f),
                                    0.22f * std::pow(clamp01(1 - shaded / 4.0f), 2.0f));
           return rgb(0, 0, 0, a);
         });
  // Rim: outline, then the bevel.
  c.eachPixel([&](int x, int y, float cx, float cy) {
    const float d = std::min(std::min(cx, cy), std::min(n - cx, n - cy));  // distance to the outside
    if (d > 3) return;
    const bool light = facesLight(cx, cy, n);
    Rgba col;
    if (d < 1) col = kOutline;
    else if (d < 2) col = light ? rgb(92, 96, 104) : rgb(24, 25, 28);
    else col = light ? rgb(64, 67, 74) : rgb(31, 33, 37);
    c.over(x, y, col, 1.0f);
  });
  return c;
}

Canvas groupFrame(int scale) {
  const float n = 30;
  Canvas c(30, 30, scale);
  // Drop shadow of the plate (outline box 4 ... 26), offset one pixel right and two down.
  // Only outside the outline: inside it the plate is opaque.
  c.fill(
      [&](float x, float y) { return std::max(boxDistance(x, y, 0, 0, n, n), -boxDistance(x, y, 4, 4, n - 4, n - 4)); },
      [&](float x, float y) {
        const float d = boxDistance(x - 1.0f, y - 2.0f, 4, 4, n - 4, n - 4, 1.0f);
        return rgb(0, 0, 0, 0.45f * std::pow(clamp01(1 - (d + 0.5f) / 4.0f), 1.6f));
      });
  c.eachPixel([&](int x, int y, float cx, float cy) {
    const float d = std::min(std::min(cx, cy), std::min(n - cx, n - cy));
    if (d < 4 || d > 6) return;
    const bool light = facesLight(cx, cy, n);
    const Rgba col = d < 5 ? kOutline : (light ? rgb(98, 103, 112) : rgb(34, 36, 40));
    c.over(x, y, col, 1.0f);
  });
  // The pixels under the interior stay transparent: the plate shows through the right and
  // bottom pieces, which are painted over it.
  return c;
}

}  // namespace artgen
