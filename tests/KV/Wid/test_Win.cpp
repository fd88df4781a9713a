// The portable window: tile geometry, composition with the highlight and disabled factors, the
// paint lock, hover, capture and the press/drag/release path.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "KV/Wid/Butt.h"
#include "KV/Wid/Knob.h"
#include "KV/Wid/Pic.h"
#include "KV/Win/Win.h"
#include "KV/Win/Win_Picture.h"
#include "KV_cfuncs.h"
#include "kvpicture.h"

namespace {

bool samePix(const KV_Pix_A32& p, const KV_Pix_A32& q) { return std::memcmp(&p, &q, 4) == 0; }

// A window whose redraw paints at once and whose screen is a picture of its own size.
struct ScreenWin : KV_Win {
  struct Shown {
    int32_t sx, sy;
    KV_Rect dest;
  };
  std::vector<KV_Rect> redraws;
  std::vector<Shown> shown;
  std::vector<KV_Pix_A32> screen;

  ScreenWin(int32_t w, int32_t h) : KV_Win(w, h), screen(static_cast<size_t>(w) * h, KV_Pix_A32{0, 0, 0, 0}) {}
  void redraw(const KV_Rect& r) override {
    redraws.push_back(r);
    paintRect(nullptr, r);
  }
  void showTile(KV_Surface, int32_t sx, int32_t sy, const KV_Rect& d) override {
    shown.push_back({sx, sy, d});
    for (int32_t y = d.top; y < d.bottom && y < height; ++y)
      for (int32_t x = d.left; x < d.right && x < width; ++x)
        screen[static_cast<size_t>(y) * width + x] = tilePic.row(sy + y - d.top)[sx + x - d.left];
  }
  KV_Pix_A32 at(int32_t x, int32_t y) const { return screen[static_cast<size_t>(y) * width + x]; }
};

// A widget that fills what it paints with one colour and records the mouse calls it receives.
struct Probe : KV_Wid {
  KV_Pix_A32 colour;
  std::vector<std::string> log;
  explicit Probe(KV_Pix_A32 c, int32_t l, int32_t t, int32_t w, int32_t h) : colour(c) {
    left = l;
    top = t;
    width = w;
    height = h;
  }
  void paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& s) override {
    for (int32_t i = 0; i < s.bottom - s.top; ++i)
      for (int32_t j = 0; j < s.right - s.left; ++j) KV_blend_pixel(target.row(y + i)[x + j], colour);
  }
  void mouseDown(int32_t x, int32_t y) override { log.push_back("down " + std::to_string(x) + "," + std::to_string(y)); }
  void mouseDrag(int32_t x, int32_t y) override { log.push_back("drag " + std::to_string(x) + "," + std::to_string(y)); }
  void mouseUp() override { log.push_back("up"); }
};

// Solid frames of w x h in colour (b, g, r) whose top-left 4 x 4 cell is transparent.
std::vector<uint8_t> roundStrip(int w, int h, int frames, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  std::vector<kvpic::Image> list;
  for (int f = 0; f < frames; ++f) {
    kvpic::Image img(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = img.at(x, y);
        const bool corner = x < 4 && y < 4;
        p[0] = b, p[1] = g, p[2] = r, p[3] = corner ? 0 : a;
      }
    list.push_back(img);
  }
  return kvpic::encodeKVVF(list);
}

struct QuietReports : testing::Test {
  static int quiet(const char*, const char*) { return 1; }
  void SetUp() override { KV_set_error_presenter(quiet); }
  void TearDown() override { KV_set_error_presenter(nullptr); }
};

// A 16 x 16 knob over `strip` in the window's corner, attached, at frame 50.
void attachKnobAtFifty(KV_Wid_Knob& knob, const std::vector<uint8_t>& strip, KV_Win& win) {
  knob.width = 16, knob.height = 16;
  knob.useResource("knob", strip.data(), strip.size());
  knob.attach(&win);
  knob.frame = 50;
}

