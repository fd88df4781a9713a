// The picture that windows and widgets hold by value: the platform's picture, chosen at compile
// time, plus the tiling blend every drawing step uses.
#pragma once

#include "KV/Pic/Base.h"

#if defined(_WIN32)
#include "KV/Pic/Pic_Win32.h"
template <class TPix>
using KV_Pic_Platform = KV_Pic_Win32<TPix>;
#else
#include "KV/Pic/Pic_Linux.h"
template <class TPix>
using KV_Pic_Platform = KV_Pic_Linux<TPix>;
#endif

template <class TPix>
class KV_Pic : public KV_Pic_Platform<TPix> {
 public:
  // Composites the rectangle `src` of this picture (right and bottom exclusive; larger than the
  // picture means the picture repeats) onto `dest` with the rectangle's top-left at (x, y).
  // An empty picture draws nothing.
  void blend(KV_Pic_Base<TPix>& dest, int32_t x, int32_t y, const KV_Rect& src) const {
    KV_blend_tiled(*this, dest, x, y, src);
  }
};
