// Frame strips: the KVVF layout, mapping and its refusals, the cell-grid blend, alphaAt, and the
// generator's encoder decoded back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "KV/Pic/Pic.h"
#include "KV/Vid.h"
#include "KV_cfuncs.h"
#include "PicTestSupport.h"
#include "kvpicture.h"

namespace {

using VidTest = ReportCapture;

KV_Pix_A32 pixelOf(const kvpic::Image& img, int x, int y) {
  const uint8_t* p = img.at(x, y);
  return KV_Pix_A32{p[0], p[1], p[2], p[3]};
}

// Frames of w x h: a shared background with a moving 3 x 3 square, so that most cells repeat.
std::vector<kvpic::Image> movingSquare(int w, int h, int count) {
  std::vector<kvpic::Image> frames;
  for (int f = 0; f < count; ++f) {
    kvpic::Image img(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = img.at(x, y);
        const bool square = x >= f && x < f + 3 && y >= 1 && y < 4;
        p[0] = square ? 250 : static_cast<uint8_t>(x * 5);
        p[1] = square ? 20 : static_cast<uint8_t>(y * 9);
        p[2] = static_cast<uint8_t>(x ^ y);
        p[3] = square ? 254 : static_cast<uint8_t>(40 + (x + y) % 3 * 60);
      }
    frames.push_back(img);
  }
  return frames;
}

uint32_t u32At(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
}

// A hand-made 6 x 5 strip, one frame, cells 2 x 2: every block is fully opaque, the padding
// pixels beyond the frame included, block n coloured (n, 10 * n, 100).
std::vector<uint8_t> handStrip() {
  std::vector<uint8_t> v = {'K', 'V', 'V', 'F', 6, 0, 0, 0, 5, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
  for (int n = 0; n < 4; ++n)
    for (int k = 0; k < 16; ++k) v.insert(v.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(10 * n), 100, 255});
  for (uint8_t n : {3, 1, 0, 2}) v.insert(v.end(), {n, 0});
  return v;
}

}  // namespace

TEST_F(VidTest, AFortyByTwentyFourStripOfTwoFramesHasAHundredTwentyIndexEntries) {
  std::vector<uint8_t> file = kvpic::encodeKVVF(movingSquare(40, 24, 2));
  ASSERT_FALSE(file.empty());
  const uint32_t blocks = u32At(file, 12);
  EXPECT_EQ(file.size(), 20 + 64 * blocks + 240);
  KV_Vid strip;
  ASSERT_TRUE(strip.map(file.data(), file.size()));
  EXPECT_EQ(strip.width, 40u);
  EXPECT_EQ(strip.height, 24u);
  EXPECT_EQ(strip.columns(), 10u);
  EXPECT_EQ(strip.rows(), 6u);
  EXPECT_EQ(strip.frames, 2u);
  EXPECT_EQ(strip.blocks, blocks);
  EXPECT_EQ(strip.block, file.data() + 20);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(strip.index), file.data() + 20 + 64 * blocks);
  // The square moves by one pixel: only the cells it touches differ between the frames.
  EXPECT_LT(blocks, 60u + 4u);
  EXPECT_TRUE(reports.empty());
}

TEST_F(VidTest, TheEncoderSharesIdenticalBlocks) {
  kvpic::Image plain(16, 8);
  for (size_t i = 0; i < plain.bgra.size(); i += 4) plain.bgra[i + 3] = 254;
  std::vector<uint8_t> one = kvpic::encodeKVVF({plain, plain, plain});
  EXPECT_EQ(u32At(one, 12), 1u);  // one block for 3 frames of 8 cells
  EXPECT_EQ(one.size(), 20u + 64 + 2 * 3 * 8);
  plain.at(15, 7)[0] = 1;  // one pixel of the last cell differs
  EXPECT_EQ(u32At(kvpic::encodeKVVF({plain}), 12), 2u);
  EXPECT_TRUE(kvpic::encodeKVVF({}).empty());
  EXPECT_TRUE(kvpic::encodeKVVF({kvpic::Image(4, 4), kvpic::Image(4, 5)}).empty());
}

TEST_F(VidTest, RoundTripGivesTheFramesDrawn) {
  std::mt19937 random(7);
  std::vector<kvpic::Image> frames = movingSquare(37, 22, 9);  // neither size a multiple of 4
  for (int k = 0; k < 40; ++k) frames[random() % 9].at(random() % 37, random() % 22)[random() % 4] = random() & 0xFF;
  std::vector<uint8_t> file = kvpic::encodeKVVF(frames);
  KV_Vid strip;
  ASSERT_TRUE(strip.map(file.data(), file.size()));
  ASSERT_EQ(strip.frames, 9u);
  KV_Pic<KV_Pix_A32> dest;
  for (uint32_t f = 0; f < 9; ++f) {
    dest.resize(37, 22);
    strip.blend(f, dest, 0, 0, KV_Rect{0, 0, 37, 22});
    for (int y = 0; y < 22; ++y)
      for (int x = 0; x < 37; ++x) {
        ASSERT_EQ(strip.alphaAt(f, x, y), frames[f].at(x, y)[3]) << f << ":" << x << "," << y;
        KV_Pix_A32 expect{0, 0, 0, 0};
        KV_blend_pixel(expect, pixelOf(frames[f], x, y));
        ASSERT_PRED2(same, dest.row(y)[x], expect) << f << ":" << x << "," << y;
      }
  }
}

