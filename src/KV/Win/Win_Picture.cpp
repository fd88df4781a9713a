#include "KV/Win/Win_Picture.h"

KV_Win_Picture::KV_Win_Picture(int32_t w, int32_t h) : KV_Win(w, h) { screen.resize(w, h); }

void KV_Win_Picture::showTile(KV_Surface, int32_t srcX, int32_t srcY, const KV_Rect& dest) {
  if (!screen.pixels) return;
  const KV_Rect d = KV_intersect(dest, KV_Rect{0, 0, width, height});
  for (int32_t y = d.top; y < d.bottom; ++y)
    for (int32_t x = d.left; x < d.right; ++x)
      screen.row(y)[x] = tilePic.row(srcY + y - dest.top)[srcX + x - dest.left];
}