using WinPaintQuiet = QuietReports;
using WinMouseQuiet = QuietReports;

}  // namespace

TEST(WinTiles, ColumnsAndRowsRoundUpToWholeTiles) {
  KV_Win a(460, 260);
  EXPECT_EQ(a.columns, 8);
  EXPECT_EQ(a.rows, 5);
  EXPECT_EQ(a.tileSize, 64);
  KV_Win b(64, 65);
  EXPECT_EQ(b.columns, 1);
  EXPECT_EQ(b.rows, 2);
  KV_Win c(172, 238);
  EXPECT_EQ(c.columns, 3);
  EXPECT_EQ(c.rows, 4);
  // Both buffers are one tile large, whatever the window's size.
  EXPECT_EQ(a.tilePic.width, 64);
  EXPECT_EQ(a.tilePic.height, 64);
  EXPECT_EQ(a.scratch.width, 64);
  EXPECT_EQ(a.scratch.height, 64);
}

TEST(WinPaint, ARequestBeyondTheWindowIsLimitedToTheExistingTilesBottomRowFirst) {
  ScreenWin win(100, 70);  // 2 x 2 tiles
  win.paintRect(nullptr, KV_Rect{10, 5, 1000, 1000});
  ASSERT_EQ(win.shown.size(), 4u);
  // Rows from the last up, columns left to right; each copy is the tile clipped to the request.
  EXPECT_EQ(win.shown[0].dest.left, 10);
  EXPECT_EQ(win.shown[0].dest.top, 64);
  EXPECT_EQ(win.shown[0].sx, 10);
  EXPECT_EQ(win.shown[0].sy, 0);
  EXPECT_EQ(win.shown[1].dest.left, 64);
  EXPECT_EQ(win.shown[1].dest.top, 64);
  EXPECT_EQ(win.shown[1].dest.right, 128);
  EXPECT_EQ(win.shown[2].dest.left, 10);
  EXPECT_EQ(win.shown[2].dest.top, 5);
  EXPECT_EQ(win.shown[2].sy, 5);
  EXPECT_EQ(win.shown[2].dest.bottom, 64);
  EXPECT_EQ(win.shown[3].dest.left, 64);
  EXPECT_EQ(win.shown[3].dest.top, 5);
  // A request inside one tile touches that tile only.
  win.shown.clear();
  win.paintRect(nullptr, KV_Rect{70, 10, 80, 20});
  ASSERT_EQ(win.shown.size(), 1u);
  EXPECT_EQ(win.shown[0].sx, 6);
  EXPECT_EQ(win.shown[0].sy, 10);
  EXPECT_EQ(win.shown[0].dest.right, 80);
}

TEST(WinPaint, LaterWidgetsAreDrawnOnTopAndHiddenOnesNotAtAll) {
  ScreenWin win(128, 64);
  Probe back({10, 20, 30, 255}, 0, 0, 128, 64);
  Probe front({200, 0, 0, 255}, 60, 10, 10, 10);
  Probe hidden({0, 0, 200, 255}, 0, 0, 20, 20);
  hidden.visible = 0;
  back.attach(&win);
  front.attach(&win);
  hidden.attach(&win);
  win.paintRect(nullptr, KV_Rect{0, 0, 128, 64});
  // 255 leaves 1/256 of the old colour: 10 + ((200 - 10) * 255 >> 8) = 199.
  EXPECT_TRUE(samePix(win.at(65, 15), KV_Pix_A32{199, 0, 0, 254}));
  EXPECT_TRUE(samePix(win.at(61, 11), KV_Pix_A32{199, 0, 0, 254}));
  EXPECT_EQ(win.at(59, 15).b, 9);  // 0 + 10 * 255 >> 8: the background only
  EXPECT_EQ(win.at(5, 5).r, 29);   // the hidden widget draws nothing
  EXPECT_EQ(win.at(5, 5).b, 9);
}

