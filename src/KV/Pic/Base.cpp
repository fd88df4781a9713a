#include "KV/Pic/Base.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "KV_cfuncs.h"

namespace {
bool reportInvalidHeader() {
  KV_error_func(KV_PIC_BASE_FILE, KV_PIC_BASE_LINE, "KV_Pic_Base<TPix>::map", __DATE__, __TIME__,
                "Invalid KVIF header");
  return false;
}

// Non-negative remainder, so that a rectangle starting left of or above the picture still tiles.
int64_t wrap(int64_t v, int64_t n) {
  int64_t m = v % n;
  return m < 0 ? m + n : m;
}
}  // namespace

template <class TPix>
KV_Pic_Base<TPix>::~KV_Pic_Base() {
  releaseOwned();
}

template <class TPix>
void KV_Pic_Base<TPix>::releaseOwned() {
  delete[] owned;
  owned = nullptr;
}

template <class TPix>
void KV_Pic_Base<TPix>::becomeEmpty() {
  width = 0;
  height = 0;
  pixels = nullptr;
}

template <class TPix>
bool KV_Pic_Base<TPix>::map(const void* data, size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (!bytes || size < 12 || std::memcmp(bytes, "KVIF", 4) != 0) return reportInvalidHeader();
  const uint32_t w = KV_u32le(bytes + 4);
  const uint32_t h = KV_u32le(bytes + 8);
  constexpr uint32_t largest = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  if (w > largest || h > largest) return reportInvalidHeader();
  const uint64_t count = static_cast<uint64_t>(w) * h;
  if (count > (size - 12) / sizeof(TPix)) return reportInvalidHeader();
  releaseOwned();
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  // The data is read-only resource memory; the picture only reads through this pointer.
  pixels = reinterpret_cast<TPix*>(const_cast<unsigned char*>(bytes + 12));
  return true;
}

template <class TPix>
bool KV_Pic_Base<TPix>::map(const void* data) {
  size_t size = 0;
  if (!KV_resource_extent(data, &size)) size = std::numeric_limits<size_t>::max();
  return map(data, size);
}

template <class TPix>
void KV_Pic_Base<TPix>::resize(int32_t w, int32_t h) {
  releaseOwned();
  becomeEmpty();
  if (w <= 0 || h <= 0) return;
  const uint64_t count = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
  if (count > std::numeric_limits<size_t>::max() / sizeof(TPix)) return;
  owned = new (std::nothrow) TPix[static_cast<size_t>(count)];
  if (!owned) return;
  width = w;
  height = h;
  pixels = owned;
}

template class KV_Pic_Base<KV_Pix_A32>;

void KV_blend_tiled(const KV_Pic_Base<KV_Pix_A32>& from, KV_Pic_Base<KV_Pix_A32>& to, int32_t x, int32_t y,
                    const KV_Rect& src) {
  if (!from.pixels || from.width <= 0 || from.height <= 0 || !to.pixels) return;
  const int64_t shiftX = static_cast<int64_t>(x) - src.left;  // destination column = j + shiftX
  const int64_t shiftY = static_cast<int64_t>(y) - src.top;
  const int64_t firstCol = std::max<int64_t>(src.left, -shiftX);
  const int64_t endCol = std::min<int64_t>(src.right, to.width - shiftX);
  const int64_t firstRow = std::max<int64_t>(src.top, -shiftY);
  const int64_t endRow = std::min<int64_t>(src.bottom, to.height - shiftY);
  if (firstCol >= endCol) return;
  for (int64_t i = firstRow; i < endRow; ++i) {
    const KV_Pix_A32* line = from.row(static_cast<int32_t>(wrap(i, from.height)));
    KV_Pix_A32* out = to.row(static_cast<int32_t>(i + shiftY)) + (firstCol + shiftX);
    int64_t sx = wrap(firstCol, from.width);
    for (int64_t j = firstCol; j < endCol; ++j) {
      KV_blend_pixel(*out++, line[sx]);
      if (++sx == from.width) sx = 0;
    }
  }
}
