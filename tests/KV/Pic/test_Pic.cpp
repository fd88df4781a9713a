// Pictures: the compositing rule, KVIF mapping and its refusals, resizing, the tiling blend.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "KV/Pic/Pic.h"
#include "KV_cfuncs.h"
#include "PicTestSupport.h"
#include "kvpicture.h"

namespace {

using PicTest = ReportCapture;

KV_Pix_A32 pix(uint8_t b, uint8_t g, uint8_t r, uint8_t a) { return KV_Pix_A32{b, g, r, a}; }

// A w x h image whose pixel (x, y) is (b, g, r, a) = (10x + 1, 10y + 2, x + y + 3, alpha).
kvpic::Image pattern(int w, int h, uint8_t alpha) {
  kvpic::Image img(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = img.at(x, y);
      p[0] = static_cast<uint8_t>(10 * x + 1);
      p[1] = static_cast<uint8_t>(10 * y + 2);
      p[2] = static_cast<uint8_t>(x + y + 3);
      p[3] = alpha;
    }
  return img;
}

void fill(KV_Pic_Base<KV_Pix_A32>& pic, KV_Pix_A32 p) {
  for (int32_t i = 0; i < pic.width * pic.height; ++i) pic.pixels[i] = p;
}

}  // namespace

TEST(PicBlendRule, AlphaZeroLeavesTheDestination) {
  KV_Pix_A32 d = pix(12, 200, 77, 254);
  KV_blend_pixel(d, pix(255, 0, 255, 0));
  EXPECT_TRUE(same(d, pix(12, 200, 77, 254)));
}

TEST(PicBlendRule, BlackAt116OntoOpaque200RoundsTowardMinusInfinity) {
  KV_Pix_A32 d = pix(200, 200, 200, 255);
  KV_blend_pixel(d, pix(0, 0, 0, 116));
  // -200 * 116 / 256 = -90.6: the arithmetic shift gives -91, truncation would give -90.
  EXPECT_EQ(d.b, 109);
  EXPECT_EQ(d.g, 109);
  EXPECT_EQ(d.r, 109);
  EXPECT_EQ(d.a, 255 - 63);  // (116 - 255) * 116 = -16124; >> 8 = -63
}

TEST(PicBlendRule, DivisorIs256SoFullAlphaKeepsAFractionOfTheOldColour) {
  KV_Pix_A32 d = pix(0, 0, 0, 0);
  KV_blend_pixel(d, pix(255, 128, 1, 255));
  EXPECT_TRUE(same(d, pix(254, 127, 0, 254)));
  // The extremes stay inside 0 ... 255 in both directions.
  KV_Pix_A32 up = pix(0, 0, 0, 0), down = pix(255, 255, 255, 255);
  KV_blend_pixel(up, pix(255, 255, 255, 255));
  KV_blend_pixel(down, pix(0, 0, 0, 255));
  EXPECT_TRUE(same(up, pix(254, 254, 254, 254)));
  EXPECT_TRUE(same(down, pix(0, 0, 0, 255)));
}

TEST_F(PicTest, MapLaysThePictureOverTheDataWithoutCopying) {
  std::vector<uint8_t> file = kvpic::encodeKVIF(pattern(5, 3, 200));
  ASSERT_EQ(file.size(), 12u + 4 * 5 * 3);
  KV_Pic<KV_Pix_A32> pic;
  ASSERT_TRUE(pic.map(file.data(), file.size()));
  EXPECT_EQ(pic.width, 5);
  EXPECT_EQ(pic.height, 3);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(pic.pixels), file.data() + 12);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(pic.row(2)), file.data() + 12 + 4 * 5 * 2);
  EXPECT_TRUE(same(pic.row(2)[4], pix(41, 22, 9, 200)));
  EXPECT_TRUE(reports.empty());
}

