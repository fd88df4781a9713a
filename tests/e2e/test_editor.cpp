// The plug-in's editor as a host shows it: in a real window (X11 under Xvfb, Win32 under Wine),
// read back from the screen, driven with the window system's mouse messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "EditorHost.h"
#include "KV/Pic/Pic.h"
#include "KV/Vid.h"
#include "PluginLoad.h"
#include "VstHost.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace {


std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The knob's frames as drawn over black and over white: where both agree the frame is opaque
// and the screen must show the frame's own colour, whatever lies under the knob.
struct KnobFrames {
  std::vector<uint8_t> data = readFile(VARNEX_ART "/KNOB.kvvf");
  KV_Vid strip;
  KnobFrames() { strip.map(data.data(), data.size()); }

  // The frame of the strip that the 32 x 32 area of `shot` at (l, t) shows; -1 when none fits.
  int shownAt(const kvpic::Image& shot, int l, int t) const {
    int best = -1;
    long bestScore = -1;
    for (uint32_t f = 0; f < strip.frames; ++f) {
      const long score = mismatch(shot, l, t, f);
      if (best < 0 || score < bestScore) best = static_cast<int>(f), bestScore = score;
    }
    return bestScore <= 32 * 32 * 3 ? best : -1;
  }
  long mismatch(const kvpic::Image& shot, int l, int t, uint32_t f) const {
    KV_Pic<KV_Pix_A32> black, white;
    black.resize(32, 32);
    white.resize(32, 32);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) black.row(y)[x] = KV_Pix_A32{0, 0, 0, 255}, white.row(y)[x] = KV_Pix_A32{255, 255, 255, 255};
    strip.blend(f, black, 0, 0);
    strip.blend(f, white, 0, 0);
    long score = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const KV_Pix_A32 b = black.row(y)[x], w = white.row(y)[x];
        if (std::abs(b.r - w.r) > 2 || std::abs(b.g - w.g) > 2 || std::abs(b.b - w.b) > 2) continue;
        const uint8_t* s = shot.at(l + x, t + y);
        score += std::abs(s[0] - b.b) + std::abs(s[1] - b.g) + std::abs(s[2] - b.r);
      }
    return score;
  }
};

// The knobs' top-left corners: source, 2x, 3x, randomize, stability.
const int kKnobs[5][2] = {{26, 124}, {70, 124}, {114, 124}, {43, 187}, {97, 187}};

std::vector<int> knobFrames(const KnobFrames& k, const kvpic::Image& shot) {
  std::vector<int> frames;
  for (const auto& p : kKnobs) frames.push_back(k.shownAt(shot, p[0], p[1]));
  return frames;
}

double brightness(const kvpic::Image& shot, int l, int t, int w, int h) {
  double sum = 0;
  for (int y = t; y < t + h; ++y)
    for (int x = l; x < l + w; ++x) sum += shot.at(x, y)[0] + shot.at(x, y)[1] + shot.at(x, y)[2];
  return sum / (w * h * 3);
}

// What the editor shows once it has finished drawing: on a loaded machine the window system may
// deliver the last events and repaints late, so the screen is read until it stays the same.
kvpic::Image settledShot(EditorHost& e) {
  kvpic::Image last, now;
  e.pump(40);
  EXPECT_TRUE(e.screenshot(last));
  for (int i = 0; i < 40; ++i) {
    e.pump(25);
    if (!e.screenshot(now)) break;
    if (now.bgra == last.bgra) return now;
    last = now;
  }
  return last;
}

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
