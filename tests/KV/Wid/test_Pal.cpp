// The palette widget: the line record, the options with and without a line, the first scan, the
// recolouring between the old and the new position (fraction mix, threshold colours, alpha
// product), the defined answers at the edges of the ranges, the resource path, and the meter demo
// of examples/meter composed into a picture.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <map>
#include <string>
#include <vector>

#include "KV/Spcpp.h"
#include "KV/Wid/Pal.h"
#include "KV/Win/Win.h"
#include "KV/Win/Win_Picture.h"
#include "KV_cfuncs.h"
#include "KV_resources.h"
#include "Pic/PicTestSupport.h"
#include "kvpicture.h"

namespace {

constexpr uint32_t BG = 0xFE102030;    // B 48, G 32, R 16, A 254
constexpr uint32_t FG = 0xFF40E0A0;    // B 160, G 224, R 64, A 255
constexpr uint32_t HIGH = 0x80FF0000;  // B 0, G 0, R 255, A 128
constexpr uint32_t KEY_G = 0x00200010; // blue 0x10, red 0x20: the key of an index in green

int32_t asInt(uint32_t v) { return static_cast<int32_t>(v); }

// A column of `segments` bars, 5 x 2 pixels each, segment `first` in the two bottom rows. Columns
// 0 ... 3 are meter pixels (index in byte `ch`, the key's bytes elsewhere; column 3 at alpha 128,
// the others at 254). Column 4 has the index too, but its other bytes differ from the key.
std::vector<uint8_t> meterArt(int segments, int first, int ch, uint32_t key) {
  kvpic::Image img(5, 2 * segments);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < 5; ++x) {
      uint8_t* p = img.at(x, y);
      for (int k = 0; k < 3; ++k) p[k] = static_cast<uint8_t>(key >> (8 * k));
      p[ch] = static_cast<uint8_t>(first + segments - 1 - y / 2);
      p[3] = x == 3 ? 128 : 254;
      if (x == 4) p[(ch + 1) % 3] ^= 0x01;
    }
  return kvpic::encodeKVIF(img);
}

int quiet(const char*, const char*) { return 1; }

struct RecordingWin : KV_Win {
  std::vector<KV_Rect> redraws;
  RecordingWin(int32_t w, int32_t h) : KV_Win(w, h) {}
  void redraw(const KV_Rect& r) override { redraws.push_back(r); }
};

// A 10-segment meter (0 ... 9, index in green) over `art`, with its line set by commands.
struct PalTest : testing::Test {
  std::vector<uint8_t> art = meterArt(10, 0, 1, KEY_G);
  KV_Wid_Pal pal;
  std::unique_ptr<KV_Wid_Pal_Line> line = std::make_unique<KV_Wid_Pal_Line>();

  void SetUp() override {
    KV_set_error_presenter(quiet);
    pal.useResource("meter", art.data(), art.size());
    ASSERT_EQ(pal.picture.width, 5);
    ASSERT_EQ(pal.picture.height, 20);
    ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln %o -cg %i -ch g -mn 0 -mx 9 -bg %i -fg %i -rg %i -rl 2"), &pal,
                    line.get(), asInt(KEY_G), asInt(BG), asInt(FG), asInt(HIGH)),
              KV_OK);
  }
  void TearDown() override { KV_set_error_presenter(nullptr); }

  void level(double v) { ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -level %f"), &pal, v), KV_OK); }
  // The shown pixel of segment `seg` in column x.
  KV_Pix_A32 shown(int seg, int x, int first = 0, int segments = 10) const {
    return pal.picture.row(2 * (first + segments - 1 - seg))[x];
  }
  KV_Pix_A32 artAt(int seg, int x) const { return pal.source.row(2 * (9 - seg))[x]; }
};

using PalLevel = PalTest;
using PalOptions = PalTest;
using PalEdge = PalTest;
using PalWindow = PalTest;

// Pixel values as the test expects them, b, g, r, a.
constexpr KV_Pix_A32 litA254{160, 224, 64, 254};   // FG, alpha 255 * 254 / 255
constexpr KV_Pix_A32 litA128{160, 224, 64, 128};   // 255 * 128 / 255
constexpr KV_Pix_A32 bgA254{48, 32, 16, 253};      // 254 * 254 / 255 = 253.0039
constexpr KV_Pix_A32 bgA128{48, 32, 16, 127};      // 254 * 128 / 255 = 127.498
constexpr KV_Pix_A32 highA254{0, 0, 255, 127};     // 128 * 254 / 255 = 127.498
constexpr KV_Pix_A32 highA128{0, 0, 255, 64};      // 128 * 128 / 255 = 64.25

}  // namespace

