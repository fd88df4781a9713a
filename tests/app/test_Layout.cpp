// The editor's layout: the 32 widgets, their places and pictures, the controls' first positions,
// attach and detach in slot order, the button greying the controls, a knob drag reaching the
// effects, and the deletion order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "KV/Effect/Freqmul.h"
#include "KV/Spcpp.h"
#include "KV/Wid/Butt.h"
#include "KV/Wid/Knob.h"
#include "KV/Wid/Pic.h"
#include "KV/Wid/Text.h"
#include "KV/Win/Win.h"
#include "app/KV_Application.h"

namespace {

class Layout : public testing::Test {
 protected:
  void SetUp() override { EXPECT_EQ(KV_OK, app.build()); }
  void TearDown() override {
    testing::internal::CaptureStdout();
    EXPECT_EQ(KV_OK, app.destroy());
    testing::internal::GetCapturedStdout();
  }
  KV_Wid* wid(int slot) { return static_cast<KV_Wid*>(app.widget(slot)); }
  KV_Wid_Knob* knob(int slot) { return static_cast<KV_Wid_Knob*>(app.widget(slot)); }
  KV_Application app;
};

struct Place {
  int w, h, l, t;
};

TEST_F(Layout, ThirtyTwoWidgetsStandWhereTheLayoutPutsThem) {
  const Place places[33] = {
      {},
      {172, 238, 0, 0}, {10, 10, 0, 0},   {152, 10, 10, 0},  {10, 10, 162, 0},  {10, 218, 0, 10},
      {10, 218, 162, 10}, {10, 10, 0, 228}, {152, 10, 10, 228}, {10, 10, 162, 228}, {160, 30, 6, 8},
      {152, 14, 10, 40}, {10, 10, 15, 62}, {122, 10, 25, 62}, {10, 10, 147, 62}, {10, 146, 15, 72},
      {130, 154, 21, 68}, {10, 146, 147, 72}, {10, 10, 15, 218}, {122, 10, 25, 218}, {10, 10, 147, 218},
      {40, 24, 26, 73},  {80, 24, 68, 72},  {32, 14, 26, 109}, {32, 32, 26, 124}, {32, 14, 70, 109},
      {32, 32, 70, 124}, {32, 14, 114, 109}, {32, 32, 114, 124}, {42, 14, 38, 172}, {32, 32, 43, 187},
      {42, 14, 92, 172}, {32, 32, 97, 187},
  };
  for (int s = 1; s <= 32; ++s) {
    KV_Wid* w = wid(s);
    ASSERT_NE(w, nullptr) << s;
    EXPECT_EQ(w->width, places[s].w) << s;
    EXPECT_EQ(w->height, places[s].h) << s;
    EXPECT_EQ(w->left, places[s].l) << s;
    EXPECT_EQ(w->top, places[s].t) << s;
    EXPECT_EQ(w->window, nullptr) << s;
  }
  // What each slot is.
  for (int s : {1, 2, 10, 16, 22}) EXPECT_EQ(typeid(*wid(s)), typeid(KV_Wid_Pic)) << s;
  for (int s : {11, 23, 25, 27, 29, 31}) EXPECT_EQ(typeid(*wid(s)), typeid(KV_Wid_Text)) << s;
  for (int s : {24, 26, 28, 30, 32}) EXPECT_EQ(typeid(*wid(s)), typeid(KV_Wid_Knob)) << s;
  EXPECT_EQ(typeid(*wid(21)), typeid(KV_Wid_Butt));
  EXPECT_STREQ(static_cast<KV_Wid_Text*>(wid(11))->text, "Varnex");
  EXPECT_STREQ(static_cast<KV_Wid_Text*>(wid(29))->text, "Rand.");
  EXPECT_EQ(static_cast<KV_Wid_Text*>(wid(23))->color, 0x00C0C0C0u);
  EXPECT_EQ(static_cast<KV_Wid_Text*>(wid(11))->color, 0x00FFFFFFu);
  // Every picture came from the library's resources.
  for (int s = 1; s <= 22; ++s) {
    if (typeid(*wid(s)) == typeid(KV_Wid_Pic)) {
      EXPECT_NE(static_cast<KV_Wid_Pic*>(wid(s))->picture.pixels, nullptr) << s;
    }
  }
  EXPECT_EQ(knob(24)->strip.frames, 100u);
}

TEST_F(Layout, TheControlsStartAtTheDefaultsFrames) {
  EXPECT_EQ(static_cast<KV_Wid_Butt*>(wid(21))->state, 1);
  const int slots[] = {24, 26, 28, 30, 32};
  const int frames[] = {39, 99, 34, 61, 62};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(knob(slots[i])->frame, frames[i]) << slots[i];
  // Each real parameter is shown by its knob; the switch has no widget of its own.
  EXPECT_EQ(app.params[0]->widget, nullptr);
  for (int i = 1; i < 6; ++i) EXPECT_EQ(app.params[i]->widget, app.widget(slots[i - 1])) << i;
}

TEST_F(Layout, AttachAndDetachGoInSlotOrder) {
  KV_Win win(app.width, app.height);
  EXPECT_EQ(KV_OK, app.attachWindow(reinterpret_cast<KV_Object*>(&win)));
  EXPECT_EQ(app.editorWindow, reinterpret_cast<KV_Object*>(&win));
  int s = 1;
  for (KV_Chain_Item* it = win.widgets.first(); !win.widgets.isEnd(it); it = it->next, ++s)
    EXPECT_EQ(it->owner, app.widget(s)) << s;
  EXPECT_EQ(s, 33);
  // The stability knob is on top where it overlaps the group interior.
  EXPECT_EQ(win.widgetAt(97 + 16, 187 + 16), app.widget(32));
  EXPECT_EQ(KV_OK, app.detachWindow());
  EXPECT_TRUE(win.widgets.isEnd(win.widgets.first()));
  for (int k = 1; k <= 32; ++k) EXPECT_EQ(wid(k)->window, nullptr) << k;
}

TEST_F(Layout, TheButtonGreysTheTenControlsAndSwitchesThePathAndBack) {
  KV_Win win(app.width, app.height);
  EXPECT_EQ(KV_OK, app.attachWindow(reinterpret_cast<KV_Object*>(&win)));
  auto* mul = static_cast<KV_Effect*>(app.graph[KV_Application::FX_MUL2_1]);
  for (int round = 0; round < 2; ++round) {
    const int on = round == 0 ? 0 : 1;
    win.mouseMove(46, 85);
    ASSERT_EQ(win.hovered, app.widget(21));
    win.mouseDown(46, 85);
    win.mouseUp();
    EXPECT_EQ(app.params[0]->val, on);
    EXPECT_EQ(static_cast<KV_Wid_Butt*>(wid(21))->state, on);
    for (int s = 23; s <= 32; ++s) EXPECT_EQ(wid(s)->enabled, on) << s;
    for (int s = 1; s <= 22; ++s) EXPECT_EQ(wid(s)->enabled, 1) << s;
    EXPECT_EQ(mul->on, on);
    EXPECT_EQ(static_cast<KV_Effect*>(app.graph[KV_Application::FX_INPUT_COPY])->on, 1);
    EXPECT_EQ(static_cast<KV_Effect*>(app.graph[KV_Application::FX_OUTPUT_COPY])->on, 1);
  }
  // A greyed knob ignores the mouse.
  win.mouseMove(46, 85);
  win.mouseDown(46, 85);
  win.mouseUp();
  ASSERT_EQ(app.params[0]->val, 0);
  win.mouseMove(60, 205);
  win.mouseDown(60, 205);
  win.mouseMove(90, 205);
  win.mouseUp();
  EXPECT_EQ(knob(30)->frame, 61);
  EXPECT_EQ(KV_OK, app.detachWindow());
}

TEST_F(Layout, DraggingTheRandomizeKnobRightLowersTheRandomnessSent) {
  KV_Win win(app.width, app.height);
  EXPECT_EQ(KV_OK, app.attachWindow(reinterpret_cast<KV_Object*>(&win)));
  auto* tolvar = static_cast<KV_Effect_Tolvar*>(app.graph[KV_Application::FX_MUL3_4]);
  const double before = tolvar->rand;
  win.mouseMove(59, 203);
  ASSERT_EQ(win.hovered, app.widget(30));
  win.mouseDown(59, 203);
  win.mouseMove(69, 203);
  win.mouseUp();
  // Ten frames on (61 → 71); the value of frame 71 sent back through the parameter selects
  // frame 70, since value → frame truncates.
  EXPECT_EQ(knob(30)->frame, 70);
  EXPECT_LT(app.params[4]->asFloat(), 0.4f);
  EXPECT_LT(tolvar->rand, before);
  EXPECT_DOUBLE_EQ(tolvar->rand, static_cast<double>(app.params[4]->asFloat()));
  EXPECT_EQ(KV_OK, app.detachWindow());
}

TEST(LayoutTeardown, WidgetsGoLastFirstAndAnEmptySlotSaysSo) {
  KV_Application app;
  EXPECT_EQ(KV_OK, app.build());
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), app.widgets[4]));
  app.widgets[4] = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(KV_OK, app.destroy());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "NULL WIDGET\n");
  for (KV_Object* w : app.widgets) EXPECT_EQ(w, nullptr);
}

}  // namespace

