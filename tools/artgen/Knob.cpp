#include "artgen/Knob.h"

#include <algorithm>
#include <cmath>

#include "artgen/Canvas.h"
#include "artgen/Palette.h"
#include "artgen/Shapes.h"

namespace artgen {

namespace {
constexpr float kKnobStart = -135.0f, kKnobSweep = 270.0f;
}  // namespace

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
    auto capAt = [&](float a) { return std::hypot(x - (cx + mid * std::sin(a)), y - (cy - mid * std::cos(a))) - half; };
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
  c.fill(
      [&](float x, float y) {
        return segmentDistance(x, y, cx + 2.5f * sx, cy + 2.5f * sy, cx + 8.8f * sx, cy + 8.8f * sy, 1.05f);
      },
      rgb(0, 0, 0, 0.5f));
  c.fill(
      [&](float x, float y) {
        return segmentDistance(x, y, cx + 2.5f * sx, cy + 2.5f * sy, cx + 8.8f * sx, cy + 8.8f * sy, 0.95f);
      },
      rgb(246, 244, 238));
  return c.image();
}

}  // namespace artgen
