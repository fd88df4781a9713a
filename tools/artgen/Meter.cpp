#include "artgen/Meter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "artgen/Palette.h"
#include "artgen/Shapes.h"
#include "kvpicture.h"

namespace artgen {

namespace {
constexpr int kMeterSegments = 24, kMeterWidth = 14, kMeterPitch = 6;
constexpr int kMeterLeft[2] = {40, 66}, kMeterTop = 24;

kvpic::Image meterColumn() {
  kvpic::Image img(kMeterWidth, kMeterSegments * kMeterPitch);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const int seg = kMeterSegments - y / kMeterPitch;  // 1 ... 24 from the bottom up
      const float top = static_cast<float>((kMeterSegments - seg) * kMeterPitch);
      const float cov = clamp01(
          0.5f - boxDistance(x + 0.5f, y + 0.5f, 1, top + 0.5f, kMeterWidth - 1.0f, top + kMeterPitch - 0.5f, 1.5f));
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
}  // namespace

bool writeMeterArt(const std::string& out, const Fonts& fonts) {
  const bool ok =
      kvpic::writeFile(out + "/METER.kvif", kvpic::encodeKVIF(meterColumn())) &&
      kvpic::writeFile(out + "/METER_PANEL.kvif", kvpic::encodeKVIF(meterPanel(fonts.bold, fonts.condensed)));
  if (!ok) std::fprintf(stderr, "artgen: cannot write the meter pictures into %s\n", out.c_str());
  return ok;
}

}  // namespace artgen
