// The Linux picture: a plain pixel block with the interface of the Windows picture. A resized
// picture starts fully transparent, as a fresh DIB section does; the X11 window sends its pixels
// to the screen with XPutImage (B, G, R, A is the byte order of a 32-bit ZPixmap).
#pragma once

#include "KV/Pic/Base.h"

template <class TPix>
class KV_Pic_Linux : public KV_Pic_Base<TPix> {
 public:
  void resize(int32_t w, int32_t h) override;
};

extern template class KV_Pic_Linux<KV_Pix_A32>;
