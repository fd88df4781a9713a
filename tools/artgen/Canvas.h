// Colours and the drawing surface of the artwork: premultiplied float pixels composed with "over",
// every shape given by its signed distance so that each edge is anti-aliased.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "kvpicture.h"

namespace artgen {

constexpr float kPi = 3.14159265358979f;

struct Rgba {
  float r, g, b, a;  // straight alpha, 0 ... 1
};

inline Rgba rgb(int r, int g, int b, float a = 1.0f) { return Rgba{r / 255.0f, g / 255.0f, b / 255.0f, a}; }

inline Rgba mix(const Rgba& p, const Rgba& q, float t) {
  return Rgba{p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t, p.a + (q.a - p.a) * t};
}

inline Rgba scaled(const Rgba& c, float k) { return Rgba{c.r * k, c.g * k, c.b * k, c.a}; }

inline float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// Hermite interpolation from 0 at e0 to 1 at e1.
inline float smooth(float e0, float e1, float v) {
  const float t = clamp01((v - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// A canvas of scale s has s x s pixels for each unit of the drawing's coordinates: shapes and text
// are given in units and drawn at the full resolution, so a picture at scale 2 is drawn again, not
// enlarged.
struct Canvas {
  int w, h;  // in pixels
  float s;
  std::vector<float> px;  // r, g, b, a premultiplied

  Canvas(int width, int height, int scale = 1)
      : w(width * scale), h(height * scale), s(static_cast<float>(scale)), px(static_cast<size_t>(w) * h * 4, 0.0f) {}

  // Composes `c` over the pixel with the given coverage; pixels outside are ignored.
  void over(int x, int y, const Rgba& c, float coverage);

  // Calls `paint` with every pixel and its centre in units.
  void eachPixel(const std::function<void(int x, int y, float cx, float cy)>& paint);

  // Paints every pixel whose centre lies inside the shape given by its signed distance in units
  // (negative inside), shaded by `shade` at the pixel centre; the edge is one pixel wide.
  void fill(const std::function<float(float, float)>& distance, const std::function<Rgba(float, float)>& shade);
  void fill(const std::function<float(float, float)>& distance, const Rgba& c);

  // Straight-alpha bytes; opaque pixels get 254, partial alpha keeps its value below that.
  kvpic::Image image() const;
};

}  // namespace artgen
