#include "KV/Wid/Text_Linux.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <mutex>
#include <string>

namespace {

// One FreeType library for the process; FreeType objects are used under this lock only, since
// windows of several instances may paint on several threads.
std::mutex freetypeLock;
FT_Library library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) l = nullptr;
    return l;
  }();
  return lib;
}

// The file fontconfig gives for a face name and weight; empty when it knows none.
std::string fontFile(const char* face, bool bold) {
  if (!FcInit()) return {};
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  std::string file;
  FcChar8* path = nullptr;
  if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) file = reinterpret_cast<char*>(path);
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return file;
}

FT_Face openFace(const char* face, int32_t size, bool bold) {
  FT_Library lib = library();
  if (!lib) return nullptr;
  const std::string file = fontFile(face, bold);
  FT_Face f = nullptr;
  if (file.empty() || FT_New_Face(lib, file.c_str(), 0, &f) != 0) return nullptr;
  const FT_UInt pixels = static_cast<FT_UInt>(size < 0 ? -size : size);
  if (FT_Set_Pixel_Sizes(f, 0, pixels) != 0) {
    FT_Done_Face(f);
    return nullptr;
  }
  return f;
}

int32_t lineWidth(FT_Face f, const char* text) {
  int32_t w = 0;
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c)
    if (FT_Load_Char(f, *c, FT_LOAD_DEFAULT) == 0) w += static_cast<int32_t>(f->glyph->advance.x >> 6);
  return w;
}

// Draws one rendered glyph with its coverage scaling the colour, as anti-aliased text on black.
void drawGlyph(KV_Pic_Base<KV_Pix_A32>& pic, FT_GlyphSlot g, int32_t penX, int32_t baseline, uint32_t color) {
  const FT_Bitmap& bm = g->bitmap;
  const int32_t x0 = penX + g->bitmap_left, y0 = baseline - g->bitmap_top;
  for (unsigned row = 0; row < bm.rows; ++row) {
    const int32_t y = y0 + static_cast<int32_t>(row);
    if (y < 0 || y >= pic.height) continue;
    const unsigned char* cov = bm.buffer + static_cast<ptrdiff_t>(row) * bm.pitch;
    for (unsigned col = 0; col < bm.width; ++col) {
      const int32_t x = x0 + static_cast<int32_t>(col);
      if (x < 0 || x >= pic.width || cov[col] == 0) continue;
      const uint32_t c = cov[col];
      KV_Pix_A32& p = pic.row(y)[x];
      const uint32_t r = (color & 0xFF) * c / 255, gr = (color >> 8 & 0xFF) * c / 255, b = (color >> 16 & 0xFF) * c / 255;
      // Overlapping glyphs keep the stronger ink.
      if (r > p.r) p.r = static_cast<uint8_t>(r);
      if (gr > p.g) p.g = static_cast<uint8_t>(gr);
      if (b > p.b) p.b = static_cast<uint8_t>(b);
    }
  }
}

}  // namespace

KV_Wid_Text_Linux::~KV_Wid_Text_Linux() {
  std::lock_guard<std::mutex> lock(freetypeLock);
  if (font) FT_Done_Face(static_cast<FT_Face>(font));
}

void KV_Wid_Text_Linux::makeFont() {
  if (!face || size == 0) return;
  std::lock_guard<std::mutex> lock(freetypeLock);
  FT_Face made = openFace(face, size * scale, bold != 0);
  if (!made) return;  // the previous font stays
  if (font) FT_Done_Face(static_cast<FT_Face>(font));
  font = made;
}

void KV_Wid_Text_Linux::render() {
  if (!window) return;
  if (picture.width != width || picture.height != height) picture.resize(width, height);
  if (!picture.pixels) return;
  KV_Wid_Text_clear(picture);
  std::lock_guard<std::mutex> lock(freetypeLock);
  FT_Face f = static_cast<FT_Face>(font);
  FT_Face own = nullptr;
  if (!f) f = own = openFace(DEFAULT_FACE, DEFAULT_SIZE * scale, true);
  const char* t = text ? text : "";
  if (f) {
    const int32_t ascent = static_cast<int32_t>(f->size->metrics.ascender >> 6);
    const int32_t descent = static_cast<int32_t>(-(f->size->metrics.descender >> 6));
    const int32_t textWidth = lineWidth(f, t);
    const int32_t top = (height - (ascent + descent)) / 2;
    int32_t pen = alignment == 0 ? (width - textWidth) / 2 : (alignment < 0 ? 0 : width - textWidth);
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(t); *c; ++c) {
      if (FT_Load_Char(f, *c, FT_LOAD_RENDER) != 0) continue;
      drawGlyph(picture, f->glyph, pen, top + ascent, color);
      pen += static_cast<int32_t>(f->glyph->advance.x >> 6);
    }
  }
  if (own) FT_Done_Face(own);
  KV_Wid_Text_opaqueInk(picture);
  rendered = text;
}

