// The Windows picture: its pixels live in a top-down 32-bit DIB section, so that GDI can draw
// into them (text) and copy them to a window (BitBlt). The device context is created by whoever
// draws with GDI (the window for its tile picture, a text widget for its own picture).
#pragma once

#include "KV_windows.h"

#include "KV/Pic/Base.h"

template <class TPix>
class KV_Pic_Win32 : public KV_Pic_Base<TPix> {
 public:
  HDC dc = nullptr;          // null until a window or widget creates one for this picture
  HBITMAP bitmap = nullptr;  // the DIB section of the last resize
  BITMAPINFO info{};         // 40-byte header and one colour entry, describing the DIB section

  ~KV_Pic_Win32() override;

  // Replaces the bitmap by a new w x h top-down 32-bit DIB section whose memory becomes the
  // pixels. The new bitmap is not selected into an existing device context. When the section
  // cannot be created the picture is empty and draws nothing.
  void resize(int32_t w, int32_t h) override;
};

extern template class KV_Pic_Win32<KV_Pix_A32>;
