// The palette widget: a level meter drawn by recolouring a picture. Every meter pixel of the
// artwork carries its segment index in one colour channel and a fixed key colour in the two
// others; a level paints the segments below it lit (in a second colour from a threshold on), the
// ones above it in the background colour and the one at the level in a mix of the two. The
// meter's settings live in a KV_Wid_Pal_Line that the application owns and hands over with -ln.
#pragma once

#include <cstddef>
#include <cstdint>

#include "KV/Pic/Pic.h"
#include "KV/Wid/Pic.h"

// Byte k of a pixel: 0 blue, 1 green, 2 red, 3 alpha.
inline uint8_t KV_pixelByte(const KV_Pix_A32& p, int32_t k) { return k == 0 ? p.b : k == 1 ? p.g : k == 2 ? p.r : p.a; }
// A pixel as the integer 0xAARRGGBB, and back.
inline uint32_t KV_pixelValue(const KV_Pix_A32& p) {
  return static_cast<uint32_t>(p.b) | static_cast<uint32_t>(p.g) << 8 | static_cast<uint32_t>(p.r) << 16 |
         static_cast<uint32_t>(p.a) << 24;
}
inline KV_Pix_A32 KV_pixelOf(uint32_t v) {
  return KV_Pix_A32{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
}

// One meter's settings and the bounding boxes of its segments. A plain record of 4136 bytes.
// Colours are pixel values: the integer 0xAARRGGBB, that is the bytes B, G, R, A in memory.
struct KV_Wid_Pal_Line {
  struct Box {
    int32_t minX, minY, maxX, maxY;
  };
  static constexpr int32_t BOXES = 256;  // one per value of a channel byte

  uint32_t background = 0;  // unlit segments (-bg)
  uint32_t key = 0;         // marks meter pixels (-cg); -ch clears its channel and alpha bytes
  uint32_t lit = 0;         // lit segments below the threshold (-fg)
  uint32_t high = 0;        // lit segments at or above the threshold (-rg)
  int32_t channel = 0;      // the byte holding the segment index: 0 blue, 1 green, 2 red (-ch)
  float level = 0;          // the level now shown, 0 ... 1
  float threshold = 0;      // relative segment position from which `high` is used (-rl)
  int32_t minimum = 0;      // lowest segment index (-mn)
  int32_t maximum = 0;      // highest segment index (-mx)
  uint8_t scanned = 0;      // the boxes have been computed
  Box boxes[BOXES];         // per segment index; empty as (INT32_MAX, INT32_MAX, 0, 0)

  // Every field 0 and every box empty.
  KV_Wid_Pal_Line();
  ~KV_Wid_Pal_Line();

  // The channel byte a pixel's segment index is read from; a value that is not 0, 1 or 2 (only
  // possible by writing the record directly) reads as blue.
  int32_t channelIndex() const { return channel >= 0 && channel <= 2 ? channel : 0; }
  // Whether `p` belongs to segment `i`: its channel byte is i, i lies in minimum ... maximum, and
  // with its channel and alpha bytes cleared it equals the key.
  bool isMeterPixel(const KV_Pix_A32& p, int32_t i) const;
  // Colour of segment i when lit: `lit` below the threshold, `high` from it on.
  uint32_t litColour(int32_t i) const;
};
static_assert(sizeof(KV_Wid_Pal_Line) == 4136, "the line record is 4136 bytes");

// Visits the meter pixels of `source` in scan order, rows from the bottom up and each row from left
// to right, as visit(x, y, segment index).
template <class F>
void KV_Wid_Pal_forEachMeterPixel(const KV_Pic_Base<KV_Pix_A32>& source, const KV_Wid_Pal_Line& line, F&& visit) {
  if (!source.pixels) return;
  const int32_t ch = line.channelIndex();
  for (int32_t y = source.height - 1; y >= 0; --y) {
    const KV_Pix_A32* row = source.row(y);
    for (int32_t x = 0; x < source.width; ++x) {
      const int32_t i = KV_pixelByte(row[x], ch);
      if (line.isMeterPixel(row[x], i)) visit(x, y, i);
    }
  }
}

struct KV_Wid_Pal : KV_Wid_Pic {
  KV_Pic<KV_Pix_A32> source;        // the artwork, mapped onto the resource of -res
  KV_Wid_Pal_Line* line = nullptr;  // not owned
  // The inherited picture is the shown, recoloured copy of the source.

  // Keeps the name; with data, maps the source onto it, gives the shown picture the source's size
  // and copies the source into it. The widget's own width and height stay as they are.
  void useResource(const char* name, const void* data, size_t size);

  // Shows level v: the segments between the old and the new position are recoloured, then the
  // widget is refreshed unless quiet. The first call with a source scans the segment boxes.
  // A level outside 0 ... 1 is taken as the nearer end; NaN is ignored. Without a line, or
  // before the source has pixels, nothing happens.
  void level(float v, bool quiet);

 private:
  void scan();
  void paintSegment(int32_t i, const KV_Pix_A32& colour);
  // The shown picture is the block this widget made for it (not one mapped from outside).
  bool shownIsOwn() const;
  KV_Pix_A32* shownBlock = nullptr;
};

// Mix of two pixel values at fraction q (0 gives a, 1 gives b), byte by byte, truncated.
KV_Pix_A32 KV_Wid_Pal_mix(uint32_t a, uint32_t b, float q);

extern const KV_option KV_Wid_Pal_options[];
