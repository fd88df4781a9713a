#include "KV/Vid.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "KV_cfuncs.h"

namespace {
bool reportInvalidHeader() {
  KV_error_func(KV_VID_FILE, KV_VID_LINE, "KV_Vid::map", __DATE__, __TIME__, "Invalid KVVF header");
  return false;
}

const KV_Pix_A32* blockPixels(const uint8_t* block, uint32_t n) {
  return reinterpret_cast<const KV_Pix_A32*>(block + 64 * static_cast<size_t>(n));
}
}  // namespace

bool KV_Vid::map(const void* data, size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (!bytes || size < 20 || std::memcmp(bytes, "KVVF", 4) != 0) return reportInvalidHeader();
  KV_Vid strip;
  strip.width = KV_u32le(bytes + 4);
  strip.height = KV_u32le(bytes + 8);
  strip.blocks = KV_u32le(bytes + 12);
  strip.frames = KV_u32le(bytes + 16);
  // Sizes beyond what a signed 32-bit picture coordinate can reach are corrupt as well.
  constexpr uint32_t largest = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  if (strip.width == 0 || strip.height == 0 || strip.width > largest || strip.height > largest)
    return reportInvalidHeader();
  size_t left = size - 20;
  if (strip.blocks > left / 64) return reportInvalidHeader();
  left -= 64 * static_cast<size_t>(strip.blocks);
  const uint64_t cells = static_cast<uint64_t>(strip.columns()) * strip.rows();
  if (cells > left / 2 || strip.frames > left / 2 / cells) return reportInvalidHeader();
  strip.block = bytes + 20;
  strip.index = reinterpret_cast<const uint16_t*>(bytes + 20 + 64 * static_cast<size_t>(strip.blocks));
  const uint8_t* entry = reinterpret_cast<const uint8_t*>(strip.index);
  const uint64_t entries = cells * strip.frames;
  for (uint64_t k = 0; k < entries; ++k, entry += 2)
    if ((static_cast<uint32_t>(entry[0]) | static_cast<uint32_t>(entry[1]) << 8) >= strip.blocks)
      return reportInvalidHeader();
  *this = strip;
  return true;
}

bool KV_Vid::map(const void* data) {
  size_t size = 0;
  if (!KV_resource_extent(data, &size)) size = std::numeric_limits<size_t>::max();
  return map(data, size);
}

void KV_Vid::blend(uint32_t frame, KV_Pic_Base<KV_Pix_A32>& dest, int32_t x, int32_t y, const KV_Rect& src) const {
  if (frame >= frames || !dest.pixels) return;
  // The part of the rectangle inside the frame and landing inside the destination.
  const int64_t shiftX = static_cast<int64_t>(x) - src.left;  // destination column = j + shiftX
  const int64_t shiftY = static_cast<int64_t>(y) - src.top;
  const int64_t left = std::max<int64_t>({src.left, 0, -shiftX});
  const int64_t right = std::min<int64_t>({src.right, width, dest.width - shiftX});
  const int64_t top = std::max<int64_t>({src.top, 0, -shiftY});
  const int64_t bottom = std::min<int64_t>({src.bottom, height, dest.height - shiftY});
  if (left >= right || top >= bottom) return;
  for (int64_t r = top / 4; r <= (bottom - 1) / 4; ++r) {
    const int64_t i0 = std::max<int64_t>(top, 4 * r), i1 = std::min<int64_t>(bottom, 4 * r + 4);
    for (int64_t c = left / 4; c <= (right - 1) / 4; ++c) {
      const int64_t j0 = std::max<int64_t>(left, 4 * c), j1 = std::min<int64_t>(right, 4 * c + 4);
      const KV_Pix_A32* cell = blockPixels(block, blockAt(frame, static_cast<uint32_t>(r), static_cast<uint32_t>(c)));
      for (int64_t i = i0; i < i1; ++i) {
        const KV_Pix_A32* in = cell + 4 * (i - 4 * r) + (j0 - 4 * c);
        KV_Pix_A32* out = dest.row(static_cast<int32_t>(i + shiftY)) + (j0 + shiftX);
        for (int64_t j = j0; j < j1; ++j) KV_blend_pixel(*out++, *in++);
      }
    }
  }
}

void KV_Vid::blend(uint32_t frame, KV_Pic_Base<KV_Pix_A32>& dest, int32_t x, int32_t y) const {
  blend(frame, dest, x, y,
        KV_Rect{0, 0, static_cast<int32_t>(static_cast<int64_t>(width) - x), static_cast<int32_t>(static_cast<int64_t>(height) - y)});
}

uint8_t KV_Vid::alphaAt(uint32_t frame, int32_t x, int32_t y) const {
  if (frame >= frames || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width || static_cast<uint32_t>(y) >= height)
    return 0;
  const uint32_t n = blockAt(frame, static_cast<uint32_t>(y) / 4, static_cast<uint32_t>(x) / 4);
  return block[64 * static_cast<size_t>(n) + 16 * (y % 4) + 4 * (x % 4) + 3];
}