TEST_F(PicTest, WrongMagicIsReportedAndThePictureKeepsWhatItHad) {
  std::vector<uint8_t> good = kvpic::encodeKVIF(pattern(4, 4, 254));
  KV_Pic<KV_Pix_A32> pic;
  ASSERT_TRUE(pic.map(good.data(), good.size()));
  std::vector<uint8_t> bad = good;
  bad[3] = 'V';  // "KVIV"
  EXPECT_FALSE(pic.map(bad.data(), bad.size()));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rfind("ERROR|Error: Invalid KVIF header\nFile: ../../../projects/KV/KV/Pic/Base\nLine: 21\n"
                             "Proc: KV_Pic_Base<TPix>::map\nDate: ", 0), 0u)
      << reports[0];
  EXPECT_EQ(pic.width, 4);
  EXPECT_EQ(pic.height, 4);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(pic.pixels), good.data() + 12);

  // A picture that never mapped stays empty and draws nothing.
  KV_Pic<KV_Pix_A32> empty, dest;
  EXPECT_FALSE(empty.map(bad.data(), bad.size()));
  EXPECT_EQ(empty.pixels, nullptr);
  dest.resize(4, 4);
  fill(dest, pix(9, 9, 9, 9));
  empty.blend(dest, 0, 0, KV_Rect{0, 0, 4, 4});
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(same(dest.pixels[i], pix(9, 9, 9, 9)));
}

TEST_F(PicTest, TruncatedDataIsRefused) {
  std::vector<uint8_t> file = kvpic::encodeKVIF(pattern(3, 2, 254));
  KV_Pic<KV_Pix_A32> pic;
  for (size_t size = 0; size < file.size(); ++size) {
    reports.clear();
    EXPECT_FALSE(pic.map(file.data(), size)) << size;
    ASSERT_EQ(reports.size(), 1u) << size;
    EXPECT_NE(reports[0].find("Invalid KVIF header"), std::string::npos);
  }
  EXPECT_EQ(pic.pixels, nullptr);
  EXPECT_TRUE(pic.map(file.data(), file.size()));

  // Dimensions whose pixel count would overflow a size, or a signed 32-bit field.
  std::vector<uint8_t> header = {'K', 'V', 'I', 'F', 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0};  // 65536 x 65536
  EXPECT_FALSE(pic.map(header.data(), header.size()));
  header = {'K', 'V', 'I', 'F', 0, 0, 0, 0x80, 1, 0, 0, 0};  // width 2^31
  EXPECT_FALSE(pic.map(header.data(), header.size()));
  EXPECT_EQ(pic.width, 3);
  EXPECT_FALSE(pic.map(nullptr, 100));
}

TEST_F(PicTest, OneArgumentMapTrustsDataOutsideTheResources) {
  std::vector<uint8_t> file = kvpic::encodeKVIF(pattern(2, 2, 254));
  size_t size = 0;
  EXPECT_FALSE(KV_resource_extent(file.data(), &size));
  KV_Pic<KV_Pix_A32> pic;
  EXPECT_TRUE(pic.map(file.data()));
  EXPECT_EQ(pic.width, 2);
  file[0] = 'X';
  EXPECT_FALSE(pic.map(file.data()));
  EXPECT_EQ(reports.size(), 1u);
}

TEST(PicResize, GivesAZeroedPictureOfTheSizeAndReleasesThePrevious) {
  KV_Pic<KV_Pix_A32> pic;
  pic.resize(7, 5);
  ASSERT_NE(pic.pixels, nullptr);
  EXPECT_EQ(pic.width, 7);
  EXPECT_EQ(pic.height, 5);
  EXPECT_EQ(pic.row(3), pic.pixels + 21);
  for (int i = 0; i < 35; ++i) EXPECT_TRUE(same(pic.pixels[i], pix(0, 0, 0, 0)));
  fill(pic, pix(1, 2, 3, 4));  // every pixel is writable
  pic.resize(64, 64);          // the sanitizer run sees a leak if the first block stays
  EXPECT_EQ(pic.width, 64);
  fill(pic, pix(1, 2, 3, 4));
#if defined(_WIN32)
  EXPECT_NE(pic.bitmap, nullptr);
  EXPECT_EQ(pic.info.bmiHeader.biSize, 40u);
  EXPECT_EQ(pic.info.bmiHeader.biWidth, 64);
  EXPECT_EQ(pic.info.bmiHeader.biHeight, -64);
  EXPECT_EQ(pic.info.bmiHeader.biBitCount, 32);
  EXPECT_EQ(pic.info.bmiHeader.biPlanes, 1);
  EXPECT_EQ(pic.info.bmiHeader.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(pic.dc, nullptr);
#endif
  pic.resize(0, 10);
  EXPECT_EQ(pic.pixels, nullptr);
  EXPECT_EQ(pic.width, 0);
  EXPECT_EQ(pic.height, 0);
}

TEST(PicResize, ABasePictureOwnsItsBlock) {
  KV_Pic_Base<KV_Pix_A32> pic;
  pic.resize(3, 3);
  ASSERT_NE(pic.pixels, nullptr);
  fill(pic, pix(5, 5, 5, 5));
  pic.resize(-1, 3);
  EXPECT_EQ(pic.pixels, nullptr);
}

TEST_F(PicTest, ATenByTenPictureTilesThreeTimesAcrossThirty) {
  std::vector<uint8_t> file = kvpic::encodeKVIF(pattern(10, 10, 180));
  KV_Pic<KV_Pix_A32> tile, dest;
  ASSERT_TRUE(tile.map(file.data(), file.size()));
  dest.resize(30, 10);
  tile.blend(dest, 0, 0, KV_Rect{0, 0, 30, 10});
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 30; ++x) {
      KV_Pix_A32 expect = pix(0, 0, 0, 0);
      KV_blend_pixel(expect, tile.row(y)[x % 10]);
      ASSERT_PRED2(same, dest.row(y)[x], expect) << x << "," << y;
    }
  EXPECT_NE(dest.row(0)[0].b, dest.row(0)[1].b);  // the pattern really varies along a row
}

