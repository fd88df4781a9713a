// Knob and button: value/frame mapping, bounds, dragging with re-anchoring, the receiver
// contract, the com call, hit testing on the current frame's alpha.
#include <gtest/gtest.h>

#include <vector>

#include "KV/Spcpp.h"
#include "KV/Wid/Butt.h"
#include "KV/Wid/Knob.h"
#include "KV/Win/Win.h"
#include "KV_cfuncs.h"
#include "kvpicture.h"

namespace {

struct RecordingWin : KV_Win {
  std::vector<KV_Rect> redraws;
  RecordingWin() : KV_Win(128, 128) {}
  void redraw(const KV_Rect& r) override { redraws.push_back(r); }
};

// A receiver that records what it was told.
struct Receiver : KV_value {
  int calls = 0;
  KV_Object* data = nullptr;
  void notify(KV_Object* d) override {
    ++calls;
    data = d;
  }
};

std::vector<KV_word> comCalls;
void recordCom(KV_word dat) { comCalls.push_back(dat); }

// `frames` frames of 8 x 8; in frame f only the pixels with x <= f % 8 are opaque.
std::vector<uint8_t> wedgeStrip(int frames) {
  std::vector<kvpic::Image> list;
  for (int f = 0; f < frames; ++f) {
    kvpic::Image img(8, 8);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        uint8_t* p = img.at(x, y);
        p[0] = static_cast<uint8_t>(f), p[1] = 1, p[2] = 2, p[3] = x <= f % 8 ? 200 : 127;
      }
    list.push_back(img);
  }
  return kvpic::encodeKVVF(list);
}

struct KnobTest : testing::Test {
  std::vector<uint8_t> strip = wedgeStrip(100);
  KV_Wid_Knob knob;
  static int quiet(const char*, const char*) { return 1; }
  void SetUp() override {
    KV_set_error_presenter(quiet);
    comCalls.clear();
    knob.width = knob.height = 8;
    knob.useResource("knob", strip.data(), strip.size());
    ASSERT_EQ(knob.strip.frames, 100u);
  }
  void TearDown() override { KV_set_error_presenter(nullptr); }
  float val(double v) {
    float out = 0;
    EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -val %f -val"), &knob, v, &out));
    return out;
  }
};
using KnobMapping = KnobTest;
using KnobDrag = KnobTest;

}  // namespace

TEST_F(KnobMapping, ValuesSelectFramesByTruncationAndReadBackAsFrameValues) {
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn 0 -mx 1"), &knob));
  const float half = val(0.5);
  EXPECT_EQ(knob.frame, 49);  // 49.5 truncated
  EXPECT_FLOAT_EQ(half, 49.0f / 99.0f);
  val(1.0);
  EXPECT_EQ(knob.frame, 99);
  val(0.0);
  EXPECT_EQ(knob.frame, 0);
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn -1 -mx 1"), &knob));
  val(0.0);
  EXPECT_EQ(knob.frame, 49);
  // A reversed range: frame 0 stands for the minimum, which is the larger number.
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn 0.9 -mx 0.1"), &knob));
  val(0.1);
  EXPECT_EQ(knob.frame, 99);
  val(0.9);
  EXPECT_EQ(knob.frame, 0);
  // Integers are accepted as well.
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn 0 -mx 99 -val %i"), &knob, 42));
  EXPECT_EQ(knob.frame, 42);
}

TEST_F(KnobMapping, NewBoundsKeepTheShownValueAsFarAsTheyAllow) {
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn 0 -mx 99 -val 30"), &knob));
  ASSERT_EQ(knob.frame, 30);
  float mx = 0;
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mx 198 -mx"), &knob, &mx));
  EXPECT_FLOAT_EQ(mx, 198.0f);
  EXPECT_EQ(knob.frame, 15);  // 30 of 0 ... 198
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn 30"), &knob));
  EXPECT_EQ(knob.frame, 0);
  // Equal bounds select frame 0.
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn 5 -mx 5 -val 70"), &knob));
  EXPECT_EQ(knob.frame, 0);
}

