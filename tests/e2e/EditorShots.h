// What the editor suites read from the screen: the knob frame a knob shows, and a picture of the
// editor once it has finished drawing.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "EditorHost.h"
#include "KV/Pic/Pic.h"
#include "KV/Vid.h"

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The knob's frames as drawn over black and over white: where both agree the frame is opaque
// and the screen must show the frame's own colour, whatever lies under the knob. The strip of the
// editor's scale: 32 x 32 frames at scale 1, 64 x 64 at scale 2.
struct KnobFrames {
  std::vector<uint8_t> data;
  KV_Vid strip;
  int n = 0;  // frame size in pixels
  explicit KnobFrames(int scale = 1) : data(readFile(std::string(VARNEX_ART) + (scale == 2 ? "/KNOB_2X.kvvf" : "/KNOB.kvvf"))) {
    strip.map(data.data(), data.size());
    n = static_cast<int>(strip.width);
  }

  // The frame of the strip that the n x n area of `shot` at (l, t) shows; -1 when none fits.
  int shownAt(const kvpic::Image& shot, int l, int t) const {
    int best = -1;
    long bestScore = -1;
    for (uint32_t f = 0; f < strip.frames; ++f) {
      const long score = mismatch(shot, l, t, f);
      if (best < 0 || score < bestScore) best = static_cast<int>(f), bestScore = score;
    }
    return bestScore <= n * n * 3 ? best : -1;
  }
  long mismatch(const kvpic::Image& shot, int l, int t, uint32_t f) const {
    KV_Pic<KV_Pix_A32> black, white;
    black.resize(n, n);
    white.resize(n, n);
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) black.row(y)[x] = KV_Pix_A32{0, 0, 0, 255}, white.row(y)[x] = KV_Pix_A32{255, 255, 255, 255};
    strip.blend(f, black, 0, 0);
    strip.blend(f, white, 0, 0);
    long score = 0;
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const KV_Pix_A32 b = black.row(y)[x], w = white.row(y)[x];
        if (std::abs(b.r - w.r) > 2 || std::abs(b.g - w.g) > 2 || std::abs(b.b - w.b) > 2) continue;
        const uint8_t* s = shot.at(l + x, t + y);
        score += std::abs(s[0] - b.b) + std::abs(s[1] - b.g) + std::abs(s[2] - b.r);
      }
    return score;
  }
};

// The knobs' top-left corners at scale 1: source, 2x, 3x, randomize, stability.
inline constexpr int kKnobs[5][2] = {{26, 124}, {70, 124}, {114, 124}, {43, 187}, {97, 187}};

// The five knobs' frames on an editor at `scale`.
inline std::vector<int> knobFrames(const KnobFrames& k, const kvpic::Image& shot, int scale = 1) {
  std::vector<int> frames;
  for (const auto& p : kKnobs) frames.push_back(k.shownAt(shot, p[0] * scale, p[1] * scale));
  return frames;
}

inline double brightness(const kvpic::Image& shot, int l, int t, int w, int h) {
  double sum = 0;
  for (int y = t; y < t + h; ++y)
    for (int x = l; x < l + w; ++x) sum += shot.at(x, y)[0] + shot.at(x, y)[1] + shot.at(x, y)[2];
  return sum / (w * h * 3);
}

// What the editor shows once it has finished drawing: on a loaded machine the window system may
// deliver the last events and repaints late, so the screen is read until it stays the same.
inline kvpic::Image settledShot(EditorHost& e) {
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