TEST(WinPicture, TheScreenHoldsWhatARedrawComposesAndNothingBeyondTheWindowReachesIt) {
  KV_Win_Picture win(100, 70);  // the right and bottom tiles stick out of the window
  Probe back({10, 20, 30, 255}, 0, 0, 100, 70);
  Probe edge({200, 0, 0, 255}, 0, 0, 10, 70);
  back.attach(&win);
  edge.attach(&win);
  win.redraw(KV_Rect{-5, -5, 1000, 1000});
  ASSERT_EQ(win.screen.width, 100);
  ASSERT_EQ(win.screen.height, 70);
  EXPECT_TRUE(samePix(win.screen.row(69)[99], KV_Pix_A32{9, 19, 29, 254}));
  // The right tiles' parts outside the window would land on the next rows' left edge.
  for (int32_t y : {0, 10, 63, 69}) EXPECT_TRUE(samePix(win.screen.row(y)[0], KV_Pix_A32{199, 0, 0, 254})) << y;
}

TEST(WinPaint, TheEmphasisFactorsScaleAlphaOrBrightenTheColours) {
  KV_Pix_A32 p{100, 200, 50, 100};
  KV_emphasize(p, 1.5);
  EXPECT_TRUE(samePix(p, KV_Pix_A32{100, 200, 50, 150}));
  p = {100, 200, 50, 170};  // 255 exactly: still scaled
  KV_emphasize(p, 1.5);
  EXPECT_TRUE(samePix(p, KV_Pix_A32{100, 200, 50, 255}));
  p = {100, 200, 51, 171};  // 256.5: colours brightened, capped at 255, alpha kept
  KV_emphasize(p, 1.5);
  EXPECT_TRUE(samePix(p, KV_Pix_A32{150, 255, 76, 171}));
  p = {1, 2, 3, 254};
  KV_emphasize(p, 0.4);  // 101.6 truncated
  EXPECT_TRUE(samePix(p, KV_Pix_A32{1, 2, 3, 101}));
  p = {1, 2, 3, 5};
  KV_emphasize(p, 0.4);
  EXPECT_EQ(p.a, 2);
}

TEST(WinPaint, ADisabledWidgetIsComposedThroughTheScratchAtFortyPercent) {
  ScreenWin win(64, 64);
  Probe back({10, 20, 30, 255}, 0, 0, 64, 64);
  Probe faded({200, 100, 0, 250}, 8, 8, 8, 8);
  faded.enabled = 0;
  back.attach(&win);
  faded.attach(&win);
  // Leave garbage in the scratch: its area must be cleared before the widget paints.
  for (int32_t i = 0; i < 64 * 64; ++i) win.scratch.pixels[i] = KV_Pix_A32{77, 77, 77, 77};
  win.paintRect(nullptr, KV_Rect{0, 0, 64, 64});
  // Background: 0 + (c * 255 >> 8) -> (9, 19, 29, 254).
  EXPECT_TRUE(samePix(win.at(0, 0), KV_Pix_A32{9, 19, 29, 254}));
  // Scratch: (195, 97, 0, 244); alpha 244 * 0.4 = 97.6 -> 97; then blended onto the background:
  // 9 + (186 * 97 >> 8) = 79, 19 + (78 * 97 >> 8) = 48, 29 + (-29 * 97 >> 8) = 29 - 11 = 18,
  // 254 + (-157 * 97 >> 8) = 254 - 60 = 194.
  EXPECT_TRUE(samePix(win.at(8, 8), KV_Pix_A32{79, 48, 18, 194}));
  EXPECT_TRUE(samePix(win.at(15, 15), KV_Pix_A32{79, 48, 18, 194}));
  EXPECT_TRUE(samePix(win.at(16, 16), KV_Pix_A32{9, 19, 29, 254}));
}

