// The text widget on this platform's drawing (GDI or FreeType): lazy rendering, the opaque-ink
// rule, alignment, and the options that do or do not redraw.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "KV/Spcpp.h"
#include "KV/Wid/Text.h"
#include "KV/Win/Win.h"

namespace {

// A face every platform here has: DejaVu through fontconfig, Arial through Wine's substitutes.
#if defined(_WIN32)
const char* const KV_Wid_Text_test_face = "Arial";
#else
const char* const KV_Wid_Text_test_face = "DejaVu Sans";
#endif

// The ink of a rendered text: its bounding box and what the pixels hold.
struct Ink {
  int32_t left = INT32_MAX, right = -1, top = INT32_MAX, bottom = -1;
  int opaque = 0, transparent = 0, other = 0;
  uint8_t brightest = 0;
};

Ink inkOf(const KV_Pic_Base<KV_Pix_A32>& pic) {
  Ink k;
  for (int32_t y = 0; y < pic.height; ++y)
    for (int32_t x = 0; x < pic.width; ++x) {
      const KV_Pix_A32& p = pic.row(y)[x];
      const bool zero = (p.b | p.g | p.r | p.a) == 0;
      if (zero) {
        ++k.transparent;
        continue;
      }
      if (p.a == 255) ++k.opaque;
      else ++k.other;
      if (p.r > k.brightest) k.brightest = p.r;
      k.left = std::min(k.left, x), k.right = std::max(k.right, x);
      k.top = std::min(k.top, y), k.bottom = std::max(k.bottom, y);
    }
  return k;
}

class Text : public testing::Test {
 protected:
  KV_Win win{200, 64};
  KV_Wid_Text* text = nullptr;
  KV_Pic<KV_Pix_A32> target;

  void make(const char* options) {
    std::string command = std::string("KV_Wid_Text -w 120 -h 24 ") + options;
    ASSERT_EQ(spcpp(command.data(), &text), KV_OK);
    text->attach(&win);
    target.resize(120, 24);
  }
  // Paints the whole widget, as the window does, and answers the widget's own picture's ink.
  Ink paint() {
    text->paint(target, 0, 0, KV_Rect{0, 0, text->width, text->height});
    return inkOf(text->picture);
  }
  void TearDown() override {
    if (text) {
      EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), text));
    }
  }
};

TEST_F(Text, DefaultsDrawTestStringInWhiteCentredWithOnlyOpaqueInk) {
  make("");
  EXPECT_STREQ(text->text, "test string");
  const Ink k = paint();
  ASSERT_GT(k.opaque, 40);
  EXPECT_EQ(k.other, 0);  // every pixel is either transparent or opaque
  EXPECT_EQ(k.brightest, 255);
  // Centred both ways, within a couple of pixels of rounding and glyph bearings.
  EXPECT_NEAR(k.left, 119 - k.right, 3);
  EXPECT_NEAR(k.top, 23 - k.bottom, 4);
  EXPECT_EQ(text->rendered, text->text);
}

TEST_F(Text, BlackTextLeavesEveryPixelTransparent) {
  make("-color 0");
  const Ink k = paint();
  EXPECT_EQ(k.opaque + k.other, 0);
  EXPECT_EQ(k.transparent, 120 * 24);
}

TEST_F(Text, AlignmentPutsTheInkAtTheLeftOrTheRight) {
  make("-horz -1");
  const Ink left = paint();
  EXPECT_LE(left.left, 2);
  EXPECT_GT(119 - left.right, 20);

  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Text %o -horz 5 -text %s"), text, "test string"));  // a new pointer: drawn again
  const Ink right = paint();
  EXPECT_GE(right.right, 116);
  EXPECT_GT(right.left, 20);
  EXPECT_NEAR(right.right - right.left, left.right - left.left, 1);
}

