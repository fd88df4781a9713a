#include "artgen/Captions.h"

namespace artgen {

kvpic::Image textPicture(int w, int h, const Font& font, int pixels, const std::vector<std::string>& lines,
                         const Rgba& colour, float tracking, float firstBaseline, float lineStep, int scale) {
  Canvas c(w, h, scale);
  for (size_t i = 0; i < lines.size(); ++i)
    caption(c, font, pixels, lines[i], w / 2.0f, firstBaseline + lineStep * static_cast<float>(i), colour, tracking,
            true);
  return c.image();
}

}  // namespace artgen