TEST_F(KnobMapping, RefreshNeedsAWindowAStripAndAFrameInRangeThenCallsCom) {
  RecordingWin win;
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn 0 -mx 99 -com %o -dat %o"), &knob, &recordCom, reinterpret_cast<void*>(0x1234)));
  val(10);
  EXPECT_TRUE(comCalls.empty());  // not attached
  knob.attach(&win);
  val(20);
  ASSERT_EQ(win.redraws.size(), 1u);
  EXPECT_EQ(win.redraws[0].right, 8);
  ASSERT_EQ(comCalls.size(), 1u);
  EXPECT_EQ(comCalls[0], 0x1234);
  // Outside the range: a frame outside the strip, neither repainted nor reported.
  val(150);
  EXPECT_EQ(knob.frame, 150);
  EXPECT_EQ(win.redraws.size(), 1u);
  EXPECT_EQ(comCalls.size(), 1u);
  EXPECT_FALSE(knob.hits(0, 0));
  // Without a strip a value is dropped.
  KV_Wid_Knob bare;
  bare.frame = 3;
  bare.setValue(50.0f);
  EXPECT_EQ(bare.frame, 3);
  knob.attach(nullptr);
}

TEST_F(KnobDrag, OnePixelPerFrameOnBothAxesWithReanchoringAtTheLimits) {
  knob.frame = 40;
  knob.mouseDown(10, 10);
  knob.mouseDrag(40, 20);  // 30 right, 10 down
  EXPECT_EQ(knob.frame, 60);
  knob.mouseDrag(10, 0);  // 10 up
  EXPECT_EQ(knob.frame, 50);
  knob.mouseDrag(10, 500);  // far below the minimum
  EXPECT_EQ(knob.frame, 0);
  EXPECT_EQ(knob.anchorY, 500);
  knob.mouseDrag(10, 495);  // back up by 5: at once
  EXPECT_EQ(knob.frame, 5);
  knob.mouseDrag(300, 495);
  EXPECT_EQ(knob.frame, 99);
  knob.mouseDrag(298, 495);
  EXPECT_EQ(knob.frame, 97);
}

TEST_F(KnobDrag, AtScaleTwoAFrameTakesTwoPixelsAlikeInBothDirections) {
  int32_t scale = 0;
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -scale 0 -scale 9 -scale"), &knob, &scale));  // out of range: kept
  EXPECT_EQ(scale, 1);
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -scale 2"), &knob));
  knob.frame = 40;
  knob.mouseDown(10, 10);
  knob.mouseDrag(40, 20);  // 30 right, 10 down: 20 pixels
  EXPECT_EQ(knob.frame, 50);
  knob.mouseDrag(11, 10);  // one pixel: no whole step
  EXPECT_EQ(knob.frame, 40);
  knob.mouseDrag(9, 10);
  EXPECT_EQ(knob.frame, 40);
  knob.mouseDrag(7, 10);  // three back: one step
  EXPECT_EQ(knob.frame, 39);
  knob.mouseDrag(10, 500);  // far below the minimum, then back up by 10
  EXPECT_EQ(knob.frame, 0);
  knob.mouseDrag(10, 490);
  EXPECT_EQ(knob.frame, 5);
}

TEST_F(KnobDrag, AReceiverGetsTheNewValueAndTheKnobDoesNotRedraw) {
  RecordingWin win;
  knob.attach(&win);
  Receiver r;
  r.type = KV_INT;
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn 0 -mx 1 -var %o -dat %o -com %o"), &knob, &r, reinterpret_cast<void*>(0x77),
        &recordCom));
  win.redraws.clear();  // the new bounds repainted it
  comCalls.clear();
  knob.frame = 0;
  knob.mouseDown(0, 0);
  knob.mouseDrag(33, 0);
  EXPECT_EQ(r.calls, 1);
  EXPECT_EQ(r.type, KV_INT);  // the type stays as it was
  EXPECT_FLOAT_EQ(r.asFloat(), 33.0f / 99.0f);
  EXPECT_EQ(r.data, reinterpret_cast<KV_Object*>(0x77));
  EXPECT_TRUE(win.redraws.empty());
  EXPECT_TRUE(comCalls.empty());
  // Without a receiver the knob refreshes itself and calls com.
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -var 0"), &knob));
  knob.mouseDrag(34, 0);
  EXPECT_EQ(r.calls, 1);
  EXPECT_EQ(win.redraws.size(), 1u);
  EXPECT_EQ(comCalls.size(), 1u);
  knob.attach(nullptr);
}

TEST_F(KnobMapping, HitsFollowTheAlphaOfTheCurrentFrame) {
  knob.frame = 2;  // x <= 2 opaque (200), the rest 127
  EXPECT_TRUE(knob.hits(2, 5));
  EXPECT_FALSE(knob.hits(3, 5));
  knob.frame = 7;
  EXPECT_TRUE(knob.hits(7, 0));
  EXPECT_FALSE(knob.hits(8, 0));  // outside the frame
}