TEST_F(Text, ANewTextIsDrawnAtTheNextPaintButAColourAloneIsNot) {
  static const char first[] = "abc";
  static const char second[] = "abcdefgh";
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Text -w 120 -h 24 -text %s"), &text, first), KV_OK);
  text->attach(&win);
  target.resize(120, 24);
  const Ink a = paint();
  ASSERT_GT(a.opaque, 0);

  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Text %o -color 0x000000FF"), text));  // red, but not drawn yet
  const Ink still = paint();
  EXPECT_EQ(still.opaque, a.opaque);
  EXPECT_EQ(still.brightest, a.brightest);
  EXPECT_EQ(text->picture.row(a.top)[a.left].g, text->picture.row(a.top)[a.left].r);  // still grey-white

  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Text %o -text %s"), text, second));
  const Ink b = paint();
  EXPECT_GT(b.right - b.left, a.right - a.left);  // the longer text, now in red
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 120; ++x) EXPECT_EQ(text->picture.row(y)[x].g, 0);
}

TEST_F(Text, OptionsAnswerTheirValuesAndAFaceWithoutASizeMakesNoFont) {
  make("");
  const char* face = nullptr;
  int32_t bold = -1;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Text %o -font %s -font -bold 7 -bold"), text, "DejaVu Sans", &face, &bold), KV_OK);
  EXPECT_STREQ(face, "DejaVu Sans");
  EXPECT_EQ(bold, 1);  // stored as 0 or 1
  EXPECT_EQ(text->font, nullptr);  // no size yet: no font

  int32_t size = 0;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Text %o -size 20 -size"), text, &size), KV_OK);
  EXPECT_EQ(size, 20);
  ASSERT_NE(text->font, nullptr);
  const Ink big = paint();

  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Text %o -size 9 -text %s"), text, "test string"));
  const Ink small = paint();
  EXPECT_GT(big.bottom - big.top, small.bottom - small.top);
  EXPECT_GT(big.right - big.left, small.right - small.left);
}

// At scale 2 the text is drawn with its font at twice the size, the default font as a given one;
// back at scale 1 it is drawn as before.
TEST_F(Text, ScaleTwoDrawsTheFontAtTwiceItsSizeAndScaleOneAsBefore) {
  for (int faced = 0; faced < 2; ++faced) {
    if (faced) ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Text -w 120 -h 24 -text Mx -font %s -size 11"), &text, KV_Wid_Text_test_face), KV_OK);
    else ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Text -w 120 -h 24 -text Mx"), &text), KV_OK);
    text->attach(&win);
    target.resize(120, 24);
    const Ink one = paint();
    ASSERT_GT(one.opaque, 10) << faced;
    EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Text %o -w 240 -h 48 -scale 2"), text));
    EXPECT_EQ(text->scale, 2);
    target.resize(240, 48);
    const Ink two = paint();
    const double w1 = one.right - one.left + 1, h1 = one.bottom - one.top + 1;
    EXPECT_NEAR((two.right - two.left + 1) / w1, 2.0, 0.3) << faced;
    EXPECT_NEAR((two.bottom - two.top + 1) / h1, 2.0, 0.3) << faced;
    EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Text %o -w 120 -h 24 -scale 1"), text));
    target.resize(120, 24);
    const Ink again = paint();
    EXPECT_EQ(again.left, one.left) << faced;
    EXPECT_EQ(again.right, one.right) << faced;
    EXPECT_EQ(again.top, one.top) << faced;
    EXPECT_EQ(again.opaque, one.opaque) << faced;
    EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), text));
    text = nullptr;
  }
}

TEST(TextAlone, AWidgetOutsideAWindowDrawsNothing) {
  KV_Wid_Text* t = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Text -w 50 -h 10"), &t), KV_OK);
  KV_Pic<KV_Pix_A32> target;
  target.resize(50, 10);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 50; ++x) target.row(y)[x] = KV_Pix_A32{1, 2, 3, 4};
  t->paint(target, 0, 0, KV_Rect{0, 0, 50, 10});
  EXPECT_EQ(t->picture.pixels, nullptr);
  EXPECT_EQ(t->rendered, nullptr);
  EXPECT_EQ(target.row(5)[25].r, 3);
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), t));
}

}  // namespace