TEST_F(WinPaintQuiet, AHoveredKnobIsDrawnAtOneAndAHalfTimesItsAlpha) {
  ScreenWin win(64, 64);
  Probe back({0, 0, 0, 255}, 0, 0, 64, 64);
  std::vector<uint8_t> strip = roundStrip(16, 16, 2, 100, 100, 100, 150);
  KV_Wid_Knob knob;
  knob.left = 16, knob.top = 16, knob.width = 16, knob.height = 16;
  knob.useResource("knob", strip.data(), strip.size());
  back.attach(&win);
  knob.attach(&win);
  win.paintRect(nullptr, KV_Rect{0, 0, 64, 64});
  // Plain: 0 + (100 * 150 >> 8) = 58.
  EXPECT_EQ(win.at(24, 24).b, 58);
  win.mouseMove(24, 24);
  ASSERT_EQ(win.hovered, &knob);
  // Scratch (58, 58, 58, 87) -> alpha 130.5 -> 130; 0 + (58 * 130 >> 8) = 29, and alpha
  // 254 + (-124 * 130 >> 8) = 254 - 63.
  EXPECT_EQ(win.at(24, 24).b, 29);
  EXPECT_EQ(win.at(24, 24).a, 191);
  // Moving off repaints it plainly again.
  win.mouseMove(2, 2);
  EXPECT_EQ(win.at(24, 24).b, 58);
}