TEST(PalLine, TheRecordIsZeroWithEveryBoxEmpty) {
  EXPECT_EQ(sizeof(KV_Wid_Pal_Line), 4136u);
  // Constructed over dirty memory: nothing of it may survive.
  alignas(KV_Wid_Pal_Line) unsigned char raw[sizeof(KV_Wid_Pal_Line)];
  std::memset(raw, 0xA5, sizeof raw);
  KV_Wid_Pal_Line* l = new (raw) KV_Wid_Pal_Line;
  EXPECT_EQ(l->background, 0u);
  EXPECT_EQ(l->key, 0u);
  EXPECT_EQ(l->lit, 0u);
  EXPECT_EQ(l->high, 0u);
  EXPECT_EQ(l->channel, 0);
  EXPECT_EQ(l->level, 0.0f);
  EXPECT_EQ(l->threshold, 0.0f);
  EXPECT_EQ(l->minimum, 0);
  EXPECT_EQ(l->maximum, 0);
  EXPECT_EQ(l->scanned, 0);
  for (const auto& b : l->boxes) {
    ASSERT_EQ(b.minX, 2147483647);
    ASSERT_EQ(b.minY, 2147483647);
    ASSERT_EQ(b.maxX, 0);
    ASSERT_EQ(b.maxY, 0);
  }
  l->~KV_Wid_Pal_Line();
}

TEST(PalScan, MeterPixelsAreVisitedFromTheBottomRowUpEachRowLeftToRight) {
  kvpic::Image img(3, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      uint8_t* p = img.at(x, y);
      p[0] = 0x10, p[1] = static_cast<uint8_t>(y), p[2] = 0x20, p[3] = 200;
    }
  img.at(1, 1)[1] = 7;  // out of the range 0 ... 2: not a meter pixel
  const std::vector<uint8_t> bytes = kvpic::encodeKVIF(img);
  KV_Pic<KV_Pix_A32> pic;
  ASSERT_TRUE(pic.map(bytes.data(), bytes.size()));
  KV_Wid_Pal_Line l;
  l.channel = 1, l.key = KEY_G, l.minimum = 0, l.maximum = 2;
  std::vector<std::string> seen;
  KV_Wid_Pal_forEachMeterPixel(pic, l, [&](int32_t x, int32_t y, int32_t i) {
    seen.push_back(std::to_string(x) + "," + std::to_string(y) + ":" + std::to_string(i));
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"0,2:2", "1,2:2", "2,2:2", "0,1:1", "2,1:1", "0,0:0", "1,0:0", "2,0:0"}));
}

TEST_F(PalLevel, TheFirstLevelScansTheBoxesOnceAndStartsFromTheBackground) {
  EXPECT_EQ(line->scanned, 0);
  level(0.0);
  EXPECT_EQ(line->scanned, 1);
  EXPECT_EQ(line->level, 0.0f);
  // Segment i covers rows 2 (9 - i) and the one below, columns 0 ... 3 (column 4 is no meter pixel).
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(line->boxes[i].minX, 0) << i;
    EXPECT_EQ(line->boxes[i].maxX, 3) << i;
    EXPECT_EQ(line->boxes[i].minY, 2 * (9 - i)) << i;
    EXPECT_EQ(line->boxes[i].maxY, 2 * (9 - i) + 1) << i;
  }
  EXPECT_EQ(line->boxes[10].minX, 2147483647);
  EXPECT_EQ(line->boxes[10].maxX, 0);
  for (int i = 0; i < 10; ++i) {
    EXPECT_TRUE(same(shown(i, 0), bgA254)) << i;
    EXPECT_TRUE(same(shown(i, 3), bgA128)) << i;
  }
  // Boxes are not recomputed: a box emptied by hand stays empty and its segment untouched.
  line->boxes[9] = KV_Wid_Pal_Line::Box{2147483647, 2147483647, 0, 0};
  level(1.0);
  EXPECT_TRUE(same(shown(9, 0), bgA254));
  EXPECT_TRUE(same(shown(8, 0), litA254));
}

