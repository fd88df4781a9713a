#include "kvpicture.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

#if defined(KV_PICTURE_ZLIB)
#include <zlib.h>
#endif

namespace kvpic {
namespace {

void putU32LE(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putU32BE(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Byte by byte: GCC 12 misreads a four-byte range insert after a reserve as an overflow.
void putMagic(std::vector<uint8_t>& out, const char* magic) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(magic[i]));
}

uint32_t crc32Of(const uint8_t* p, size_t n, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
  putU32BE(out, static_cast<uint32_t>(body.size()));
  const size_t start = out.size();
  putMagic(out, type);
  out.insert(out.end(), body.begin(), body.end());
  putU32BE(out, crc32Of(&out[start], out.size() - start));
}

std::vector<uint8_t> zlibStream(const std::vector<uint8_t>& raw) {
#if defined(KV_PICTURE_ZLIB)
  uLongf length = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(length);
  if (compress2(packed.data(), &length, raw.data(), static_cast<uLong>(raw.size()), 9) == Z_OK) {
    packed.resize(length);
    return packed;
  }
#endif
  // Stored blocks of at most 65 535 bytes, then the Adler-32 of the raw data.
  std::vector<uint8_t> out = {0x78, 0x01};
  size_t pos = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - pos);
    const bool last = pos + n == raw.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(~n));
    out.push_back(static_cast<uint8_t>(~n >> 8));
    out.insert(out.end(), raw.begin() + static_cast<ptrdiff_t>(pos), raw.begin() + static_cast<ptrdiff_t>(pos + n));
    pos += n;
  } while (pos < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t v : raw) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  putU32BE(out, b << 16 | a);
  return out;
}

}  // namespace

std::vector<uint8_t> encodeKVIF(const Image& picture) {
  std::vector<uint8_t> out;
  out.reserve(12 + picture.bgra.size());
  putMagic(out, "KVIF");
  putU32LE(out, static_cast<uint32_t>(picture.width));
  putU32LE(out, static_cast<uint32_t>(picture.height));
  out.insert(out.end(), picture.bgra.begin(), picture.bgra.end());
  return out;
}

std::vector<uint8_t> encodeKVVF(const std::vector<Image>& frames) {
  if (frames.empty()) return {};
  const int w = frames[0].width, h = frames[0].height;
  if (w <= 0 || h <= 0) return {};
  for (const Image& f : frames)
    if (f.width != w || f.height != h) return {};
  const int columns = (w - 1) / 4 + 1, rows = (h - 1) / 4 + 1;

  std::unordered_map<std::string, uint32_t> known;  // block bytes -> block number
  std::vector<uint8_t> blocks;
  std::vector<uint16_t> index;
  index.reserve(frames.size() * columns * rows);
  for (const Image& f : frames) {
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < columns; ++c) {
        std::string cell(64, '\0');
        for (int i = 0; i < 4; ++i)
          for (int j = 0; j < 4; ++j) {
            const int x = 4 * c + j, y = 4 * r + i;
            if (x < w && y < h) std::memcpy(&cell[16 * i + 4 * j], f.at(x, y), 4);
          }
        auto [it, added] = known.try_emplace(cell, static_cast<uint32_t>(known.size()));
        if (added) {
          if (it->second > 0xFFFF) return {};
          blocks.insert(blocks.end(), cell.begin(), cell.end());
        }
        index.push_back(static_cast<uint16_t>(it->second));
      }
    }
  }

  std::vector<uint8_t> out;
  putMagic(out, "KVVF");
  putU32LE(out, static_cast<uint32_t>(w));
  putU32LE(out, static_cast<uint32_t>(h));
  putU32LE(out, static_cast<uint32_t>(known.size()));
  putU32LE(out, static_cast<uint32_t>(frames.size()));
  out.insert(out.end(), blocks.begin(), blocks.end());
  for (uint16_t n : index) {
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
  }
  return out;
}

std::vector<uint8_t> encodePNG(const Image& picture) {
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(picture.height) * (1 + 4 * static_cast<size_t>(picture.width)));
  for (int y = 0; y < picture.height; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = picture.at(x, y);
      raw.insert(raw.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  putU32BE(header, static_cast<uint32_t>(picture.width));
  putU32BE(header, static_cast<uint32_t>(picture.height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, adaptive filters, no interlace
  putChunk(out, "IHDR", header);
  putChunk(out, "IDAT", zlibStream(raw));
  putChunk(out, "IEND", {});
  return out;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace kvpic
