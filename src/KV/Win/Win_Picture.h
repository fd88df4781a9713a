// A window without a platform whose screen is one picture of its own size: paintRect composes
// into it tile by tile, and a redraw paints at once. What an editor shows is read from it without
// a display.
#pragma once

#include "KV/Win/Win.h"

class KV_Win_Picture : public KV_Win {
 public:
  KV_Pic<KV_Pix_A32> screen;  // fully transparent until painted

  KV_Win_Picture(int32_t w, int32_t h);

  void redraw(const KV_Rect& rect) override { paintRect(nullptr, rect); }

 protected:
  void showTile(KV_Surface surface, int32_t srcX, int32_t srcY, const KV_Rect& dest) override;
};