TEST_F(PalLevel, FiftyFivePercentLightsFiveSegmentsAndMixesTheSixthHalfWay) {
  level(0.55);
  for (int i = 0; i <= 4; ++i) {
    EXPECT_TRUE(same(shown(i, 0), litA254)) << i;
    EXPECT_TRUE(same(shown(i, 3), litA128)) << i;
  }
  // Half way: (48 + 160) / 2, (32 + 224) / 2, (16 + 64) / 2, trunc((254 + 255) / 2) = 254, whose
  // product with the artwork's alpha is 254 * 254 / 255 = 253 and 254 * 128 / 255 = 127.
  EXPECT_TRUE(same(shown(5, 0), (KV_Pix_A32{104, 128, 40, 253})));
  EXPECT_TRUE(same(shown(5, 1), (KV_Pix_A32{104, 128, 40, 253})));
  EXPECT_TRUE(same(shown(5, 3), (KV_Pix_A32{104, 128, 40, 127})));
  for (int i = 6; i <= 9; ++i) EXPECT_TRUE(same(shown(i, 0), bgA254)) << i;
  // The pixels that differ from the key keep the artwork, whatever the level.
  for (int i = 0; i <= 9; ++i) EXPECT_TRUE(same(shown(i, 4), artAt(i, 4))) << i;
  EXPECT_EQ(line->level, 0.55f);
}

TEST_F(PalLevel, GoingDownRepaintsOnlyTheSegmentsCrossedAndTheOneAtTheLevel) {
  level(0.55);
  // Marks that only a repaint of their segment removes.
  const KV_Pix_A32 mark{1, 2, 3, 4};
  pal.picture.row(2 * (9 - 1))[0] = mark;  // segment 1
  pal.picture.row(2 * (9 - 7))[0] = mark;  // segment 7
  level(0.2);
  // 5, 4 and 3 go to the background, 2 gets the mix at fraction 0, that is the background too.
  for (int i = 2; i <= 5; ++i) {
    EXPECT_TRUE(same(shown(i, 0), bgA254)) << i;
    EXPECT_TRUE(same(shown(i, 3), bgA128)) << i;
  }
  EXPECT_TRUE(same(shown(0, 0), litA254));
  EXPECT_TRUE(same(shown(1, 0), mark));  // not crossed: left alone
  EXPECT_TRUE(same(shown(7, 0), mark));
  EXPECT_TRUE(same(shown(1, 1), litA254));
  // Back up to 0.55: 2 ... 4 lit again and 5 mixed; 1 still untouched.
  level(0.55);
  EXPECT_TRUE(same(shown(3, 0), litA254));
  EXPECT_TRUE(same(shown(5, 0), (KV_Pix_A32{104, 128, 40, 253})));
  EXPECT_TRUE(same(shown(1, 0), mark));
  level(0.0);
  EXPECT_TRUE(same(shown(1, 0), bgA254));
  EXPECT_TRUE(same(shown(0, 0), bgA254));
}

TEST_F(PalLevel, FromTheThresholdOnSegmentsLightInTheHighColour) {
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -rl 0.8"), &pal), KV_OK);
  level(1.0);
  for (int i = 0; i <= 7; ++i) EXPECT_TRUE(same(shown(i, 0), litA254)) << i;  // t of 7 = 0.777...
  EXPECT_TRUE(same(shown(8, 0), highA254));  // t = 0.888...
  EXPECT_TRUE(same(shown(9, 0), highA254));  // t = 1.0
  EXPECT_TRUE(same(shown(9, 3), highA128));
  // The mix toward a high segment uses the high colour: 0.85 stops in segment 8 at 0.5.
  level(0.85);
  // (48 + 0) / 2, (32 + 0) / 2, (16 + 255) / 2 = 135, (254 + 128) / 2 = 191 -> 191 * 254 / 255 = 190.
  EXPECT_TRUE(same(shown(8, 0), (KV_Pix_A32{24, 16, 135, 190})));
  EXPECT_TRUE(same(shown(9, 0), bgA254));
}

