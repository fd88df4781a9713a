// The artwork generator: draws every picture of the editor, writes each as a KVIF or KVVF file
// named like its resource, and writes preview.png, a sheet with the composed panel (on and off),
// every picture and a selection of knob frames.
//
//   artgen <output folder> [font folder]
//       the pictures at scale 1 under their resource names, and drawn again at twice the
//       resolution under the same names with the suffix _2X
//   artgen --meter <output folder> [font folder]     the meter demo's two pictures only
//
// Shapes are drawn from signed distances (coverage = 0.5 - distance, clamped), so every edge is
// anti-aliased; captions are drawn with FreeType. Pixels that end up opaque carry alpha 254, as
// the product's pictures do; shadows are black with partial alpha.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "KV/Pic/Pic.h"
#include "KV/Vid.h"
#include "KV_cfuncs.h"
#include "cli.h"
#include "kvpicture.h"

namespace {

constexpr float kPi = 3.14159265358979f;

// ---------------------------------------------------------------------------------------------
// Colours and the drawing surface

struct Rgba {
  float r, g, b, a;  // straight alpha, 0 ... 1
};

Rgba rgb(int r, int g, int b, float a = 1.0f) { return Rgba{r / 255.0f, g / 255.0f, b / 255.0f, a}; }

Rgba mix(const Rgba& p, const Rgba& q, float t) {
  return Rgba{p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t, p.a + (q.a - p.a) * t};
}

Rgba scaled(const Rgba& c, float k) { return Rgba{c.r * k, c.g * k, c.b * k, c.a}; }

float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
float smooth(float e0, float e1, float v) {
  const float t = clamp01((v - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// Premultiplied float pixels, composed with "over". A canvas of scale s has s x s pixels for each
// unit of the drawing's coordinates: shapes and text are given in units and drawn at the full
// resolution, so a picture at scale 2 is drawn again, not enlarged.
struct Canvas {
  int w, h;  // in pixels
  float s;
  std::vector<float> px;  // r, g, b, a premultiplied
  Canvas(int width, int height, int scale = 1)
      : w(width * scale), h(height * scale), s(static_cast<float>(scale)), px(static_cast<size_t>(w) * h * 4, 0.0f) {}

  void over(int x, int y, const Rgba& c, float coverage) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    const float a = clamp01(c.a * coverage);
    if (a <= 0) return;
    float* p = &px[(static_cast<size_t>(y) * w + x) * 4];
    p[0] = c.r * a + p[0] * (1 - a);
    p[1] = c.g * a + p[1] * (1 - a);
    p[2] = c.b * a + p[2] * (1 - a);
    p[3] = a + p[3] * (1 - a);
  }

  // Calls `paint` with every pixel and its centre in units.
  void eachPixel(const std::function<void(int x, int y, float cx, float cy)>& paint) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) paint(x, y, (x + 0.5f) / s, (y + 0.5f) / s);
  }

  // Paints every pixel whose centre lies inside the shape given by its signed distance in units
  // (negative inside), shaded by `shade` at the pixel centre; the edge is one pixel wide.
  void fill(const std::function<float(float, float)>& distance, const std::function<Rgba(float, float)>& shade) {
    eachPixel([&](int x, int y, float cx, float cy) {
      const float cov = clamp01(0.5f - distance(cx, cy) * s);
      if (cov > 0) over(x, y, shade(cx, cy), cov);
    });
  }
  void fill(const std::function<float(float, float)>& distance, const Rgba& c) {
    fill(distance, [&](float, float) { return c; });
  }

  // Straight-alpha bytes; opaque pixels get 254, partial alpha keeps its value below that.
  kvpic::Image image() const {
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
};

// Signed distances.
float boxDistance(float x, float y, float left, float top, float right, float bottom, float radius = 0) {
  const float cx = (left + right) / 2, cy = (top + bottom) / 2;
  const float hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
  const float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
  const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

float circleDistance(float x, float y, float cx, float cy, float r) { return std::hypot(x - cx, y - cy) - r; }

float segmentDistance(float x, float y, float ax, float ay, float bx, float by, float halfWidth) {
  const float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
  const float t = clamp01((px * dx + py * dy) / (dx * dx + dy * dy));
  return std::hypot(px - dx * t, py - dy * t) - halfWidth;
}

// Periodic value noise: tiles seamlessly with the given period.
float hashNoise(int x, int y, int seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + static_cast<uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
}

float periodicNoise(float x, float y, float cell, int period, int seed) {
  const int cells = static_cast<int>(period / cell);
  const float fx = x / cell, fy = y / cell;
  const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
  const float tx = smooth(0, 1, fx - x0), ty = smooth(0, 1, fy - y0);
  auto at = [&](int i, int j) { return hashNoise(((i % cells) + cells) % cells, ((j % cells) + cells) % cells, seed); };
  const float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * tx;
  const float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * tx;
  return top + (bottom - top) * ty;
}

// ---------------------------------------------------------------------------------------------
// Text

struct Font {
  FT_Face face = nullptr;
};

FT_Library freetype = nullptr;
std::string fontFolder = "/usr/share/fonts/truetype/dejavu";

Font loadFont(const char* file) {
  Font f;
  const std::string path = fontFolder + "/" + file;
  if (FT_New_Face(freetype, path.c_str(), 0, &f.face) != 0) {
    std::fprintf(stderr, "artgen: cannot load font %s\n", path.c_str());
    std::exit(1);
  }
  return f;
}

// Draws `text` with its baseline at y, starting at x (or centred on x when `centre`), with extra
// spacing `tracking` between letters; returns the advance in pixels. Light hinting keeps the
// strokes on whole pixels vertically, so small captions stay crisp.
float drawText(Canvas* canvas, const Font& font, int pixels, const std::string& text, float x, float y,
               const Rgba& colour, float tracking = 0, bool centre = false) {
  // Sizes and places in units; measured without a canvas at scale 1.
  const float s = canvas ? canvas->s : 1.0f;
  x *= s;
  y *= s;
  tracking *= s;
  FT_Set_Pixel_Sizes(font.face, 0, static_cast<FT_UInt>(static_cast<float>(pixels) * s));
  auto advanceOf = [&]() {
    float total = 0;
    for (char ch : text) {
      if (FT_Load_Char(font.face, static_cast<unsigned char>(ch), FT_LOAD_TARGET_LIGHT) != 0) continue;
      total += std::round(font.face->glyph->advance.x / 64.0f) + tracking;
    }
    return total - tracking;
  };
  const float width = advanceOf();
  if (!canvas) return width;
  float pen = centre ? x - width / 2 : x;
  pen = std::round(pen);
  for (char ch : text) {
    if (FT_Load_Char(font.face, static_cast<unsigned char>(ch), FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0) continue;
    const FT_GlyphSlot g = font.face->glyph;
    const int left = static_cast<int>(std::round(pen)) + g->bitmap_left;
    const int top = static_cast<int>(std::round(y)) - g->bitmap_top;
    for (unsigned row = 0; row < g->bitmap.rows; ++row)
      for (unsigned col = 0; col < g->bitmap.width; ++col) {
        const uint8_t v = g->bitmap.buffer[row * g->bitmap.pitch + col];
        if (v) canvas->over(left + static_cast<int>(col), top + static_cast<int>(row), colour, v / 255.0f);
      }
    pen += std::round(g->advance.x / 64.0f) + tracking;
  }
  return width / s;
}

// A caption with a soft black shadow one pixel below.
void caption(Canvas& c, const Font& font, int pixels, const std::string& text, float x, float y, const Rgba& colour,
             float tracking = 0, bool centre = false) {
  drawText(&c, font, pixels, text, x, y + 1, rgb(0, 0, 0, 0.45f), tracking, centre);
  drawText(&c, font, pixels, text, x, y, colour, tracking, centre);
}

// ---------------------------------------------------------------------------------------------
// The palette

const Rgba kPanel = rgb(37, 39, 44);
const Rgba kPlate = rgb(50, 53, 59);
const Rgba kOutline = rgb(13, 14, 16);
const Rgba kAccent = rgb(240, 158, 52);
const Rgba kCaption = rgb(196, 199, 205);

// ---------------------------------------------------------------------------------------------
// Textures

Canvas panelTexture(const Rgba& base, int seed, float grain, int scale) {
  Canvas c(128, 128, scale);
  c.eachPixel([&](int x, int y, float, float) {
    // Fine horizontal brushing plus a faint mottle, both periodic over 128 units.
    const float u = static_cast<float>(x) / c.s, v = static_cast<float>(y) / c.s;
    const float brush = periodicNoise(u * 0.125f, v * 4.0f, 1.0f, 16, seed) - 0.5f;
    const float mottle = periodicNoise(u, v, 16.0f, 128, seed + 1) - 0.5f;
    const float k = 1.0f + grain * (0.9f * brush + 0.6f * mottle);
    c.over(x, y, scaled(base, k), 1.0f);
  });
  return c;
}

// ---------------------------------------------------------------------------------------------
// Frames: drawn once on a 30 x 30 canvas and cut into nine 10 x 10 pieces; every effect stays
// within 10 pixels of a corner, so the middle pieces repeat seamlessly along their edge.

using Pieces = std::map<std::string, kvpic::Image>;

kvpic::Image cut(const kvpic::Image& from, int x0, int y0, int n) {
  kvpic::Image out(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) std::memcpy(out.at(x, y), from.at(x0 + x, y0 + y), 4);
  return out;
}

void cutNine(const Canvas& canvas, char prefix, const std::string& suffix, Pieces& into) {
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

// Bevel colour for a rim pixel: the side nearest to the pixel decides whether it faces the light
// (top, left) or turns away from it (bottom, right).
bool facesLight(float x, float y, float size) {
  const float toLeft = x, toTop = y, toRight = size - x, toBottom = size - y;
  const float lit = std::min(toLeft, toTop), shaded = std::min(toRight, toBottom);
  return lit < shaded || (lit == shaded && toLeft + toTop < toRight + toBottom);
}

// The shadow frame round the editor: a dark outline, a two-pixel raised bevel, and a soft shadow
// the raised rim casts onto the panel inside it.
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

// The group frame: a raised plate with a one-pixel outline, a highlight along its top and left
// edges and a drop shadow below and to the right. The plate's interior is the GMM picture, which
// starts 6 pixels inside the frame: the pieces draw only their outer 6 pixels.
Canvas groupFrame(int scale) {
  const float n = 30;
  Canvas c(30, 30, scale);
  // Drop shadow of the plate (outline box 4 ... 26), offset one pixel right and two down.
  // Only outside the outline: inside it the plate is opaque.
  c.fill([&](float x, float y) { return std::max(boxDistance(x, y, 0, 0, n, n), -boxDistance(x, y, 4, 4, n - 4, n - 4)); },
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

// ---------------------------------------------------------------------------------------------
// Knob: 100 frames, the pointer turning clockwise from 7:30 (minimum) to 4:30 (maximum); an
// amber arc grows with the value, so the setting reads at a glance.

constexpr float kKnobStart = -135.0f, kKnobSweep = 270.0f;

kvpic::Image knobFrame(int frame, int frames, int scale) {
  Canvas c(32, 32, scale);
  const float cx = 16.0f, cy = 15.5f;
  const float angle = (kKnobStart + kKnobSweep * frame / (frames - 1)) * kPi / 180;  // clockwise from up
  const float start = kKnobStart * kPi / 180, end = (kKnobStart + kKnobSweep) * kPi / 180;

  // Angle of a point, clockwise from twelve o'clock, in -pi ... pi.
  auto angleOf = [&](float x, float y) { return std::atan2(x - cx, -(y - cy)); };
  auto ring = [&](float x, float y, float inner, float outer) {
    const float r = std::hypot(x - cx, y - cy);
    return std::max(inner - r, r - outer);
  };
  // Distance to an arc from a0 to a1 (radians, clockwise) of the ring inner ... outer, with round ends.
  auto arc = [&](float x, float y, float inner, float outer, float a0, float a1) {
    const float phi = angleOf(x, y);
    const float mid = (inner + outer) / 2, half = (outer - inner) / 2;
    if (phi >= a0 && phi <= a1) return ring(x, y, inner, outer);
    auto capAt = [&](float a) {
      return std::hypot(x - (cx + mid * std::sin(a)), y - (cy - mid * std::cos(a))) - half;
    };
    return std::min(capAt(a0), capAt(a1));
  };

  // Soft shadow under the knob.
  c.fill([&](float x, float y) { return circleDistance(x, y, cx + 0.6f, cy + 1.6f, 15.0f); },
         [&](float x, float y) {
           const float d = circleDistance(x, y, cx + 0.6f, cy + 1.6f, 11.0f);
           return rgb(0, 0, 0, 0.42f * std::pow(clamp01(1 - d / 4.5f), 1.5f));
         });
  // Scale: the track of the arc; its round ends mark the range.
  c.fill([&](float x, float y) { return arc(x, y, 12.6f, 15.0f, start, end); }, rgb(17, 18, 21));
  // The value arc.
  if (angle > start + 0.01f)
    c.fill([&](float x, float y) { return arc(x, y, 13.1f, 14.5f, start, angle); },
           [&](float x, float y) { return mix(rgb(196, 110, 30), kAccent, clamp01((angleOf(x, y) - start) / 2.0f)); });
  // Cap: dark bezel, then a lit dome with a soft sheen that stays put while the pointer turns.
  c.fill([&](float x, float y) { return circleDistance(x, y, cx, cy, 11.0f); }, kOutline);
  c.fill([&](float x, float y) { return circleDistance(x, y, cx, cy, 10.0f); },
         [&](float x, float y) {
           const float t = clamp01(((x - cx) * 0.45f + (y - cy)) / 20.0f + 0.5f);
           const Rgba body = mix(rgb(104, 109, 118), rgb(44, 47, 53), t);
           const float r = std::hypot(x - cx, y - cy);
           const float rim = smooth(8.2f, 9.6f, r) * (t < 0.5f ? 0.25f : -0.2f);
           return scaled(body, 1.0f + rim);
         });
  c.fill([&](float x, float y) { return circleDistance(x, y, cx, cy, 7.6f); },
         [&](float x, float y) {
           const float t = clamp01(((x - cx) * 0.4f + (y - cy)) / 15.0f + 0.5f);
           return mix(rgb(84, 88, 96), rgb(56, 59, 66), t);
         });
  // Pointer: a light line from near the centre to the edge of the cap.
  const float sx = std::sin(angle), sy = -std::cos(angle);
  c.fill([&](float x, float y) { return segmentDistance(x, y, cx + 2.5f * sx, cy + 2.5f * sy, cx + 8.8f * sx, cy + 8.8f * sy, 1.05f); },
         rgb(0, 0, 0, 0.5f));
  c.fill([&](float x, float y) { return segmentDistance(x, y, cx + 2.5f * sx, cy + 2.5f * sy, cx + 8.8f * sx, cy + 8.8f * sy, 0.95f); },
         rgb(246, 244, 238));
  return c.image();
}

// ---------------------------------------------------------------------------------------------
// Button: frame 0 off, frame 1 on. A raised key with a round lamp and its state written on it;
// when on, the key is pressed in, the lamp glows amber and the word lights up.

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
  c.fill([&](float x, float y) {
           return std::max(boxDistance(x, y, l + 1, t + 1, r - 1, b - 1, 3.0f), -boxDistance(x, y, l + 1, t + 2, r - 1, b, 3.0f));
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

// ---------------------------------------------------------------------------------------------
// Logo and captions

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
  c.fill([&](float x, float y) { return std::max(circleDistance(x, y, ex, ey, 10.0f), -circleDistance(x, y, ex, ey, 8.4f)); },
         [&](float x, float y) { return mix(rgb(255, 196, 110), rgb(206, 116, 28), clamp01((y - ey + 10) / 20)); });
  c.fill([&](float x, float y) { return circleDistance(x, y, ex, ey, 8.4f); }, rgb(26, 27, 31));
  auto wave = [&](float amplitude, float cycles, float halfWidth) {
    return [=](float x, float y) {
      float best = 1e9f;
      for (int k = 0; k < 48; ++k) {
        const float u0 = -6.2f + 12.4f * k / 48, u1 = -6.2f + 12.4f * (k + 1) / 48;
        const float v0 = -amplitude * std::sin(u0 / 6.2f * kPi * cycles), v1 = -amplitude * std::sin(u1 / 6.2f * kPi * cycles);
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

kvpic::Image textPicture(int w, int h, const Font& font, int pixels, const std::vector<std::string>& lines,
                         const Rgba& colour, float tracking, float firstBaseline, float lineStep, int scale) {
  Canvas c(w, h, scale);
  for (size_t i = 0; i < lines.size(); ++i)
    caption(c, font, pixels, lines[i], w / 2.0f, firstBaseline + lineStep * static_cast<float>(i), colour, tracking, true);
  return c.image();
}

// ---------------------------------------------------------------------------------------------
// The preview: the panel composed exactly as the editor composes it, through the framework's
// own picture code.

struct Resources {
  std::map<std::string, std::vector<uint8_t>> files;  // resource name -> encoded bytes
};

struct Composer {
  const Resources& res;
  KV_Pic<KV_Pix_A32> panel;
  const Font& textFont;

  Composer(const Resources& r, const Font& f) : res(r), textFont(f) { panel.resize(172, 238); }

  // Applies the window's faded (0.4) or highlighted (1.5) drawing of a widget: the widget drawn
  // alone on a transparent layer, its alpha scaled, then blended.
  void through(float factor, const std::function<void(KV_Pic_Base<KV_Pix_A32>&)>& paint) {
    if (factor == 1.0f) {
      paint(panel);
      return;
    }
    KV_Pic<KV_Pix_A32> layer;
    layer.resize(172, 238);
    paint(layer);
    for (int i = 0; i < 172 * 238; ++i) {
      KV_Pix_A32& p = layer.pixels[i];
      const double a = p.a * static_cast<double>(factor);
      if (a <= 255) {
        p.a = static_cast<uint8_t>(a);
      } else {
        p.r = static_cast<uint8_t>(std::min(255.0f, p.r * factor));
        p.g = static_cast<uint8_t>(std::min(255.0f, p.g * factor));
        p.b = static_cast<uint8_t>(std::min(255.0f, p.b * factor));
      }
    }
    layer.blend(panel, 0, 0, KV_Rect{0, 0, 172, 238});
  }

  void pic(const char* name, int w, int h, int l, int t) {
    const std::vector<uint8_t>& bytes = res.files.at(name);
    KV_Pic<KV_Pix_A32> p;
    if (!p.map(bytes.data(), bytes.size())) return;
    if (w == 0) w = p.width;
    if (h == 0) h = p.height;
    p.blend(panel, l, t, KV_Rect{0, 0, w, h});
  }

  void frame(const char* name, uint32_t index, int l, int t, float factor) {
    const std::vector<uint8_t>& bytes = res.files.at(name);
    KV_Vid v;
    if (!v.map(bytes.data(), bytes.size())) return;
    through(factor, [&](KV_Pic_Base<KV_Pix_A32>& to) { v.blend(index, to, l, t, KV_Rect{0, 0, static_cast<int32_t>(v.width), static_cast<int32_t>(v.height)}); });
  }

  // A text widget as the editor draws it: the text on black, then every non-black pixel opaque.
  void text(const std::string& s, int l, int t, int w, int h, const Rgba& colour, int pixels, float factor) {
    Canvas cell(w, h);
    cell.fill([](float, float) { return -1.0f; }, rgb(0, 0, 0));
    drawText(&cell, textFont, pixels, s, w / 2.0f, static_cast<float>(h) - 3, colour, 0, true);
    kvpic::Image img = cell.image();
    KV_Pic<KV_Pix_A32> p;
    p.resize(w, h);
    for (int i = 0; i < w * h; ++i) {
      const uint8_t* q = &img.bgra[static_cast<size_t>(i) * 4];
      p.pixels[i] = KV_Pix_A32{q[0], q[1], q[2], static_cast<uint8_t>(q[0] | q[1] | q[2] ? 255 : 0)};
    }
    through(factor, [&](KV_Pic_Base<KV_Pix_A32>& to) { p.blend(to, l, t, KV_Rect{0, 0, w, h}); });
  }

  void layout(bool multiplierOn, int hoverKnob) {
    const int W = 172, H = 238, T = 10, X = 15, Y = 62, GW = 142, GH = 166;
    pic("BGND", W, H, 0, 0);
    pic("ALT", 10, 10, 0, 0);
    pic("AMT", W - 20, 10, 10, 0);
    pic("ART", 10, 10, W - 10, 0);
    pic("ALM", 10, H - 20, 0, 10);
    pic("ARM", 10, H - 20, W - 10, 10);
    pic("ALB", 10, 10, 0, H - 10);
    pic("AMB", W - 20, 10, 10, H - 10);
    pic("ARB", 10, 10, W - 10, H - 10);
    pic("SITELOGO", 0, 0, 6, 8);
    text("Varnex", 10, 40, W - 20, 14, rgb(255, 255, 255), 12, 1.0f);
    pic("GLT", T, T, X, Y);
    pic("GMT", GW - 2 * T, T, X + T, Y);
    pic("GRT", T, T, X + GW - T, Y);
    pic("GLM", T, GH - 2 * T, X, Y + T);
    pic("GMM", GW - 2 * T + 8, GH - 2 * T + 8, X + T - 4, Y + T - 4);
    pic("GRM", T, GH - 2 * T, X + GW - T, Y + T);
    pic("GLB", T, T, X, Y + GH - T);
    pic("GMB", GW - 2 * T, T, X + T, Y + GH - T);
    pic("GRB", T, T, X + GW - T, Y + GH - T);
    frame("BUT", multiplierOn ? 1 : 0, X + 11, Y + 11, 1.0f);
    pic("T_MULTIPLIER", 0, 0, X + 53, Y + 10);
    const float f = multiplierOn ? 1.0f : 0.4f;
    const Rgba grey = rgb(192, 192, 192);
    const int frames[5] = {39, 99, 34, 61, 62};
    auto knob = [&](int k, int l, int t) { frame("KNOB", frames[k], l, t, multiplierOn ? (hoverKnob == k ? 1.5f : 1.0f) : 0.4f); };
    text("Src.", X + 11, Y + 47, 32, 14, grey, 11, f);
    knob(0, X + 11, Y + 62);
    text("2-x", X + 55, Y + 47, 32, 14, grey, 11, f);
    knob(1, X + 55, Y + 62);
    text("3-x", X + 99, Y + 47, 32, 14, grey, 11, f);
    knob(2, X + 99, Y + 62);
    text("Rand.", X + 23, Y + 110, 42, 14, grey, 11, f);
    knob(3, X + 28, Y + 125);
    text("Stab.", X + 77, Y + 110, 42, 14, grey, 11, f);
    knob(4, X + 82, Y + 125);
  }
};

// Copies a picture onto the sheet at (x, y), each pixel as a scale x scale square, over a
// checkerboard that shows transparency.
void place(kvpic::Image& sheet, const kvpic::Image& img, int x, int y, int scale, bool checker) {
  for (int j = 0; j < img.height * scale; ++j)
    for (int i = 0; i < img.width * scale; ++i) {
      const int sx = x + i, sy = y + j;
      if (sx < 0 || sy < 0 || sx >= sheet.width || sy >= sheet.height) continue;
      const uint8_t* p = img.at(i / scale, j / scale);
      uint8_t* o = sheet.at(sx, sy);
      const int bg = checker ? (((i / 6) + (j / 6)) % 2 ? 150 : 110) : o[0];
      const float a = p[3] / 255.0f;
      for (int k = 0; k < 3; ++k) o[k] = static_cast<uint8_t>(std::lround(p[k] * a + (checker ? bg : o[k]) * (1 - a)));
      o[3] = 255;
    }
}

kvpic::Image fromPic(const KV_Pic_Base<KV_Pix_A32>& p) {
  kvpic::Image img(p.width, p.height);
  std::memcpy(img.bgra.data(), p.pixels, img.bgra.size());
  for (size_t i = 3; i < img.bgra.size(); i += 4) img.bgra[i] = 255;  // the screen shows it opaque
  return img;
}

// A frame as stored, alpha included, read through the strip's own cell addressing.
kvpic::Image decodeFrame(const std::vector<uint8_t>& strip, uint32_t f) {
  KV_Vid v;
  if (!v.map(strip.data(), strip.size())) return kvpic::Image();
  kvpic::Image img(static_cast<int>(v.width), static_cast<int>(v.height));
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint32_t n = v.blockAt(f, static_cast<uint32_t>(y) / 4, static_cast<uint32_t>(x) / 4);
      std::memcpy(img.at(x, y), v.block + 64 * n + 16 * (y % 4) + 4 * (x % 4), 4);
    }
  return img;
}

// ---------------------------------------------------------------------------------------------
// The meter demo's artwork (examples/meter): a panel with two recessed slots and a scale, and a
// column of LED segments whose pixels carry their segment number (1 at the bottom ... 24 at the
// top) in the green byte and the key colour (blue 0x40, red 0xC0) in the two others; the edges'
// coverage goes into alpha, so the palette widget keeps the LEDs' shape when it recolours them.

constexpr int kMeterSegments = 24, kMeterWidth = 14, kMeterPitch = 6;
constexpr int kMeterLeft[2] = {40, 66}, kMeterTop = 24;

kvpic::Image meterColumn() {
  kvpic::Image img(kMeterWidth, kMeterSegments * kMeterPitch);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const int seg = kMeterSegments - y / kMeterPitch;  // 1 ... 24 from the bottom up
      const float top = static_cast<float>((kMeterSegments - seg) * kMeterPitch);
      const float cov = clamp01(0.5f - boxDistance(x + 0.5f, y + 0.5f, 1, top + 0.5f, kMeterWidth - 1.0f,
                                                   top + kMeterPitch - 0.5f, 1.5f));
      if (cov <= 0) continue;
      uint8_t* p = img.at(x, y);
      p[0] = 0x40, p[1] = static_cast<uint8_t>(seg), p[2] = 0xC0;
      p[3] = static_cast<uint8_t>(std::lround(cov * 254));
    }
  return img;
}

kvpic::Image meterPanel(const Font& bold, const Font& condensed) {
  const int w = 120, h = 190;
  Canvas c(w, h);
  c.fill([&](float x, float y) { return boxDistance(x, y, 0, 0, static_cast<float>(w), static_cast<float>(h)); },
         [&](float, float y) { return mix(kPlate, kPanel, y / h); });
  caption(c, bold, 11, "LEVEL", w / 2.0f, 16, kCaption, 1.0f, true);
  for (int m = 0; m < 2; ++m) {
    const float l = static_cast<float>(kMeterLeft[m]), t = static_cast<float>(kMeterTop);
    const float r = l + kMeterWidth, b = t + kMeterSegments * kMeterPitch;
    c.fill([&](float x, float y) { return boxDistance(x, y, l - 3, t - 3, r + 3, b + 3, 3); }, kOutline);
    c.fill([&](float x, float y) { return boxDistance(x, y, l - 2, t - 2, r + 2, b + 2, 2); }, rgb(20, 21, 24));
    caption(c, condensed, 9, m ? "R" : "L", (l + r) / 2, b + 15, kCaption, 0, true);
  }
  // The scale between the columns and to their left: a tick per four segments, a label per eight.
  const char* labels[] = {"-48", "-24", "-12", "0"};
  for (int k = 0; k <= kMeterSegments / 4; ++k) {
    const float y = kMeterTop + kMeterSegments * kMeterPitch - k * 4 * kMeterPitch + 0.5f;
    const Rgba tick = k >= 5 ? kAccent : kCaption;
    c.fill([&](float x, float yy) { return boxDistance(x, yy, 33, y - 0.5f, 37, y + 0.5f); }, tick);
    c.fill([&](float x, float yy) { return boxDistance(x, yy, 57, y - 0.5f, 63, y + 0.5f); }, tick);
    if (k % 2 != 0) continue;
    const float width = drawText(nullptr, condensed, 9, labels[k / 2], 0, 0, tick);
    caption(c, condensed, 9, labels[k / 2], 31 - width, y + 3, tick);
  }
  return c.image();
}

int writeMeterArt(const std::string& out) {
  const Font bold = loadFont("DejaVuSans-Bold.ttf");
  const Font condensed = loadFont("DejaVuSansCondensed-Bold.ttf");
  const bool ok = kvpic::writeFile(out + "/METER.kvif", kvpic::encodeKVIF(meterColumn())) &&
                  kvpic::writeFile(out + "/METER_PANEL.kvif", kvpic::encodeKVIF(meterPanel(bold, condensed)));
  if (!ok) std::fprintf(stderr, "artgen: cannot write the meter pictures into %s\n", out.c_str());
  return ok ? 0 : 1;
}

}  // namespace

const cli::Tool kTool = {
    "artgen",
    "usage: artgen OUTPUT-FOLDER [FONT-FOLDER]\n"
    "       artgen --meter OUTPUT-FOLDER [FONT-FOLDER]\n"
    "Draws the editor's artwork and writes each picture as a KVIF or KVVF file named like its\n"
    "resource, with preview.png; --meter draws the meter demo's two pictures only.\n"
    "  --help, --version\n"};

int main(int argc, char** argv) {
  if (cli::answered(kTool, argc, argv)) return 0;
  const bool meter = argc > 1 && std::string(argv[1]) == "--meter";
  const int first = meter ? 2 : 1;
  if (argc <= first) return cli::wrongUsage(kTool, "no output folder given");
  if (argc > first + 2) return cli::wrongUsage(kTool, "too many arguments");
  for (int i = first; i < argc; ++i)
    if (argv[i][0] == '-') return cli::wrongUsage(kTool, std::string("unknown option ") + argv[i]);
  if (meter) {
    if (argc > 3) fontFolder = argv[3];
    if (FT_Init_FreeType(&freetype) != 0) return 1;
    const int status = writeMeterArt(argv[2]);
    FT_Done_FreeType(freetype);
    return status;
  }
  const std::string out = argv[1];
  if (argc > 2) fontFolder = argv[2];
  if (FT_Init_FreeType(&freetype) != 0) {
    std::fprintf(stderr, "artgen: cannot start FreeType\n");
    return 1;
  }
  const Font bold = loadFont("DejaVuSans-Bold.ttf");
  const Font regular = loadFont("DejaVuSans.ttf");
  const Font condensed = loadFont("DejaVuSansCondensed-Bold.ttf");

  // Every picture at scale 1 and, under its name with _2X, at scale 2.
  std::map<std::string, kvpic::Image> stills;
  std::map<std::string, std::vector<kvpic::Image>> strips;
  for (int scale = 1; scale <= 2; ++scale) {
    const std::string x = scale == 1 ? "" : "_2X";
    cutNine(outerFrame(scale), 'A', x, stills);
    cutNine(groupFrame(scale), 'G', x, stills);
    stills["BGND" + x] = panelTexture(kPanel, 11, 0.07f, scale).image();
    stills["GMM" + x] = panelTexture(kPlate, 23, 0.06f, scale).image();
    stills["SITELOGO" + x] = siteLogo(bold, regular, scale);
    stills["T_MULTIPLIER" + x] = textPicture(80, 24, bold, 11, {"Multiplier"}, kCaption, 0.3f, 16.0f, 0, scale);
    stills["S_HIGH" + x] = textPicture(24, 11, condensed, 9, {"High"}, kCaption, 0.2f, 8.0f, 0, scale);
    stills["S_LOW" + x] = textPicture(23, 9, condensed, 9, {"Low"}, kCaption, 0.2f, 7.0f, 0, scale);
    stills["S_MIDDLE" + x] = textPicture(36, 9, condensed, 9, {"Middle"}, kCaption, 0.2f, 7.0f, 0, scale);
    stills["S_MIDDLE_FREQ" + x] =
        textPicture(37, 22, condensed, 9, {"Middle", "freq."}, kCaption, 0.2f, 8.0f, 11.0f, scale);
    stills["S_MIDDLE_WIDTH" + x] =
        textPicture(37, 20, condensed, 9, {"Middle", "width"}, kCaption, 0.2f, 8.0f, 10.0f, scale);
    std::vector<kvpic::Image>& knob = strips["KNOB" + x];
    for (int f = 0; f < 100; ++f) knob.push_back(knobFrame(f, 100, scale));
    strips["BUT" + x] = {buttonFrame(false, condensed, scale), buttonFrame(true, condensed, scale)};
  }

  Resources res;
  for (auto& [name, img] : stills) res.files[name] = kvpic::encodeKVIF(img);
  for (auto& [name, frames] : strips) res.files[name] = kvpic::encodeKVVF(frames);

  bool ok = true;
  for (auto& [name, bytes] : res.files) {
    const std::string path = out + "/" + name + (strips.count(name) ? ".kvvf" : ".kvif");
    if (bytes.empty() || !kvpic::writeFile(path, bytes)) {
      std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
      ok = false;
    }
  }
  KV_Vid knobStrip, buttonStrip;
  knobStrip.map(res.files["KNOB"].data(), res.files["KNOB"].size());
  buttonStrip.map(res.files["BUT"].data(), res.files["BUT"].size());
  std::printf("artgen: %zu pictures; KNOB %u frames in %u blocks, BUT %u frames in %u blocks\n", res.files.size(),
              knobStrip.frames, knobStrip.blocks, buttonStrip.frames, buttonStrip.blocks);

  // The preview sheet.
  kvpic::Image sheet(1060, 960);
  for (size_t i = 0; i < sheet.bgra.size(); i += 4) {
    sheet.bgra[i] = 30, sheet.bgra[i + 1] = 28, sheet.bgra[i + 2] = 26, sheet.bgra[i + 3] = 255;
  }
  const Font& label = regular;
  Canvas labels(sheet.width, sheet.height);
  auto note = [&](const std::string& s, int x, int y) { drawText(&labels, label, 11, s, static_cast<float>(x), static_cast<float>(y), rgb(200, 200, 200)); };

  const bool states[3] = {true, false, true};
  const int hovers[3] = {-1, -1, 1};
  const char* titles[3] = {"default (2x)", "multiplier off (2x)", "hover on 2-x knob (2x)"};
  for (int k = 0; k < 3; ++k) {
    Composer composer(res, bold);
    composer.layout(states[k], hovers[k]);
    place(sheet, fromPic(composer.panel), 20 + k * 360, 30, 2, false);
    note(titles[k], 20 + k * 360, 22);
    if (k == 0) {
      place(sheet, fromPic(composer.panel), 20, 530, 1, false);
      note("1x", 20, 522);
      kvpic::writeFile(out + "/panel.png", kvpic::encodePNG(fromPic(composer.panel)));
      kvpic::Image zoom(172 * 4, 238 * 4);
      place(zoom, fromPic(composer.panel), 0, 0, 4, false);
      kvpic::writeFile(out + "/panel-4x.png", kvpic::encodePNG(zoom));
    }
  }
  int x = 220, y = 530;
  note("pictures (2x, over a checkerboard)", x, y - 8);
  for (auto& [name, img] : stills) {
    if (img.width == 128 || (name.size() > 3 && name.compare(name.size() - 3, 3, "_2X") == 0)) continue;
    if (x + img.width * 2 > 1040) {
      x = 220;
      y += 76;
    }
    place(sheet, img, x, y, 2, true);
    note(name, x, y + img.height * 2 + 12);
    x += std::max(img.width * 2, 56) + 14;
  }
  y += 76;
  x = 220;
  for (const char* name : {"BGND", "GMM"}) {
    place(sheet, stills[name], x, y, 1, true);
    note(name, x, y + 140);
    x += 142;
  }
  for (uint32_t f = 0; f < 2; ++f) {
    place(sheet, decodeFrame(res.files["BUT"], f), x, y + f * 56, 2, true);
    note(f ? "BUT on" : "BUT off", x + 86, y + 30 + f * 56);
  }
  x += 160;
  for (int i = 0; i < 10; ++i) {
    const uint32_t f = static_cast<uint32_t>(i * 11);
    place(sheet, decodeFrame(res.files["KNOB"], f), x + (i % 5) * 72, y + (i / 5) * 80, 2, true);
    note("KNOB " + std::to_string(f), x + (i % 5) * 72, y + (i / 5) * 80 + 76);
  }
  place(sheet, labels.image(), 0, 0, 1, false);
  if (!kvpic::writeFile(out + "/preview.png", kvpic::encodePNG(sheet))) {
    std::fprintf(stderr, "artgen: cannot write the preview\n");
    ok = false;
  }
  FT_Done_FreeType(freetype);
  return ok ? 0 : 1;
}