namespace {

// The layout at scale 2: every rectangle twice that of scale 1, the pictures drawn at twice the
// resolution, the captions' font and the knobs' drag scaled; and back to scale 1 unchanged.
TEST(LayoutScale, TwiceEveryRectangleAndPictureAndBackAgain) {
  KV_Application one, two;
  EXPECT_EQ(KV_OK, one.build());
  EXPECT_EQ(KV_OK, two.build());
  ASSERT_EQ(two.scaleEditor(2), KV_OK);
  EXPECT_EQ(two.editorWidth(), 2 * one.editorWidth());
  EXPECT_EQ(two.editorHeight(), 2 * one.editorHeight());
  EXPECT_EQ(two.editorWidthAt(1), one.editorWidth());
  for (int s = 1; s <= 32; ++s) {
    auto* a = static_cast<KV_Wid*>(one.widget(s));
    auto* b = static_cast<KV_Wid*>(two.widget(s));
    EXPECT_EQ(b->left, 2 * a->left) << s;
    EXPECT_EQ(b->top, 2 * a->top) << s;
    EXPECT_EQ(b->width, 2 * a->width) << s;
    EXPECT_EQ(b->height, 2 * a->height) << s;
    if (typeid(*a) == typeid(KV_Wid_Pic)) {
      const auto* pa = static_cast<KV_Wid_Pic*>(a);
      const auto* pb = static_cast<KV_Wid_Pic*>(b);
      ASSERT_NE(pb->picture.pixels, nullptr) << s;
      EXPECT_EQ(pb->picture.width, 2 * pa->picture.width) << s;
      EXPECT_EQ(pb->picture.height, 2 * pa->picture.height) << s;
    }
    if (typeid(*a) == typeid(KV_Wid_Text)) {
      EXPECT_EQ(static_cast<KV_Wid_Text*>(b)->scale, 2) << s;
    }
  }
  auto* knob = static_cast<KV_Wid_Knob*>(two.widget(30));
  EXPECT_EQ(knob->strip.width, 64u);
  EXPECT_EQ(knob->strip.frames, 100u);
  EXPECT_EQ(knob->frame, 61);
  EXPECT_EQ(static_cast<KV_Wid_Butt*>(two.widget(21))->strip.width, 80u);

  // The randomize knob turned at scale 2: 20 pixels right are 10 frames, as 10 pixels at scale 1.
  KV_Win win(two.editorWidth(), two.editorHeight());
  EXPECT_EQ(KV_OK, two.attachWindow(reinterpret_cast<KV_Object*>(&win)));
  win.mouseMove(118, 406);
  ASSERT_EQ(win.hovered, two.widget(30));
  win.mouseDown(118, 406);
  win.mouseMove(138, 406);
  win.mouseUp();
  EXPECT_EQ(knob->frame, 70);
  EXPECT_EQ(KV_OK, two.detachWindow());

  EXPECT_EQ(two.scaleEditor(3), KV_ERROR_PARAM_REQUIRED);
  ASSERT_EQ(two.scaleEditor(1), KV_OK);
  for (int s = 1; s <= 32; ++s) {
    auto* a = static_cast<KV_Wid*>(one.widget(s));
    auto* b = static_cast<KV_Wid*>(two.widget(s));
    EXPECT_EQ(b->rect().right, a->rect().right) << s;
    EXPECT_EQ(b->rect().bottom, a->rect().bottom) << s;
    EXPECT_EQ(b->left, a->left) << s;
    EXPECT_EQ(b->top, a->top) << s;
    if (typeid(*a) == typeid(KV_Wid_Pic)) {
      EXPECT_EQ(static_cast<KV_Wid_Pic*>(b)->picture.pixels, static_cast<KV_Wid_Pic*>(a)->picture.pixels) << s;
    }
  }
  EXPECT_EQ(static_cast<KV_Wid_Knob*>(two.widget(30))->strip.block, static_cast<KV_Wid_Knob*>(one.widget(30))->strip.block);
  testing::internal::CaptureStdout();
  EXPECT_EQ(KV_OK, one.destroy());
  EXPECT_EQ(KV_OK, two.destroy());
  testing::internal::GetCapturedStdout();
}

}  // namespace