TEST_F(PalLevel, TheRedChannelCanCarryTheIndex) {
  KV_Wid_Pal red;
  KV_Wid_Pal_Line redLine;
  const std::vector<uint8_t> redArt = meterArt(10, 0, 2, 0x00002010);  // blue 0x10, green 0x20
  red.useResource("meter", redArt.data(), redArt.size());
  const char* name = nullptr;
  int32_t key = 0;
  // The key is given with red and alpha bytes set; -ch r clears both.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln %o -cg 0xFF7F2010 -ch r -ch -cg -mn 0 -mx 9 -bg %i -fg %i -rl 2"), &red,
                  &redLine, &name, &key, asInt(BG), asInt(FG)),
            KV_OK);
  EXPECT_STREQ(name, "r");
  EXPECT_EQ(redLine.channel, 2);
  EXPECT_EQ(key, 0x00002010);
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -level 0.55"), &red), KV_OK);
  EXPECT_TRUE(same(red.picture.row(2 * (9 - 4))[0], litA254));
  EXPECT_TRUE(same(red.picture.row(2 * (9 - 5))[0], (KV_Pix_A32{104, 128, 40, 253})));
  EXPECT_TRUE(same(red.picture.row(2 * (9 - 6))[0], bgA254));
  EXPECT_TRUE(same(red.picture.row(2 * (9 - 4))[4], red.source.row(2 * (9 - 4))[4]));
}

TEST_F(PalOptions, EveryLineOptionReadsBackWhatItSet) {
  int32_t mn = 0, mx = 0, bg = 0, fg = 0, rg = 0, cg = 0;
  float rl = 0;
  const char* ch = nullptr;
  void* ln = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -mn 2.9 -mx -7.9 -rl 1 -bg 0xFF000001 -fg %i -rg 5 -cg 0x123 -ch x "
                         "-mn -mx -rl -bg -fg -rg -cg -ch -ln"),
                  &pal, 77, &mn, &mx, &rl, &bg, &fg, &rg, &cg, &ch, &ln),
            KV_OK);
  EXPECT_EQ(mn, 2);   // floats truncated toward zero
  EXPECT_EQ(mx, -7);
  EXPECT_EQ(rl, 1.0f);
  EXPECT_EQ(bg, asInt(0xFF000001));
  EXPECT_EQ(fg, 77);
  EXPECT_EQ(rg, 5);
  EXPECT_STREQ(ch, "g");  // "x" keeps the channel, but still clears its byte and alpha of the key
  EXPECT_EQ(cg, 0x23);    // 0x123 with its green byte (0x01) cleared by that -ch x
  EXPECT_EQ(ln, line.get());
  // -ch applies to the key as it is now: the green byte goes.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -cg 0x7F123456 -ch b -cg"), &pal, &cg), KV_OK);
  EXPECT_EQ(cg, 0x00123400);
  EXPECT_EQ(line->channel, 0);
}

TEST_F(PalOptions, WithoutALineTheOptionsChangeAndAnswerNothing) {
  KV_Wid_Pal bare;
  int32_t sentinel = -12345;
  // A query answering nothing takes no out-pointer: the one sentinel receives only -l.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -mn 3 -mx 4 -rl 0.5 -bg 1 -fg 2 -rg 3 -cg 4 -ch r -level 0.5 "
                         "-mn -mx -rl -bg -fg -rg -cg -ch -l"),
                  &bare, &sentinel),
            KV_OK);
  EXPECT_EQ(sentinel, 0);
  void* ln = &sentinel;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln"), &bare, &ln), KV_OK);
  EXPECT_EQ(ln, nullptr);
  // Given a line afterwards, none of it has arrived there.
  KV_Wid_Pal_Line l;
  int32_t mn = -1;
  const char* ch = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln %o -mn -ch"), &bare, &l, &mn, &ch), KV_OK);
  EXPECT_EQ(mn, 0);
  EXPECT_STREQ(ch, "b");
  EXPECT_EQ(l.scanned, 0);
  // -ln 0 lets go of the line.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln 0"), &bare), KV_OK);
  EXPECT_EQ(bare.line, nullptr);
}

