// Frame strips (KVVF): equally sized frames cut into 4 x 4 pixel cells, each cell naming one of
// the strip's distinct blocks. A plain record held by value; it never owns the data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "KV/Pic/Base.h"

#define KV_VID_FILE "../../../projects/KV/KV/Vid"
#define KV_VID_LINE 14

struct KV_Vid {
  uint32_t blocks = 0;              // distinct blocks B
  uint32_t frames = 0;              // frames F
  uint32_t width = 0;               // of every frame, in pixels
  uint32_t height = 0;
  const uint8_t* block = nullptr;   // first block: 64 bytes each, 4 rows of 4 pixels
  const uint16_t* index = nullptr;  // first index entry, little-endian, frame after frame

  // Lays the strip over KVVF data of `size` bytes. The header, the blocks and the whole index
  // must lie inside the data and every index entry must name one of the blocks; otherwise
  // "Invalid KVVF header" is reported and the strip keeps its previous fields.
  bool map(const void* data, size_t size);
  // The same over a library resource, whose size is looked up in the resource table. Data that
  // is not inside a resource is trusted to be as long as its header says.
  bool map(const void* data);

  // Cells per row and per column of a frame.
  uint32_t columns() const { return (width - 1) / 4 + 1; }
  uint32_t rows() const { return (height - 1) / 4 + 1; }

  // Composites the rectangle `src` of `frame` onto `dest` with its top-left at (x, y), cell by
  // cell along the 4-pixel grid. A frame outside the strip draws nothing; parts of the rectangle
  // outside the frame, or falling outside `dest`, are skipped.
  void blend(uint32_t frame, KV_Pic_Base<KV_Pix_A32>& dest, int32_t x, int32_t y, const KV_Rect& src) const;
  // Without a rectangle: (0, 0, width - x, height - y).
  void blend(uint32_t frame, KV_Pic_Base<KV_Pix_A32>& dest, int32_t x, int32_t y) const;

  // The alpha byte of pixel (x, y) of `frame`; 0 outside the frame or the strip.
  uint8_t alphaAt(uint32_t frame, int32_t x, int32_t y) const;

  // The block number of cell (r, c) of `frame`.
  uint32_t blockAt(uint32_t frame, uint32_t r, uint32_t c) const {
    const uint8_t* entry = reinterpret_cast<const uint8_t*>(index) +
                           2 * (static_cast<size_t>(frame) * columns() * rows() + static_cast<size_t>(r) * columns() + c);
    return static_cast<uint32_t>(entry[0]) | static_cast<uint32_t>(entry[1]) << 8;
  }
};
