// The plug-in's editor as a host shows it: in a real window (X11 under Xvfb, Win32 under Wine),
// read back from the screen, driven with the window system's mouse messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "EditorHost.h"
#include "EditorShots.h"
#include "PluginLoad.h"
#include "VstHost.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace {

class Editor : public testing::Test {
 protected:
  void SetUp() override {
    fx = openVarnex();
    ASSERT_NE(fx, nullptr);
  }
  void TearDown() override {
    editor.close();
    if (fx) call(fx, effClose);
  }
  void openEditor() {
    std::string error;
    ASSERT_TRUE(editor.open(fx, error)) << error;
  }
  kvpic::Image shot() { return settledShot(editor); }
  AEffect* fx = nullptr;
  EditorHost editor;
  KnobFrames knobs;
};

TEST_F(Editor, OpensAs172By238WithTheKnobsAtTheDefaultsFrames) {
  EXPECT_EQ(fx->flags & effFlagsHasEditor, effFlagsHasEditor);
  ERect* r = nullptr;
  ASSERT_EQ(call(fx, effEditGetRect, 0, 0, &r), 1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->top, 0);
  EXPECT_EQ(r->left, 0);
  EXPECT_EQ(r->bottom, 238);
  EXPECT_EQ(r->right, 172);
  openEditor();
  const kvpic::Image s = shot();
  ASSERT_EQ(s.width, 172);
  ASSERT_EQ(s.height, 238);
  ASSERT_EQ(knobs.strip.frames, 100u);
  EXPECT_EQ(knobFrames(knobs, s), (std::vector<int>{39, 99, 34, 61, 62}));
  // A dark panel, not an empty window: the group interior is neither black nor white.
  const double plate = brightness(s, 30, 160, 10, 10);
  EXPECT_GT(plate, 10);
  EXPECT_LT(plate, 160);
  // Idle calls and keys change nothing.
  call(fx, effEditIdle);
  EXPECT_EQ(call(fx, effEditKeyDown, 'a', 0, nullptr, 0), 0);
  const kvpic::Image again = shot();
  EXPECT_EQ(again.bgra, s.bgra);
}

TEST_F(Editor, DraggingAKnobChangesTheParameterTheHostReads) {
  openEditor();
  // 30 pixels right and 10 down: 20 frames up from 39.
  editor.drag(42, 140, 72, 150);
  EXPECT_NEAR(fx->getParameter(fx, 1), 59.0 / 99.0, 1e-6);
  EXPECT_EQ(text(fx, effGetParamDisplay, 1), "0.59596");
  editor.move(5, 5);
  EXPECT_EQ(knobFrames(knobs, shot())[0], 59);
}

TEST_F(Editor, TheButtonTurnsThePathOffGreysTheControlsAndASecondClickRestoresThem) {
  openEditor();
  const kvpic::Image before = shot();
  editor.click(46, 85);
  EXPECT_EQ(fx->getParameter(fx, 0), 0.0f);
  EXPECT_EQ(text(fx, effGetParamDisplay, 0), "Off");
  editor.move(5, 5);
  const kvpic::Image off = shot();
  // The captions and knobs are drawn at 40 % over the plate: the caption "Src." loses most of
  // its brightness above the plate's, the title stays.
  const double plate = brightness(off, 30, 160, 10, 10);
  EXPECT_LT(brightness(off, 26, 109, 32, 14) - plate, 0.6 * (brightness(before, 26, 109, 32, 14) - plate));
  EXPECT_EQ(brightness(off, 10, 40, 152, 14), brightness(before, 10, 40, 152, 14));
  // A greyed knob ignores a drag.
  editor.drag(42, 140, 72, 150);
  EXPECT_NEAR(fx->getParameter(fx, 1), 0.4, 1e-6);

  editor.click(46, 85);
  EXPECT_EQ(fx->getParameter(fx, 0), 1.0f);
  editor.move(5, 5);
  EXPECT_EQ(shot().bgra, before.bgra);
}

TEST_F(Editor, CloseAndReopenKeepEveryKnobAndShowHostChangesMadeMeanwhile) {
  openEditor();
  editor.drag(113, 203, 133, 203);  // stability: 20 frames up
  const float stability = fx->getParameter(fx, 5);
  editor.move(5, 5);
  const kvpic::Image first = shot();
  editor.close();
  editor.pump(10);
  openEditor();
  EXPECT_EQ(shot().bgra, first.bgra);
  EXPECT_EQ(fx->getParameter(fx, 5), stability);
  editor.close();

  fx->setParameter(fx, 2, 0.25f);  // 2x level -0.5 while closed
  openEditor();
  const std::vector<int> frames = knobFrames(knobs, shot());
  EXPECT_EQ(frames[1], 24);  // -0.5 on -1 … 1 over 100 frames
  EXPECT_EQ(frames[0], 39);
}

// Handles the process holds: GDI and window-system objects on Windows, open files (the editor's
// display connections among them) on Linux.
long processHandles() {
#if defined(_WIN32)
  return static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) +
                           GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
#else
  long n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
#endif
}

TEST_F(Editor, AHundredOpenCloseCyclesLeaveNothingBehind) {
  // The host keeps its frame, the plug-in makes and destroys its window each time.
  openEditor();
  editor.closeEditor();
  const long handles = processHandles();
  for (int i = 0; i < 100; ++i) {
    std::string error;
    ASSERT_TRUE(editor.open(fx, error)) << error << " at cycle " << i << ", handles " << processHandles();
    editor.move(42, 140);
    editor.closeEditor();
  }
  EXPECT_EQ(processHandles(), handles);
}

TEST(EditorPair, TwoEditorsOpenAtOnceKeepToThemselves) {
  AEffect* a = openVarnex();
  AEffect* b = openVarnex();
  ASSERT_TRUE(a && b);
  {
    EditorHost ea, eb;
    std::string error;
    ASSERT_TRUE(ea.open(a, error)) << error;
    ASSERT_TRUE(eb.open(b, error)) << error;
    const kvpic::Image b0 = settledShot(eb);
    ea.drag(42, 140, 72, 150);
    ea.click(46, 85);
    settledShot(ea);
    const kvpic::Image b1 = settledShot(eb);
    EXPECT_EQ(b1.bgra, b0.bgra);
    EXPECT_EQ(b->getParameter(b, 0), 1.0f);
    EXPECT_NEAR(b->getParameter(b, 1), 0.4, 1e-6);
    EXPECT_EQ(a->getParameter(a, 0), 0.0f);
  }
  call(a, effClose);
  call(b, effClose);
}

}  // namespace