TEST_F(PalEdge, ALevelBeforeTheLineOrTheSourceDoesNothingAndLaterOnesWork) {
  KV_Wid_Pal early;
  KV_Wid_Pal_Line l;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -level 0.7"), &early), KV_OK);  // no line
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln %o -cg %i -ch g -mn 0 -mx 9 -bg %i -fg %i -rl 2 -level 0.7"), &early, &l,
                  asInt(KEY_G), asInt(BG), asInt(FG)),
            KV_OK);  // no source yet
  EXPECT_EQ(l.scanned, 0);
  EXPECT_EQ(l.boxes[3].maxX, 0);
  early.useResource("meter", art.data(), art.size());
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -level 0.55"), &early), KV_OK);
  EXPECT_EQ(l.scanned, 1);
  EXPECT_TRUE(same(early.picture.row(2 * (9 - 4))[0], litA254));
  EXPECT_TRUE(same(early.picture.row(2 * (9 - 5))[0], (KV_Pix_A32{104, 128, 40, 253})));
  EXPECT_TRUE(same(early.picture.row(2 * (9 - 6))[0], bgA254));
}

TEST_F(PalEdge, LevelsOutsideZeroToOneAreTheNearerEndAndNaNIsIgnored) {
  level(1.0);
  const std::vector<KV_Pix_A32> full(pal.picture.pixels, pal.picture.pixels + 100);
  level(0.0);
  const std::vector<KV_Pix_A32> empty(pal.picture.pixels, pal.picture.pixels + 100);
  level(1.7);
  EXPECT_EQ(0, std::memcmp(full.data(), pal.picture.pixels, 400));
  EXPECT_EQ(line->level, 1.0f);
  level(-0.3);
  EXPECT_EQ(0, std::memcmp(empty.data(), pal.picture.pixels, 400));
  level(0.55);
  const std::vector<KV_Pix_A32> mid(pal.picture.pixels, pal.picture.pixels + 100);
  pal.level(std::nanf(""), false);
  EXPECT_EQ(line->level, 0.55f);
  EXPECT_EQ(0, std::memcmp(mid.data(), pal.picture.pixels, 400));
  pal.level(INFINITY, false);
  EXPECT_EQ(0, std::memcmp(full.data(), pal.picture.pixels, 400));
}

TEST_F(PalEdge, AOneSegmentRangeIsItsOwnTopAndDividesByNothing) {
  KV_Wid_Pal one;
  KV_Wid_Pal_Line l;
  const std::vector<uint8_t> oneArt = meterArt(1, 5, 1, KEY_G);
  one.useResource("meter", oneArt.data(), oneArt.size());
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln %o -cg %i -ch g -mn 5 -mx 5 -bg %i -fg %i -rg %i -rl 0.5 -level 1"), &one,
                  &l, asInt(KEY_G), asInt(BG), asInt(FG), asInt(HIGH)),
            KV_OK);
  EXPECT_TRUE(same(one.picture.row(0)[0], highA254));
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -level 0.5"), &one), KV_OK);
  // Half way toward the high colour: (24, 16, 135, 191 * 254 / 255 = 190).
  EXPECT_TRUE(same(one.picture.row(0)[0], (KV_Pix_A32{24, 16, 135, 190})));
  // A threshold above 1 leaves even the top segment in the lit colour.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -rl 1.5 -level 0 -level 1"), &one), KV_OK);
  EXPECT_TRUE(same(one.picture.row(0)[0], litA254));
}

TEST_F(PalEdge, IndicesUpTo255AndBeyondStayInsideTheBoxes) {
  // Segments 250 ... 255 at the top of the byte; the record on the heap so that the sanitizer
  // sees any box past the last.
  KV_Wid_Pal top;
  auto l = std::make_unique<KV_Wid_Pal_Line>();
  const std::vector<uint8_t> topArt = meterArt(6, 250, 1, KEY_G);
  top.useResource("meter", topArt.data(), topArt.size());
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln %o -cg %i -ch g -mn 250 -mx 255 -bg %i -fg %i -rl 2 -level 1"), &top,
                  l.get(), asInt(KEY_G), asInt(BG), asInt(FG)),
            KV_OK);
  for (int i = 250; i <= 255; ++i) EXPECT_TRUE(same(top.picture.row(2 * (255 - i))[0], litA254)) << i;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -level 0"), &top), KV_OK);
  for (int i = 250; i <= 255; ++i) EXPECT_TRUE(same(top.picture.row(2 * (255 - i))[0], bgA254)) << i;
  // A maximum past 255: 51 positions, of which 250 ... 255 have pixels. 0.1 reaches 255.1.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -mx 300 -level 0.1"), &top), KV_OK);
  EXPECT_TRUE(same(top.picture.row(2 * (255 - 254))[0], litA254));
  const KV_Pix_A32 p255 = top.picture.row(0)[0];
  EXPECT_EQ(p255.b, 59);  // 0.9 * 48 + 0.1 * 160 = 59.2 (the float 0.1 is a little more)
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -level 1"), &top), KV_OK);
  EXPECT_TRUE(same(top.picture.row(0)[0], litA254));
  // The widest range there is walks at most the 256 indices and returns.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -mn -2147483648 -mx 2147483647 -level 0.5 -level 0"), &top), KV_OK);
}

