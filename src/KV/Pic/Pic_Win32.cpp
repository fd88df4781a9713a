#include "KV/Pic/Pic_Win32.h"

template <class TPix>
KV_Pic_Win32<TPix>::~KV_Pic_Win32() {
  // The context goes first: a bitmap still selected into a context cannot be deleted.
  if (dc) DeleteDC(dc);
  if (bitmap) DeleteObject(bitmap);
}

template <class TPix>
void KV_Pic_Win32<TPix>::resize(int32_t w, int32_t h) {
  if (bitmap) {
    DeleteObject(bitmap);
    bitmap = nullptr;
  }
  this->releaseOwned();
  this->becomeEmpty();
  info = BITMAPINFO{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // negative: top-down, row 0 is the top row
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  if (w <= 0 || h <= 0) return;
  void* bits = nullptr;
  bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return;
  this->width = w;
  this->height = h;
  this->pixels = static_cast<TPix*>(bits);
}

template class KV_Pic_Win32<KV_Pix_A32>;