TEST(WinPaint, PaintingIsSkippedWhenTheLockStaysTakenForASecond) {
  ScreenWin win(64, 64);
  std::thread holder([&] {
    std::lock_guard<std::mutex> hold(win.paintLock);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = std::chrono::steady_clock::now();
  win.paintRect(nullptr, KV_Rect{0, 0, 64, 64});
  const auto waited = std::chrono::steady_clock::now() - start;
  holder.join();
  EXPECT_TRUE(win.shown.empty());
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  win.paintRect(nullptr, KV_Rect{0, 0, 64, 64});
  EXPECT_EQ(win.shown.size(), 1u);
}

TEST_F(WinMouseQuiet, HoverFollowsKnobsAndButtonsOnly) {
  ScreenWin win(128, 64);
  KV_Wid_Pic back;
  back.width = 128, back.height = 64;
  std::vector<uint8_t> strip = roundStrip(16, 16, 2, 50, 50, 50, 254);
  KV_Wid_Knob knob;
  knob.left = 10, knob.top = 10, knob.width = 16, knob.height = 16;
  knob.useResource("knob", strip.data(), strip.size());
  KV_Wid_Butt butt;
  butt.left = 70, butt.top = 10, butt.width = 16, butt.height = 16;
  butt.useResource("but", strip.data(), strip.size());
  struct OwnKnob : KV_Wid_Knob {} derived;
  derived.left = 40, derived.top = 40, derived.width = 16, derived.height = 16;
  derived.useResource("knob", strip.data(), strip.size());
  for (KV_Wid* w : std::vector<KV_Wid*>{&back, &knob, &butt, &derived}) w->attach(&win);

  win.mouseMove(5, 5);  // the background picture is not highlighted
  EXPECT_EQ(win.hovered, nullptr);
  EXPECT_TRUE(win.redraws.empty());
  win.mouseMove(20, 20);
  EXPECT_EQ(win.hovered, &knob);
  ASSERT_EQ(win.redraws.size(), 1u);
  EXPECT_EQ(win.redraws[0].left, 10);
  EXPECT_EQ(win.redraws[0].right, 26);
  win.mouseMove(21, 22);  // within the same knob: nothing repainted
  EXPECT_EQ(win.redraws.size(), 1u);
  win.mouseMove(11, 11);  // its transparent corner belongs to the picture below
  EXPECT_EQ(win.hovered, nullptr);
  ASSERT_EQ(win.redraws.size(), 2u);
  EXPECT_EQ(win.redraws[1].left, 10);
  win.mouseMove(20, 20);
  win.mouseMove(75, 20);  // knob to button: the old one unlit first, then the new one lit
  EXPECT_EQ(win.hovered, &butt);
  ASSERT_EQ(win.redraws.size(), 5u);
  EXPECT_EQ(win.redraws[3].left, 10);
  EXPECT_EQ(win.redraws[4].left, 70);
  win.mouseMove(45, 45);  // a class derived from the knob does not count
  EXPECT_EQ(win.hovered, nullptr);
  // Positions outside the window are clamped: (-5, 1000) looks at (0, 63), the background.
  win.mouseMove(20, 20);
  win.mouseMove(-5, 1000);
  EXPECT_EQ(win.hovered, nullptr);
}

TEST_F(WinMouseQuiet, APressOnADisabledKnobReachesNoWidget) {
  ScreenWin win(64, 64);
  std::vector<uint8_t> strip = roundStrip(16, 16, 100, 50, 50, 50, 254);
  KV_Wid_Knob knob;
  attachKnobAtFifty(knob, strip, win);
  win.mouseMove(8, 8);
  ASSERT_EQ(win.hovered, &knob);
  knob.enabled = 0;
  knob.anchorX = -77;
  win.mouseDown(8, 8);
  EXPECT_EQ(win.capture, nullptr);
  EXPECT_EQ(knob.anchorX, -77);
  win.mouseMove(15, 2);  // no drag follows
  win.mouseUp();
  EXPECT_EQ(knob.frame, 50);
}

TEST_F(WinMouseQuiet, ADragOutsideTheWindowReachesTheCapturedKnobUnclamped) {
  ScreenWin win(100, 100);
  std::vector<uint8_t> strip = roundStrip(16, 16, 100, 50, 50, 50, 254);
  KV_Wid_Knob knob;
  attachKnobAtFifty(knob, strip, win);
  win.mouseMove(10, 10);
  win.mouseDown(10, 10);
  ASSERT_EQ(win.capture, &knob);
  EXPECT_EQ(knob.anchorX, 10);
  EXPECT_EQ(knob.anchorFrame, 50);
  win.mouseMove(-20, 10);  // 30 pixels left of the anchor; clamped it would be 10
  EXPECT_EQ(knob.frame, 20);
  win.mouseMove(-20, 5);  // up turns up
  EXPECT_EQ(knob.frame, 25);
  // Leaving the window ends the drag but keeps the highlight.
  win.mouseLeave();
  EXPECT_EQ(win.capture, nullptr);
  EXPECT_EQ(win.hovered, &knob);
  win.mouseMove(14, 10);
  EXPECT_EQ(knob.frame, 25);
}

TEST(WinMouse, ReleaseEndsTheDragAndCallsTheCapturedWidgetOnce) {
  ScreenWin win(64, 64);
  Probe p({0, 0, 0, 255}, 5, 6, 20, 20);
  p.attach(&win);
  win.hovered = &p;  // a probe stands in for a highlighted control
  win.mouseDown(10, 10);
  win.mouseMove(100, -3);
  win.mouseUp();
  win.mouseUp();
  win.mouseMove(7, 7);
  ASSERT_EQ(p.log.size(), 3u);
  EXPECT_EQ(p.log[0], "down 5,4");
  EXPECT_EQ(p.log[1], "drag 95,-9");
  EXPECT_EQ(p.log[2], "up");
}

TEST(WinHit, WidgetAtSearchesTheTileFromTheLatestWidget) {
  KV_Win win(128, 128);
  Probe a({0, 0, 0, 255}, 0, 0, 100, 100), b({0, 0, 0, 255}, 50, 50, 30, 30);
  a.attach(&win);
  b.attach(&win);
  EXPECT_EQ(win.widgetAt(60, 60), &b);
  EXPECT_EQ(win.widgetAt(70, 70), &b);
  EXPECT_EQ(win.widgetAt(49, 60), &a);
  EXPECT_EQ(win.widgetAt(80, 60), &a);  // right edge is exclusive
  EXPECT_EQ(win.widgetAt(110, 110), nullptr);
  EXPECT_EQ(win.widgetAt(-1, 0), nullptr);
  EXPECT_EQ(win.widgetAt(128, 0), nullptr);
}