TEST_F(PalEdge, BelowSegmentZeroTheFractionIsNoneAndAnEmptyRangePaintsNothing) {
  // -3 ... 6: ten positions; 0.25 puts the level at -0.5, which truncates to segment 0 with a
  // negative fraction: segment 0 must stay at the background, not overshoot beyond it.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -mn -3 -mx 6 -level 0.25"), &pal), KV_OK);
  EXPECT_TRUE(same(shown(0, 0), bgA254));
  EXPECT_TRUE(same(shown(1, 0), bgA254));
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -level 0.55"), &pal), KV_OK);  // 2.5: 0, 1 lit, 2 half
  EXPECT_TRUE(same(shown(1, 0), litA254));
  EXPECT_TRUE(same(shown(2, 0), (KV_Pix_A32{104, 128, 40, 253})));
  // Minimum above maximum: no index passes the pixel test, nothing changes.
  KV_Wid_Pal rev;
  KV_Wid_Pal_Line l;
  rev.useResource("meter", art.data(), art.size());
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln %o -cg %i -ch g -mn 9 -mx 0 -bg %i -fg %i -level 0.5 -level 1"), &rev, &l,
                  asInt(KEY_G), asInt(BG), asInt(FG)),
            KV_OK);
  EXPECT_EQ(0, std::memcmp(rev.picture.pixels, rev.source.pixels, 400));
}

TEST_F(PalWindow, ALevelRedrawsAnAttachedMeterAtOnceAndAQuietOneDoesNot) {
  RecordingWin win(64, 64);
  pal.left = 7, pal.top = 9, pal.width = 5, pal.height = 20;
  level(0.3);  // not attached: recoloured, nothing to redraw
  EXPECT_TRUE(same(shown(2, 0), litA254));
  pal.attach(&win);
  level(0.6);
  ASSERT_FALSE(win.redraws.empty());
  EXPECT_EQ(win.redraws.back().left, 7);
  EXPECT_EQ(win.redraws.back().bottom, 29);
  const size_t before = win.redraws.size();
  pal.level(0.1f, true);
  EXPECT_EQ(win.redraws.size(), before);
  EXPECT_TRUE(same(shown(2, 0), bgA254));
  // paint blends the recoloured copy, not the artwork.
  KV_Pic<KV_Pix_A32> target;
  target.resize(5, 20);
  std::memset(static_cast<void*>(target.pixels), 0, 400);
  pal.paint(target, 0, 0, KV_Rect{0, 0, 5, 20});
  // 0 + (160 * 254 >> 8) = 158 for the lit blue of segment 0.
  EXPECT_EQ(target.row(18)[0].b, 158);
  EXPECT_EQ(target.row(18)[0].g, 222);  // 224 * 254 >> 8
}

// ---------------------------------------------------------------------------------------------
// Through the embedded resources of the meter demo (METER, METER_PANEL, METER_LAYOUT).