namespace {
struct ButtTest : testing::Test {
  std::vector<uint8_t> strip = wedgeStrip(2);  // frame 0: x = 0 opaque; frame 1: x <= 1
  KV_Wid_Butt butt;
  RecordingWin win;
  void SetUp() override {
    comCalls.clear();
    butt.width = butt.height = 8;
    butt.useResource("but", strip.data(), strip.size());
    butt.com = recordCom;
    butt.dat = 9;
    butt.attach(&win);
  }
  void TearDown() override { butt.attach(nullptr); }
  float val(int v) {
    float out = -1;
    EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Butt %o -val %i -val"), &butt, v, &out));
    return out;
  }
};
using ButtToggle = ButtTest;
}  // namespace

TEST_F(ButtToggle, APressWithoutReceiverTogglesRefreshesAndCallsCom) {
  EXPECT_FALSE(butt.hits(1, 1));
  butt.mouseDown(0, 0);
  EXPECT_EQ(butt.state, 1);
  EXPECT_EQ(butt.shownFrame, 1);
  EXPECT_TRUE(butt.hits(1, 1));
  ASSERT_EQ(win.redraws.size(), 1u);
  ASSERT_EQ(comCalls.size(), 1u);
  EXPECT_EQ(comCalls[0], 9);
  butt.mouseDrag(5, 5);
  butt.mouseUp();
  EXPECT_EQ(butt.state, 1);
  butt.mouseDown(0, 0);
  EXPECT_EQ(butt.state, 0);
  EXPECT_EQ(comCalls.size(), 2u);
}

TEST_F(ButtToggle, AReceiverIsAskedAndTheOwnerAnswersWithVal) {
  Receiver r;
  r.type = KV_FLOAT;
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Butt %o -var %o"), &butt, &r));
  butt.mouseDown(0, 0);
  EXPECT_EQ(r.calls, 1);
  EXPECT_EQ(r.val, 1);  // an integer, the type untouched
  EXPECT_EQ(r.type, KV_FLOAT);
  EXPECT_EQ(r.data, reinterpret_cast<KV_Object*>(9));
  EXPECT_EQ(butt.state, 0);
  EXPECT_TRUE(win.redraws.empty());
  EXPECT_TRUE(comCalls.empty());
  EXPECT_EQ(val(r.asInt()), 1.0f);
  EXPECT_EQ(win.redraws.size(), 1u);
  EXPECT_EQ(comCalls.size(), 1u);
  butt.mouseDown(0, 0);
  EXPECT_EQ(r.val, 0);
}

TEST_F(ButtToggle, SettingTheCurrentStateDoesNothingAndAnyNonZeroSwitchesOn) {
  EXPECT_EQ(val(0), 0.0f);
  EXPECT_TRUE(win.redraws.empty());
  EXPECT_TRUE(comCalls.empty());
  EXPECT_EQ(val(-3), 1.0f);
  EXPECT_EQ(val(5), 1.0f);
  EXPECT_EQ(win.redraws.size(), 1u);
  EXPECT_EQ(comCalls.size(), 1u);
  float out = -1;
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Butt %o -val 0.0 -val"), &butt, &out));
  EXPECT_EQ(out, 0.0f);
}

TEST(ButtCommand, CreatedByItsCommandWithTheBaseOptions) {
  KV_set_error_presenter([](const char*, const char*) { return 1; });
  KV_Object* b = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Butt -l 3 -t 4 -w 40 -h 24 -res nosuchstrip"), &b), KV_OK);
  KV_Wid_Butt* butt = static_cast<KV_Wid_Butt*>(b);
  EXPECT_EQ(butt->left, 3);
  EXPECT_EQ(butt->height, 24);
  EXPECT_STREQ(butt->resourceName, "nosuchstrip");
  EXPECT_EQ(butt->strip.frames, 0u);
  KV_Object* k = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Knob -mn -1"), &k), KV_OK);
  float mn = 0, mx = 0;
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("KV_Wid_Knob %o -mn -mx"), k, &mn, &mx));
  EXPECT_EQ(mn, -1.0f);
  EXPECT_EQ(mx, 100.0f);
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), k));
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), b));
  KV_set_error_presenter(nullptr);
}