// Whole cell rows, blended four pixels at a time where the compiler gives the loop vector lanes,
// onto a destination of any colour: every channel moves by floor((s - d) x a / 256), down as well
// as up.
TEST_F(VidTest, BlendOntoAnyDestinationFloorsEveryChannelsMove) {
  std::mt19937 random(11);
  kvpic::Image frame(16, 8);
  for (uint8_t& byte : frame.bgra) byte = static_cast<uint8_t>(random());
  std::vector<uint8_t> file = kvpic::encodeKVVF({frame});
  KV_Vid strip;
  ASSERT_TRUE(strip.map(file.data(), file.size()));
  KV_Pic<KV_Pix_A32> dest;
  dest.resize(16, 8);
  std::vector<uint8_t> before(16 * 8 * 4);
  for (uint8_t& byte : before) byte = static_cast<uint8_t>(random());
  std::memcpy(dest.pixels, before.data(), before.size());
  strip.blend(0, dest, 0, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      const uint8_t* s = frame.at(x, y);
      const uint8_t* d = &before[(static_cast<size_t>(y) * 16 + x) * 4];
      const uint8_t* got = reinterpret_cast<const uint8_t*>(&dest.row(y)[x]);
      for (int c = 0; c < 4; ++c)
        ASSERT_EQ(got[c], d[c] + static_cast<int>(std::floor((s[c] - d[c]) * s[3] / 256.0)))
            << x << "," << y << " channel " << c;
    }
}

TEST_F(VidTest, CellsPastTheRightAndBottomEdgeAreNeitherDrawnNorTested) {
  std::vector<uint8_t> file = handStrip();
  KV_Vid strip;
  ASSERT_TRUE(strip.map(file.data(), file.size()));
  EXPECT_EQ(strip.columns(), 2u);  // (6 - 1) / 4 + 1
  EXPECT_EQ(strip.rows(), 2u);
  KV_Pic<KV_Pix_A32> dest;
  dest.resize(9, 9);
  strip.blend(0, dest, 0, 0, KV_Rect{0, 0, 8, 8});  // asks past the frame
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) {
      const bool inside = x < 6 && y < 5;
      const uint8_t n = inside ? std::vector<uint8_t>{3, 1, 0, 2}[(y / 4) * 2 + x / 4] : 0;
      KV_Pix_A32 expect{0, 0, 0, 0};
      if (inside) KV_blend_pixel(expect, KV_Pix_A32{n, static_cast<uint8_t>(10 * n), 100, 255});
      EXPECT_PRED2(same, dest.row(y)[x], expect) << x << "," << y;
    }
  EXPECT_EQ(strip.alphaAt(0, 5, 4), 255);
  EXPECT_EQ(strip.alphaAt(0, 6, 0), 0);  // padding of cell (0, 1) is opaque but outside
  EXPECT_EQ(strip.alphaAt(0, 0, 5), 0);
  EXPECT_EQ(strip.alphaAt(0, -1, 0), 0);
  EXPECT_EQ(strip.alphaAt(1, 0, 0), 0);  // no such frame
}

TEST_F(VidTest, ARectangleIsSplitAlongTheCellGridAndPlacedAtXY) {
  std::vector<kvpic::Image> frames = movingSquare(13, 10, 3);
  std::vector<uint8_t> file = kvpic::encodeKVVF(frames);
  KV_Vid strip;
  ASSERT_TRUE(strip.map(file.data(), file.size()));
  KV_Pic<KV_Pix_A32> dest;
  dest.resize(12, 12);
  const KV_Rect src{3, 2, 11, 9};  // crosses cell borders in both directions
  strip.blend(2, dest, 1, 4, src);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      const int j = x - 1 + src.left, i = y - 4 + src.top;
      KV_Pix_A32 expect{0, 0, 0, 0};
      if (j >= src.left && j < src.right && i >= src.top && i < src.bottom && y < 12)
        KV_blend_pixel(expect, pixelOf(frames[2], j, i));
      ASSERT_PRED2(same, dest.row(y)[x], expect) << x << "," << y;
    }

  // Without a rectangle: (0, 0, width - x, height - y).
  KV_Pic<KV_Pix_A32> whole;
  whole.resize(13, 10);
  strip.blend(0, whole, 2, 3);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 13; ++x) {
      KV_Pix_A32 expect{0, 0, 0, 0};
      if (x >= 2 && y >= 3) KV_blend_pixel(expect, pixelOf(frames[0], x - 2, y - 3));
      ASSERT_PRED2(same, whole.row(y)[x], expect) << x << "," << y;
    }
}