namespace {

#if !defined(_WIN32)
// On Linux the resources sit in a table that the binary installs at load, and other suites put
// tables of their own in its place. The meter's rows are taken from the binary's table before any
// test runs and put back for each test here.
KV_resource_entry meterTable[4] = {};
struct MeterResources : testing::Environment {
  void SetUp() override {
    const char* names[3] = {"METER", "METER_PANEL", "METER_LAYOUT"};
    for (int i = 0; i < 3; ++i) {
      size_t size = 0;
      const void* data = KV_resource_sized(names[i], &size);
      meterTable[i] = KV_resource_entry{names[i], data, size};
    }
  }
};
testing::Environment* const meterResources = testing::AddGlobalTestEnvironment(new MeterResources);
#endif

struct PalResource : ReportCapture {
  void SetUp() override {
#if !defined(_WIN32)
    ASSERT_NE(meterTable[0].data, nullptr);
    KV_resource_set_table(meterTable);
#endif
    ReportCapture::SetUp();
  }
};

// Runs the demo layout: "name = command" keeps the first word of the answer, "$name" is replaced
// by the reference it names.
bool runLayout(const char* text, std::map<std::string, std::string>& names, std::vector<std::string>& failures) {
  static std::vector<std::unique_ptr<char[]>> kept;  // created objects keep pointing into their command
  std::string all(text);
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find('\n', pos);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::string name;
    const size_t eq = line.find(" = ");
    if (eq != std::string::npos && line.find(' ') == eq) {
      name = line.substr(0, eq);
      line = line.substr(eq + 3);
    }
    std::string cmd;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '$') {
        cmd += line[i];
        continue;
      }
      size_t j = i + 1;
      while (j < line.size() && (std::isalnum(static_cast<unsigned char>(line[j])) || line[j] == '_')) ++j;
      const auto it = names.find(line.substr(i + 1, j - i - 1));
      if (it == names.end()) {
        failures.push_back("unknown name in: " + line);
        return false;
      }
      cmd += it->second;
      i = j - 1;
    }
    kept.emplace_back(new char[cmd.size() + 1]);
    std::memcpy(kept.back().get(), cmd.c_str(), cmd.size() + 1);
    char out[512];
    int capacity = sizeof out - 1;
    va_list none{};
    if (spcpp_run(SPCPP_TEXT, kept.back().get(), out, &capacity, none) != KV_OK) {
      failures.push_back("failed: " + cmd);
      return false;
    }
    if (!name.empty()) names[name] = std::string(out, static_cast<size_t>(capacity)).substr(0, std::string(out, capacity).find(' '));
  }
  return true;
}

std::string ref(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

template <class T>
T* named(const std::map<std::string, std::string>& names, const char* n) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(std::strtoull(names.at(n).c_str(), nullptr, 16)));
}

}  // namespace

TEST_F(PalResource, ResMapsTheArtworkAndCopiesItWithoutResizingTheWidget) {
  KV_Object* o = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal -res meter"), &o), KV_OK);
  std::unique_ptr<KV_Wid_Pal> p(static_cast<KV_Wid_Pal*>(o));
  ASSERT_EQ(p->source.width, 14);
  ASSERT_EQ(p->source.height, 144);
  EXPECT_EQ(p->picture.width, 14);
  EXPECT_EQ(p->picture.height, 144);
  EXPECT_NE(p->picture.pixels, p->source.pixels);
  EXPECT_EQ(0, std::memcmp(p->picture.pixels, p->source.pixels, 14 * 144 * 4));
  EXPECT_EQ(p->width, 0);
  EXPECT_EQ(p->height, 0);
  // The picture widget's own -res on a meter maps the shown picture onto the resource; the
  // meter then leaves it alone rather than write into the library's data, until its own -res.
  KV_Wid_Pal_Line l;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pic %o -res meter"), o), KV_OK);
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -ln %o -cg 0x00C00040 -ch g -mn 1 -mx 24 -fg -1 -level 1"), o, &l), KV_OK);
  EXPECT_EQ(l.scanned, 0);
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal %o -res meter -level 1"), o), KV_OK);
  EXPECT_EQ(l.scanned, 1);
  EXPECT_NE(p->picture.pixels, p->source.pixels);
  EXPECT_TRUE(reports.empty());
  // A name without a resource is reported and leaves nothing to recolour.
  KV_Object* q = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pal -res nosuchmeter -ln %o -level 0.5"), &q, &l), KV_OK);
  std::unique_ptr<KV_Wid_Pal> unnamed(static_cast<KV_Wid_Pal*>(q));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("nosuchmeter"), std::string::npos);
  EXPECT_EQ(unnamed->picture.pixels, nullptr);
}

