// Pixels, the rectangle type of the graphics area, the one compositing rule, and the portable
// picture: a width, a height and a pointer to rows of pixels, either laid over KVIF data or owning
// a block of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// One pixel in memory order blue, green, red, alpha (the byte order of a 32-bit DIB and of a
// 32-bit X11 ZPixmap). Straight alpha: colours are not multiplied by alpha.
struct KV_Pix_A32 {
  uint8_t b, g, r, a;
};
static_assert(sizeof(KV_Pix_A32) == 4, "a pixel is four bytes");

// A rectangle; right and bottom are exclusive.
struct KV_Rect {
  int32_t left, top, right, bottom;
};

// Composites source pixel s onto destination pixel d: every channel moves toward the source by
// s.a / 256 (the divisor is 256, so the result stays within 0 ... 255), with an arithmetic shift,
// that is rounding toward minus infinity. Alpha moves the same way, so composing onto a
// transparent picture keeps partial transparency.
//
// Written on the pixel as one 32-bit word (B in the low byte on every little-endian target we
// build): GCC 12's SLP vectorizer, emulating four 8-bit lanes in one register on i686 without
// SSE, miscomputes the plain per-field form in some callers.
inline void KV_blend_pixel(KV_Pix_A32& d, const KV_Pix_A32& s) {
  uint32_t dw, sw;
  std::memcpy(&dw, &d, 4);
  std::memcpy(&sw, &s, 4);
  const int32_t a = static_cast<int32_t>(sw >> 24);
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int32_t dc = static_cast<int32_t>((dw >> shift) & 0xFF), sc = static_cast<int32_t>((sw >> shift) & 0xFF);
    out |= static_cast<uint32_t>((dc + (((sc - dc) * a) >> 8)) & 0xFF) << shift;
  }
  std::memcpy(&d, &out, 4);
}

// The unsigned 32-bit little-endian number at p (the header fields of KVIF and KVVF).
inline uint32_t KV_u32le(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Where the picture loader reports from.
#define KV_PIC_BASE_FILE "../../../projects/KV/KV/Pic/Base"
#define KV_PIC_BASE_LINE 21

template <class TPix>
class KV_Pic_Base {
 public:
  int32_t width = 0;      // pixels per row; 0 when empty
  int32_t height = 0;     // rows; 0 when empty
  TPix* pixels = nullptr; // first pixel of the top row; not owned when mapped onto data

  KV_Pic_Base() = default;
  KV_Pic_Base(const KV_Pic_Base&) = delete;
  KV_Pic_Base& operator=(const KV_Pic_Base&) = delete;
  virtual ~KV_Pic_Base();

  // Lays the picture over KVIF data of `size` bytes: the magic "KVIF", width, height (u32
  // little-endian) and width * height pixels. Nothing is copied; the data must outlive the
  // picture. Data with another magic, or too short for its header or its pixels, is reported as
  // "Invalid KVIF header" and refused; the picture then keeps what it had.
  bool map(const void* data, size_t size);
  // The same over a library resource: its size is looked up in the resource table. Data that is
  // not inside a resource is trusted to be as long as its header says.
  bool map(const void* data);

  // Allocates w * h pixels (contents undefined) and sets width, height and pixels. A size that is
  // not positive, or too large to allocate, leaves the picture empty.
  virtual void resize(int32_t w, int32_t h);

  // Address of pixel (0, y).
  TPix* row(int32_t y) const { return pixels + static_cast<ptrdiff_t>(y) * width; }

 protected:
  // Releases the block of a previous resize, if the picture owns one.
  void releaseOwned();
  void becomeEmpty();

 private:
  TPix* owned = nullptr;
};

extern template class KV_Pic_Base<KV_Pix_A32>;

// Composites the rectangle `src` of picture `from`, repeated when the rectangle is larger than the
// picture, onto `to` with the rectangle's top-left corner at (x, y). Rows top to bottom, pixels
// left to right. Pixels that would fall outside `to` are skipped.
void KV_blend_tiled(const KV_Pic_Base<KV_Pix_A32>& from, KV_Pic_Base<KV_Pix_A32>& to, int32_t x, int32_t y,
                    const KV_Rect& src);
