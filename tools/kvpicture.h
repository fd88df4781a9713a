// Encoders of the framework's picture formats (KVIF stills, KVVF frame strips) and of PNG, shared
// by the artwork generator and the test suites.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvpic {

// A picture being drawn or encoded: rows top first, four bytes per pixel in the order blue,
// green, red, alpha (straight alpha), as in the formats.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;

  Image() = default;
  Image(int w, int h) : width(w), height(h), bgra(static_cast<size_t>(w) * h * 4, 0) {}
  uint8_t* at(int x, int y) { return &bgra[(static_cast<size_t>(y) * width + x) * 4]; }
  const uint8_t* at(int x, int y) const { return &bgra[(static_cast<size_t>(y) * width + x) * 4]; }
};

// "KVIF", width, height, the pixels: exactly 12 + 4 * w * h bytes.
std::vector<uint8_t> encodeKVIF(const Image& picture);

// "KVVF", width, height, block count B, frame count F, the B distinct 4 x 4 blocks, then one
// 16-bit block number per cell, frame after frame, row after row. Identical blocks are stored
// once, in order of first appearance; cells sticking out past the right or bottom edge are padded
// with transparent black. Returns nothing when the frames differ in size, there are none, or more
// than 65 536 distinct blocks would be needed.
std::vector<uint8_t> encodeKVVF(const std::vector<Image>& frames);

// A PNG file (8-bit RGBA, no interlace). Deflated with zlib where the build has it, otherwise
// stored in uncompressed deflate blocks.
std::vector<uint8_t> encodePNG(const Image& picture);

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace kvpic