TEST_F(PicTest, ASourceRectangleIsTakenModuloThePictureAndPlacedAtXY) {
  std::vector<uint8_t> file = kvpic::encodeKVIF(pattern(4, 3, 254));
  KV_Pic<KV_Pix_A32> tile, dest;
  ASSERT_TRUE(tile.map(file.data(), file.size()));
  dest.resize(12, 9);
  fill(dest, pix(50, 60, 70, 254));
  const KV_Rect src{5, 2, 11, 7};  // 6 x 5, starting inside the second repetition
  tile.blend(dest, 3, 1, src);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x) {
      KV_Pix_A32 expect = pix(50, 60, 70, 254);
      const int j = x - 3 + src.left, i = y - 1 + src.top;
      if (j >= src.left && j < src.right && i >= src.top && i < src.bottom) KV_blend_pixel(expect, tile.row(i % 3)[j % 4]);
      ASSERT_PRED2(same, dest.row(y)[x], expect) << x << "," << y;
    }
}

TEST_F(PicTest, PixelsThatWouldLandOutsideTheDestinationAreSkipped) {
  std::vector<uint8_t> file = kvpic::encodeKVIF(pattern(4, 4, 254));
  KV_Pic<KV_Pix_A32> tile, dest;
  ASSERT_TRUE(tile.map(file.data(), file.size()));
  dest.resize(6, 6);
  tile.blend(dest, -2, 4, KV_Rect{0, 0, 10, 10});  // hangs out left and below
  KV_Pix_A32 expect = pix(0, 0, 0, 0);
  KV_blend_pixel(expect, tile.row(0)[2]);
  EXPECT_PRED2(same, dest.row(4)[0], expect);
  EXPECT_TRUE(same(dest.row(3)[0], pix(0, 0, 0, 0)));
  tile.blend(dest, 100, 100, KV_Rect{0, 0, 4, 4});  // entirely outside: nothing, no fault
}

#if !defined(_WIN32)
#include "KV_resources.h"

// This suite's binary embeds no resources, so the test installs a table of its own and removes
// it again.
TEST_F(PicTest, OneArgumentMapOverAResourceIsBoundedByTheResourceSize) {
  std::vector<uint8_t> file = kvpic::encodeKVIF(pattern(4, 4, 254));
  const KV_resource_entry table[] = {
      {"WHOLE", file.data(), file.size()}, {"SHORT", file.data(), file.size() - 1}, {nullptr, nullptr, 0}};
  KV_resource_set_table(table);
  size_t size = 0;
  EXPECT_EQ(KV_resource_sized("whole", &size), file.data());
  EXPECT_EQ(size, file.size());
  size_t rest = 0;
  EXPECT_TRUE(KV_resource_extent(file.data() + 10, &rest));
  EXPECT_EQ(rest, file.size() - 10);

  KV_Pic<KV_Pix_A32> pic;
  EXPECT_TRUE(pic.map(KV_resource("WHOLE")));
  // The same bytes known only as the shorter resource: the picture would read past its end.
  const KV_resource_entry shortOnly[] = {{"SHORT", file.data(), file.size() - 1}, {nullptr, nullptr, 0}};
  KV_resource_set_table(shortOnly);
  KV_Pic<KV_Pix_A32> cut;
  EXPECT_FALSE(cut.map(KV_resource("short")));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("Invalid KVIF header"), std::string::npos);
  EXPECT_EQ(KV_resource_sized("missing", &size), nullptr);
  EXPECT_EQ(size, 0u);
  KV_resource_set_table(nullptr);
}
#endif