TEST_F(VidTest, AFrameOutsideTheStripDrawsNothing) {
  std::vector<uint8_t> file = kvpic::encodeKVVF(movingSquare(8, 8, 2));
  KV_Vid strip;
  ASSERT_TRUE(strip.map(file.data(), file.size()));
  KV_Pic<KV_Pix_A32> dest;
  dest.resize(8, 8);
  strip.blend(2, dest, 0, 0);
  strip.blend(0xFFFFFFFFu, dest, 0, 0);
  for (int i = 0; i < 64; ++i) EXPECT_TRUE(same(dest.pixels[i], KV_Pix_A32{0, 0, 0, 0}));
}

TEST_F(VidTest, WrongMagicIsReportedAndTheStripKeepsItsFields) {
  std::vector<uint8_t> good = handStrip();
  KV_Vid strip;
  ASSERT_TRUE(strip.map(good.data(), good.size()));
  std::vector<uint8_t> bad = good;
  bad[3] = 'I';
  EXPECT_FALSE(strip.map(bad.data(), bad.size()));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rfind("ERROR|Error: Invalid KVVF header\nFile: ../../../projects/KV/KV/Vid\nLine: 14\n"
                             "Proc: KV_Vid::map\nDate: ", 0), 0u)
      << reports[0];
  EXPECT_EQ(strip.width, 6u);
  EXPECT_EQ(strip.blocks, 4u);
  EXPECT_EQ(strip.block, good.data() + 20);
  KV_Vid empty;
  EXPECT_FALSE(empty.map(bad.data(), bad.size()));
  EXPECT_EQ(empty.frames, 0u);
  EXPECT_EQ(empty.block, nullptr);
}

TEST_F(VidTest, TruncatedDataAndOutOfRangeIndexEntriesAreRefused) {
  std::vector<uint8_t> file = kvpic::encodeKVVF(movingSquare(10, 6, 3));
  KV_Vid strip;
  for (size_t size = 0; size < file.size(); ++size) {
    reports.clear();
    ASSERT_FALSE(strip.map(file.data(), size)) << size;
    ASSERT_EQ(reports.size(), 1u);
  }
  EXPECT_EQ(strip.frames, 0u);
  ASSERT_TRUE(strip.map(file.data(), file.size()));

  std::vector<uint8_t> hand = handStrip();
  hand[hand.size() - 2] = 4;  // the last cell names block 4 of 4
  KV_Vid other;
  EXPECT_FALSE(other.map(hand.data(), hand.size()));
  hand[hand.size() - 2] = 3;
  EXPECT_TRUE(other.map(hand.data(), hand.size()));

  // A header claiming more frames, blocks or pixels than the data holds, up to overflowing sizes.
  for (size_t field : {4u, 8u, 12u, 16u}) {
    std::vector<uint8_t> huge = handStrip();
    huge[field + 3] = 0x7F;
    EXPECT_FALSE(other.map(huge.data(), huge.size())) << field;
    huge[field] = huge[field + 1] = huge[field + 2] = huge[field + 3] = 0xFF;
    EXPECT_FALSE(other.map(huge.data(), huge.size())) << field;
  }
  std::vector<uint8_t> zero = handStrip();
  zero[4] = 0;  // width 0
  EXPECT_FALSE(other.map(zero.data(), zero.size()));
  EXPECT_EQ(other.width, 6u);
}

TEST(VidPng, ThePreviewEncoderWritesAWellFormedFile) {
  kvpic::Image img(3, 2);
  img.at(2, 1)[2] = 255;  // red
  std::vector<uint8_t> png = kvpic::encodePNG(img);
  ASSERT_GT(png.size(), 8u + 25 + 12 + 12);
  EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1A\n", 8), 0);
  auto be = [&](size_t at) { return static_cast<uint32_t>(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]; };
  EXPECT_EQ(be(8), 13u);
  EXPECT_EQ(std::memcmp(&png[12], "IHDR", 4), 0);
  EXPECT_EQ(be(16), 3u);
  EXPECT_EQ(be(20), 2u);
  EXPECT_EQ(png[24], 8);
  EXPECT_EQ(png[25], 6);
  // Every chunk's CRC covers its type and body (checked bit by bit, independently of the table).
  size_t at = 8;
  int chunks = 0;
  while (at + 12 <= png.size()) {
    const uint32_t length = be(at);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t k = at + 4; k < at + 8 + length; ++k) {
      crc ^= png[k];
      for (int b = 0; b < 8; ++b) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    EXPECT_EQ(~crc, be(at + 8 + length)) << "chunk " << chunks;
    at += 12 + length;
    ++chunks;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(chunks, 3);
  EXPECT_EQ(std::memcmp(&png[png.size() - 8], "IEND", 4), 0);
}
