// Oversampling and pitch shifting: Oversam, Nshift, Shift.
#include <cmath>

#include "EffectTest.h"
#include "KV/Effect/Shift.h"

namespace {

constexpr double kPi = 3.141592653589793;

using ShiftTest = OneEffectTest;

using Oversam = ShiftTest;

TEST_F(Oversam, ConstantSettlesAfterThreeInputSamples) {
  make("KV_Effect_Oversam -i %o -o %o", in, out);
  EXPECT_EQ(run("%o -l 32", out), KV_OK);
  const int32_t c = 8 * 12345678;
  fill(in, std::vector<int32_t>(4, c));
  pipe->process();
  std::vector<int32_t> y = contents(out);
  EXPECT_EQ(y[0], 0);
  EXPECT_NE(y[23], c);
  for (int i = 24; i < 32; ++i) EXPECT_EQ(y[i], c) << i;
  pipe->process();
  EXPECT_EQ(contents(out), std::vector<int32_t>(32, c));
}

TEST_F(Oversam, RampIsInterpolatedTwoInputSamplesLate) {
  auto* o = make<KV_Effect_Oversam>("KV_Effect_Oversam -i %o -o %o", in, out);
  EXPECT_EQ(run("%o -l 32", out), KV_OK);
  std::vector<int32_t> x;
  for (int32_t n = 0; n < 12; ++n) x.push_back(8000 * n - 40000);
  std::vector<int32_t> y;
  for (int block = 0; block < 3; ++block) {
    fill(in, {x[4 * block], x[4 * block + 1], x[4 * block + 2], x[4 * block + 3]});
    pipe->process();
    std::vector<int32_t> part = contents(out);
    y.insert(y.end(), part.begin(), part.end());
  }
  for (int32_t m = 3; m < 12; ++m)
    for (int32_t a = 0; a < 8; ++a) EXPECT_EQ(y[8 * m + a], x[m - 2] + a * (x[m - 1] - x[m - 2]) / 8) << m << " " << a;
  // Switching off clears the interpolator.
  EXPECT_EQ(run("KV_Effect %o -on 0", o), KV_OK);
  pipe->process();
  EXPECT_EQ(o->y0 | o->y1 | o->y2 | o->t1 | o->t2, 0);
}

TEST_F(Oversam, OutputLengthSettingDecides) {
  auto* o = make<KV_Effect_Oversam>("KV_Effect_Oversam -i %o -o %o", in, out);
  fill(in, std::vector<int32_t>(4, 800));
  fill(out, {5, 5, 5, 5});
  pipe->process();  // the output follows the pipe's block (setting -1): nothing is written
  EXPECT_EQ(contents(out), std::vector<int32_t>(4, 5));
  EXPECT_EQ(o->y2, 0);
  KV_Buffer* longOut = makeBuffer("long");
  EXPECT_EQ(run("%o -l 40", longOut), KV_OK);
  EXPECT_EQ(run("%o -o %o", o, longOut), KV_OK);
  pipe->process();  // 40 outputs need 5 inputs, the block has 4
  EXPECT_EQ(contents(longOut), std::vector<int32_t>(40, 0));
  EXPECT_EQ(run("%o -l 25", longOut), KV_OK);  // 25 outputs need 4
  pipe->process();
  EXPECT_EQ(o->y2, 100);
}

TEST_F(Oversam, FactorOptionIsStoredOnly) {
  auto* o = make<KV_Effect_Oversam>("KV_Effect_Oversam -i %o -o %o", in, out);
  EXPECT_EQ(query(o, "k").asInt(), 1);
  EXPECT_EQ(run("%o -l 32", out), KV_OK);
  fill(in, {800, -1600, 2400, 0});
  pipe->process();
  std::vector<int32_t> one = contents(out);
  EXPECT_EQ(run("%o -k 4.7", o), KV_OK);
  EXPECT_EQ(query(o, "k").asInt(), 4);
  o->reset();
  pipe->process();
  EXPECT_EQ(contents(out), one);
}

class PitchTest : public ShiftTest {
 protected:
  // Runs `blocks` blocks of a signal through the pipe and gathers the output.
  template <class F>
  std::vector<int32_t> runSignal(int blocks, F signal) {
    std::vector<int32_t> y;
    const int32_t n = KV_lengthOf(in);
    for (int b = 0; b < blocks; ++b) {
      for (int32_t i = 0; i < n; ++i) in->main[i] = signal(b * n + i);
      pipe->process();
      std::vector<int32_t> part = contents(out);
      y.insert(y.end(), part.begin(), part.end());
    }
    return y;
  }
  static int32_t value(int32_t n) { return static_cast<int32_t>((n * 2654435761u) >> 2) - (1 << 29) + 12345; }
  static int crossings(const std::vector<int32_t>& y, size_t from) {
    int c = 0;
    for (size_t i = from + 1; i < y.size(); ++i) c += (y[i - 1] < 0) != (y[i] < 0);
    return c;
  }
};

using Nshift = PitchTest;
using Shift = PitchTest;

TEST_F(Nshift, SpeedZeroDelaysByOneWindow) {
  EXPECT_EQ(run("%o -bl 256", pipe), KV_OK);
  in->setLength(-1);
  out->setLength(-1);
  make("KV_Effect_Nshift -i %o -o %o", in, out);
  std::vector<int32_t> y = runSignal(4, value);
  for (int32_t n = 0; n < 1024; ++n) {
    int32_t expect = n < 512 ? 0 : value(n - 512) & ~16383;  // scaled down by 2^14 first
    ASSERT_EQ(y[n], expect) << n;
  }
}

TEST_F(Nshift, PhaseWrapsByOneWindowAndWeightsSumToOne) {
  auto* s = make<KV_Effect_Nshift>("KV_Effect_Nshift -i %o -o %o -s -1000", in, out);
  EXPECT_EQ(query(s, "s").asInt(), -1000);
  pipe->process();
  EXPECT_EQ(query(s, "p").asInt(), 8388608 - 4000);  // raised by one window at the first step
  EXPECT_EQ(run("%o -s 16000 -p 8388000", s), KV_OK);
  s->advancePhase();
  EXPECT_EQ(s->phase, 8388000 + 16000 - 8388608);
  for (int32_t p : {0, 1, 4194304, 8388607, 123457}) {
    s->phase = p;
    double w1, w2;
    s->weights(w1, w2);
    EXPECT_NEAR(w1 + w2, 1.0, 1e-12) << p;
  }
}

TEST_F(Nshift, SpeedsFromOneSampleOnAreRefused) {
  auto* s = make<KV_Effect_Nshift>("KV_Effect_Nshift -i %o -o %o -s 16383 -s 16384", in, out);
  EXPECT_EQ(s->speed, 16383);
  EXPECT_EQ(run("%o -s 1e9 -s -3e9", s), KV_OK);
  EXPECT_EQ(s->speed, INT32_MIN);  // raising the pitch without bound is still defined
  fill(in, {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN});
  for (int i = 0; i < 8; ++i) pipe->process();
  EXPECT_EQ(s->position, (8192 - 32) % 8192);
}

TEST_F(Nshift, WindowFollowsTheClock) {
  auto* s = make<KV_Effect_Nshift>("KV_Effect_Nshift -i %o -o %o", in, out);
  EXPECT_EQ(s->window, 8388608);
  EXPECT_EQ(run("KV_Effect %o -clock 96000", s), KV_OK);
  EXPECT_EQ(s->window, 16777216);
  EXPECT_EQ(run("KV_Effect %o -clock 44100", s), KV_OK);
  EXPECT_EQ(s->window, 7707033);  // trunc(44100 x 2^23 / 48000)
  EXPECT_EQ(run("KV_Effect %o -clock 0", s), KV_OK);
  EXPECT_EQ(s->window, 7707033);
  EXPECT_EQ(run("KV_Effect %o -clock 2000000000", s), KV_OK);
  EXPECT_EQ(s->window, KV_SHIFT_MAX_WINDOW);
}

TEST_F(Nshift, SwitchingOffClearsBothRings) {
  auto* s = make<KV_Effect_Nshift>("KV_Effect_Nshift -i %o -o %o", in, out);
  fill(in, {1, 2, 3, 4});
  pipe->process();
  s->outputRing[7] = 9;
  EXPECT_EQ(s->inputRing[8191], 1);
  EXPECT_EQ(run("KV_Effect %o -on 0", s), KV_OK);
  pipe->process();
  for (int32_t i = 0; i < KV_SHIFT_RING; ++i) ASSERT_EQ(s->inputRing[i] | s->outputRing[i], 0) << i;
}

TEST_F(Shift, SpeedZeroDelaysExactlyByOneWindow) {
  EXPECT_EQ(run("%o -bl 256", pipe), KV_OK);
  in->setLength(-1);
  out->setLength(-1);
  auto* s = make<KV_Effect_Shift>("KV_Effect_Shift -i %o -o %o", in, out);
  std::vector<int32_t> y = runSignal(4, value);
  for (int32_t n = 0; n < 1024; ++n) ASSERT_EQ(y[n], n < 512 ? 0 : value(n - 512)) << n;
  EXPECT_EQ(s->outputRing[s->position], y.back());
}

TEST_F(Shift, NegativeSpeedRaisesThePitch) {
  EXPECT_EQ(run("%o -bl 480", pipe), KV_OK);
  in->setLength(-1);
  out->setLength(-1);
  for (const char* type : {"KV_Effect_Nshift", "KV_Effect_Shift"}) {
    KV_Object* s = make(cmd((std::string(type) + " -i %o -o %o -s -8192").c_str()), in, out);
    EXPECT_EQ(run("KV_Effect %o -clock 48000", s), KV_OK);
    // 1000 Hz at 48000 Hz, pitch x 1.5: 1500 Hz, 3000 zero crossings a second.
    std::vector<int32_t> y = runSignal(200, [](int32_t n) {
      return static_cast<int32_t>(std::lround(4e8 * std::sin(2 * kPi * 1000.0 * n / 48000.0)));
    });
    EXPECT_NEAR(crossings(y, 48000), 3000 * (y.size() - 48000) / 48000, 90) << type;
    objects.remove(s);
    EXPECT_EQ(run("%o -delete", s), KV_OK);
  }
}

TEST_F(Shift, NearlyStoppedPitchStaysDefined) {
  auto* s = make<KV_Effect_Shift>("KV_Effect_Shift -i %o -o %o -s 16383 -s 20000", in, out);
  EXPECT_EQ(s->speed, 16383);
  fill(in, {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN});
  for (int i = 0; i < 2100; ++i) pipe->process();  // the lag of 2^37 wraps around the ring
  // The output ring holds what was written, newest at the position.
  EXPECT_EQ(s->outputRing[s->position], out->main[3]);
  EXPECT_EQ(s->outputRing[(s->position + 3) & 8191], out->main[0]);
  EXPECT_EQ(run("%o -s -16384", s), KV_OK);
  EXPECT_EQ(s->speed, -16384);
}

TEST_F(Shift, MissingOrShortBuffersAreNotTouched) {
  auto* s = make<KV_Effect_Shift>("KV_Effect_Shift -i %o", in);
  fill(in, {1, 2, 3, 4});
  pipe->process();
  EXPECT_EQ(s->position, 0);  // nothing was read
  KV_Buffer* shortOut = makeBuffer("short");
  EXPECT_EQ(run("%o -l 3", shortOut), KV_OK);
  EXPECT_EQ(run("%o -o %o", s, shortOut), KV_OK);
  pipe->process();
  EXPECT_EQ(s->position, 0);
  EXPECT_EQ(s->inputRing[8191], 0);
}

}  // namespace
