// Captions drawn with FreeType onto a canvas, in units like every shape.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

#include "artgen/Canvas.h"

namespace artgen {

struct Font {
  FT_Face face = nullptr;
};

// The three faces the artwork is written in.
struct Fonts {
  Font bold, regular, condensed;
};

// Starts FreeType and loads the faces from `folder`; false after a line on standard error.
bool openFonts(const std::string& folder, Fonts& out);
// Ends FreeType and with it every face.
void closeFonts();

// Draws `text` with its baseline at y, starting at x (or centred on x when `centre`), with extra
// spacing `tracking` between letters; returns the advance in units. Without a canvas it only
// measures, at scale 1. Light hinting keeps the strokes on whole pixels vertically, so small
// captions stay crisp.
float drawText(Canvas* canvas, const Font& font, int pixels, const std::string& text, float x, float y,
               const Rgba& colour, float tracking = 0, bool centre = false);

// A caption with a soft black shadow one pixel below.
void caption(Canvas& c, const Font& font, int pixels, const std::string& text, float x, float y, const Rgba& colour,
             float tracking = 0, bool centre = false);

}  // namespace artgen
