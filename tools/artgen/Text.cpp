#include "artgen/Text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace artgen {

namespace {
FT_Library freetype = nullptr;

bool loadFont(const std::string& folder, const char* file, Font& out) {
  const std::string path = folder + "/" + file;
  if (FT_New_Face(freetype, path.c_str(), 0, &out.face) == 0) return true;
  std::fprintf(stderr, "artgen: cannot load font %s\n", path.c_str());
  return false;
}
}  // namespace

bool openFonts(const std::string& folder, Fonts& out) {
  if (FT_Init_FreeType(&freetype) != 0) {
    freetype = nullptr;
    std::fprintf(stderr, "artgen: cannot start FreeType\n");
    return false;
  }
  return loadFont(folder, "DejaVuSans-Bold.ttf", out.bold) && loadFont(folder, "DejaVuSans.ttf", out.regular) &&
         loadFont(folder, "DejaVuSansCondensed-Bold.ttf", out.condensed);
}

void closeFonts() {
  if (freetype) FT_Done_FreeType(freetype);
  freetype = nullptr;
}

float drawText(Canvas* canvas, const Font& font, int pixels, const std::string& text, float x, float y,
               const Rgba& colour, float tracking, bool centre) {
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

void caption(Canvas& c, const Font& font, int pixels, const std::string& text, float x, float y, const Rgba& colour,
             float tracking, bool centre) {
  drawText(&c, font, pixels, text, x, y + 1, rgb(0, 0, 0, 0.45f), tracking, centre);
  drawText(&c, font, pixels, text, x, y, colour, tracking, centre);
}

}  // namespace artgen