TEST_F(PalResource, PalDemoComposesTheMeterLayoutAndWritesItAsPng) {
  size_t size = 0;
  const char* layout = static_cast<const char*>(KV_resource_sized("meter_layout", &size));
  ASSERT_NE(layout, nullptr);
  KV_Win_Picture win(120, 190);
  KV_Wid_Pal_Line left, right;
  std::map<std::string, std::string> names{{"win", ref(&win)}, {"left", ref(&left)}, {"right", ref(&right)}};
  std::vector<std::string> failures;
  ASSERT_TRUE(runLayout(std::string(layout, size).c_str(), names, failures)) << failures.front();
  ASSERT_TRUE(reports.empty()) << reports.front();
  win.paintRect(nullptr, KV_Rect{0, 0, 120, 190});

  KV_Wid_Pal* l = named<KV_Wid_Pal>(names, "l");
  KV_Wid_Pal* r = named<KV_Wid_Pal>(names, "r");
  KV_Wid_Pic* panel = named<KV_Wid_Pic>(names, "panel");
  EXPECT_EQ(panel->width, 120);
  EXPECT_EQ(left.level, 0.55f);
  EXPECT_EQ(right.level, 0.9f);
  // The screen at the middle of LED n (1 at the bottom) of a meter at x0.
  auto led = [&](int x0, int n) { return win.screen.row(24 + (24 - n) * 6 + 3)[x0 + 7]; };
  auto greenLit = [](KV_Pix_A32 p) { return p.g > 180 && p.r < 100; };
  auto redLit = [](KV_Pix_A32 p) { return p.r > 200 && p.g < 100; };
  auto unlit = [](KV_Pix_A32 p) { return p.r < 60 && p.g < 70 && p.b < 60; };
  // Left at 0.55: 24 * 0.55 + 1 = 14.2, so LEDs 1 ... 13 lit and 15 ... 24 not.
  EXPECT_TRUE(greenLit(led(40, 1)));
  EXPECT_TRUE(greenLit(led(40, 13)));
  EXPECT_TRUE(unlit(led(40, 15)));
  EXPECT_TRUE(unlit(led(40, 24)));
  // Right at 0.9: 22.6; from LED 19 on (t = 18 / 23 >= 0.75) in red, LED 22 six tenths of the
  // way from unlit to red, 23 and 24 not lit.
  EXPECT_TRUE(greenLit(led(66, 18)));
  EXPECT_TRUE(redLit(led(66, 19)));
  EXPECT_TRUE(redLit(led(66, 21)));
  EXPECT_FALSE(redLit(led(66, 22)));
  EXPECT_FALSE(unlit(led(66, 22)));
  EXPECT_GT(led(66, 22).r, 120);
  EXPECT_TRUE(unlit(led(66, 23)));
  EXPECT_TRUE(unlit(led(66, 24)));
  // Each meter shows its own recoloured copy: LED 1 of the left meter holds the lit green
  // 0xFF48D85A with the artwork's alpha, and is composed onto the panel under it. (The tile buffer
  // is not cleared between tiles, and the panel's alpha 254 lets 1/256 of what was there through,
  // so the screen is compared within one step per channel.)
  const KV_Pix_A32 art = l->source.row(24 * 6 - 3)[7];
  ASSERT_EQ(art.g, 1);
  const KV_Pix_A32 lit{0x5A, 0xD8, 0x48, static_cast<uint8_t>(255 * art.a / 255)};
  EXPECT_TRUE(same(l->picture.row(24 * 6 - 3)[7], lit));
  KV_Pix_A32 expect{0, 0, 0, 0};
  KV_blend_pixel(expect, panel->picture.row(24 + 24 * 6 - 3)[47]);
  KV_blend_pixel(expect, lit);
  const KV_Pix_A32 got = led(40, 1);
  EXPECT_LE(std::abs(got.b - expect.b), 1);
  EXPECT_LE(std::abs(got.g - expect.g), 1);
  EXPECT_LE(std::abs(got.r - expect.r), 1);
  EXPECT_NE(r->picture.pixels, l->picture.pixels);

  kvpic::Image shot(120, 190);
  std::memcpy(shot.bgra.data(), win.screen.pixels, shot.bgra.size());
  for (size_t i = 3; i < shot.bgra.size(); i += 4) shot.bgra[i] = 255;  // the screen shows it opaque
  const std::vector<uint8_t> png = kvpic::encodePNG(shot);
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png[19], 120);  // IHDR width, big-endian
  EXPECT_EQ(png[23], 190);
  EXPECT_TRUE(kvpic::writeFile("meter-demo.png", png));
  if (const char* extra = std::getenv("KV_METER_DEMO_PNG")) {
    EXPECT_TRUE(kvpic::writeFile(extra, png));
  }

  for (const char* n : {"r", "l", "panel"}) EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), named<KV_Object>(names, n)));
  EXPECT_EQ(win.widgets.count, 0);
}
