// The editor at scale 2 (344 x 476, the pictures drawn at twice the resolution) and at scale 1, as a
// host shows it: in a real window (X11 under Xvfb, Win32 under Wine), read back from the screen.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "EditorHost.h"
#include "EditorShots.h"
#include "PluginLoad.h"
#include "VstHost.h"

namespace {

// FNV-1a over blue, green, red of every pixel outside the six text widgets (whose glyphs come from
// the platform's fonts), row by row.
uint64_t artworkHash(const kvpic::Image& shot) {
  static const int texts[6][4] = {{10, 40, 152, 14}, {26, 109, 32, 14}, {70, 109, 32, 14},
                                  {114, 109, 32, 14}, {38, 172, 42, 14}, {92, 172, 42, 14}};
  uint64_t h = 0xcbf29ce484222325ull;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      bool text = false;
      for (const auto& r : texts) text = text || (x >= r[0] && x < r[0] + r[2] && y >= r[1] && y < r[1] + r[3]);
      if (text) continue;
      for (int c = 0; c < 3; ++c) h = (h ^ shot.at(x, y)[c]) * 0x100000001b3ull;
    }
  return h;
}

ERect rectOf(AEffect* fx) {
  ERect* r = nullptr;
  EXPECT_EQ(call(fx, effEditGetRect, 0, 0, &r), 1);
  return r ? *r : ERect{};
}

class ScaledEditor : public testing::Test {
 protected:
  void SetUp() override {
    EditorHost::forceScale(2);
    fx = openVarnex();
    ASSERT_NE(fx, nullptr);
  }
  void TearDown() override {
    editor.close();
    if (fx) call(fx, effClose);
    EditorHost::forceScale(0);
  }
  void openEditor() {
    std::string error;
    ASSERT_TRUE(editor.open(fx, error)) << error;
  }
  AEffect* fx = nullptr;
  EditorHost editor;
  KnobFrames knobs1{1}, knobs2{2};
};

TEST_F(ScaledEditor, OpensAt344By476WithTheKnobsDrawnAtTwiceTheResolution) {
  const ERect before = rectOf(fx);
  EXPECT_EQ(before.right, 344);
  EXPECT_EQ(before.bottom, 476);
  openEditor();
  const kvpic::Image s = settledShot(editor);
  ASSERT_EQ(s.width, 344);
  ASSERT_EQ(s.height, 476);
  EXPECT_EQ(rectOf(fx).right, 344);
  ASSERT_EQ(knobs2.n, 64);
  EXPECT_EQ(knobFrames(knobs2, s, 2), (std::vector<int>{39, 99, 34, 61, 62}));
}

TEST_F(ScaledEditor, ADragMovesAKnobOneFramePerTwoPixels) {
  openEditor();
  // 60 pixels right and 20 down: 40 pixels, 20 frames up from 39, the hand movement of scale 1.
  editor.drag(84, 280, 144, 300);
  EXPECT_NEAR(fx->getParameter(fx, 1), 59.0 / 99.0, 1e-6);
  // Three pixels back from the knob's centre: one whole step, one frame down.
  editor.drag(84, 280, 81, 280);
  EXPECT_NEAR(fx->getParameter(fx, 1), 58.0 / 99.0, 1e-6);
  editor.move(10, 10);
  // The value of frame 58 sent back through the parameter selects frame 57 (value to frame
  // truncates), as at scale 1.
  EXPECT_EQ(knobFrames(knobs2, settledShot(editor), 2)[0], 57);
}

TEST_F(ScaledEditor, TheButtonTurnsThePathOffAndOnAtScaledCoordinates) {
  openEditor();
  const kvpic::Image before = settledShot(editor);
  editor.click(92, 170);
  EXPECT_EQ(fx->getParameter(fx, 0), 0.0f);
  editor.drag(84, 280, 144, 300);  // greyed: ignored
  EXPECT_NEAR(fx->getParameter(fx, 1), 0.4, 1e-6);
  editor.click(92, 170);
  EXPECT_EQ(fx->getParameter(fx, 0), 1.0f);
  editor.move(10, 10);
  EXPECT_EQ(settledShot(editor).bgra, before.bgra);
}

TEST_F(ScaledEditor, CloseAndReopenAtEitherScaleKeepTheKnobs) {
  openEditor();
  editor.drag(226, 406, 266, 406);  // stability: 20 frames up
  editor.close();
  openEditor();
  const kvpic::Image reopened = settledShot(editor);
  EXPECT_EQ(knobFrames(knobs2, reopened, 2), (std::vector<int>{39, 99, 34, 61, 82}));
  editor.close();

  // The next open at scale 1: the rectangle says so before the open, and the panel is the
  // scale-1 one with the same knob positions.
  EditorHost::forceScale(1);
  EXPECT_EQ(rectOf(fx).right, 172);
  EXPECT_EQ(rectOf(fx).bottom, 238);
  openEditor();
  const kvpic::Image small = settledShot(editor);
  ASSERT_EQ(small.width, 172);
  EXPECT_EQ(knobFrames(knobs1, small), (std::vector<int>{39, 99, 34, 61, 82}));
  editor.close();
  // And at scale 2 again, drawn as before. (Whole panels are compared: the tile buffer is not
  // cleared between tiles, so a panel partly redrawn after a drag may differ from a whole one in
  // the last bits of the nearly opaque background.)
  EditorHost::forceScale(2);
  openEditor();
  EXPECT_EQ(settledShot(editor).bgra, reopened.bgra);
}

// Scale 1 shows exactly what the editor showed before it had a scale: the checksums of the
// artwork (everything but the text widgets) on the screen, on and off, recorded from that editor
// on each window system. (The tile buffer is not cleared between tiles, so the platform's text
// also reaches the background's last bits: the two systems differ.)
#if defined(_WIN32)
constexpr uint64_t kBeforeOn = 0x25101a7ebe1c1b43ull, kBeforeOff = 0xc57a0f09e093a263ull;
#else
constexpr uint64_t kBeforeOn = 0x5d8ad46a29c34865ull, kBeforeOff = 0xb8045e029bbe4c59ull;
#endif

TEST_F(ScaledEditor, ScaleOneIsPixelIdenticalToTheEditorBeforeScaling) {
  EditorHost::forceScale(1);
  openEditor();
  EXPECT_EQ(artworkHash(settledShot(editor)), kBeforeOn);
  editor.click(46, 85);
  editor.move(5, 5);
  EXPECT_EQ(artworkHash(settledShot(editor)), kBeforeOff);
}

}  // namespace
