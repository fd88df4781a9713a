// Sign, distortion and envelope effects: Gtzero, Ltzero, Dist, Ampdet.
#include <cmath>

#include "EffectTest.h"
#include "KV/Effect/Dist.h"

namespace {

constexpr double kPi = 3.141592653589793;

using SignTest = OneEffectTest;

using Gtzero = SignTest;
using Ltzero = SignTest;

TEST_F(Gtzero, KeepsThePartAboveTheLimit) {
  make("KV_Effect_Gtzero -i %o -o %o", in, out);
  fill(in, {-5, 7, 0, INT32_MIN});
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{0, 7, 0, 0}));
}

TEST_F(Gtzero, LimitOptionAndModeIgnored) {
  auto* g = make<KV_Effect_Gtzero>("KV_Effect_Gtzero -i %o -o %o -l -3.9 -mode add", in, out);
  EXPECT_EQ(g->limit, -3);
  EXPECT_EQ(query(g, "l").asInt(), -3);
  EXPECT_EQ(query(g, "i").asPointer(), in);
  fill(in, {-5, 7, -3, -2});
  fill(out, {100, 100, 100, 100});  // overwritten, not added to
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{-3, 7, -3, -2}));
}

TEST_F(Ltzero, KeepsThePartBelowTheLimit) {
  make("KV_Effect_Ltzero -i %o -o %o", in, out);
  fill(in, {-5, 7, 0, INT32_MAX});
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{-5, 0, 0, 0}));
  auto* l = make<KV_Effect_Ltzero>("KV_Effect_Ltzero -i %o -o %o -l 6", in, out);
  (void)l;
  pipe->process();  // the second runs after the first, on the same input
  EXPECT_EQ(contents(out), (std::vector<int32_t>{-5, 6, 0, 6}));
}

TEST_F(Ltzero, MissingOrShortBuffersAreNotTouched) {
  make("KV_Effect_Ltzero -i %o", in);  // no output: nothing to do, nothing read or written
  auto* noInput = make<KV_Effect_Ltzero>("KV_Effect_Ltzero -o %o", out);
  fill(out, {9, 9, 9, 9});
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{9, 9, 9, 9}));
  KV_Buffer* shortOut = makeBuffer("short");
  EXPECT_EQ(run("%o -l 2", shortOut), KV_OK);
  EXPECT_EQ(run("%o -i %o -o %o", noInput, in, shortOut), KV_OK);
  fill(in, {5, 5, 5, 5});
  fill(shortOut, {9, 9});
  pipe->process();
  EXPECT_EQ(contents(shortOut), (std::vector<int32_t>{9, 9}));
}

class Dist : public SignTest {
 protected:
  KV_Effect_Dist* dist(const char* extra = "") {
    std::string c = std::string("KV_Effect_Dist -i %o -o %o") + extra;
    return make<KV_Effect_Dist>(cmd(c.c_str()), in, out);
  }
};

TEST_F(Dist, DefaultsAndOptions) {
  KV_Effect_Dist* d = dist();
  EXPECT_EQ(d->D, 1 << 24);
  EXPECT_EQ(d->L, 8388608);
  EXPECT_EQ(d->M, 4194304);
  EXPECT_EQ(d->C, 1 << 26);
  EXPECT_FLOAT_EQ(query(d, "d").asFloat(), 0.03125f);
  EXPECT_FLOAT_EQ(query(d, "s").asFloat(), 0.5f);
  EXPECT_FLOAT_EQ(query(d, "k").asFloat(), 0.0f);
  EXPECT_EQ(query(d, "l").asInt(), 0);

  EXPECT_EQ(run("%o -d 0.5 -s 0.25 -l 1", d), KV_OK);
  EXPECT_EQ(d->D, 1 << 28);
  EXPECT_EQ(d->L, 201326592);            // D x 0.75
  EXPECT_EQ(d->M, (268435456 - 201326592) / 2);
  EXPECT_EQ(d->flags, 1);
  EXPECT_EQ(run("%o -s 0", d), KV_OK);
  EXPECT_EQ(d->L, d->D);
  EXPECT_EQ(d->M, 0);

  // C waits for the clock; then follows both k and the clock.
  EXPECT_EQ(run("%o -k 0.5", d), KV_OK);
  EXPECT_EQ(d->C, 1 << 26);
  EXPECT_EQ(run("KV_Effect %o -clock 48000", d), KV_OK);
  EXPECT_EQ(d->C, 1073741823);
  EXPECT_EQ(run("KV_Effect %o -clock 96000", d), KV_OK);
  EXPECT_EQ(d->C, 536870911);
}

TEST_F(Dist, ZeroInputStaysZero) {
  KV_Effect_Dist* d = dist();
  fill(out, {1, 2, 3, 4});
  pipe->process();
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>(4, 0)));
  EXPECT_EQ(d->z, 0);
}

TEST_F(Dist, BelowTheLimitsPassesWithTheLowBitsCleared) {
  KV_Effect_Dist* d = dist(" -mode sub");  // the mode is not used
  fill(in, {12345679, -12345679, 33554431, -33554432});
  fill(out, {1, 1, 1, 1});
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{12345676, -12345680, 33554428, -33554432}));
  EXPECT_EQ(d->z, 0);
}

TEST_F(Dist, NoSoftnessHardClipsAtFourTimesL) {
  KV_Effect_Dist* d = dist(" -s 0 -k 0");
  EXPECT_EQ(run("KV_Effect %o -clock 48000", d), KV_OK);  // C = 0: the bias stays put
  EXPECT_EQ(d->C, 0);
  const int32_t L4 = 4 * d->L;  // 2^26
  fill(in, {L4 - 4, L4 + 4, 1 << 30, -(1 << 30)});
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{L4 - 4, L4, L4, -L4}));
  EXPECT_EQ(d->z, 0);
}

TEST_F(Dist, SoftClipStaysBelowTheDriveAndIsMonotonic) {
  for (const char* drive : {"0.03125", "0.5", "1", "2", "4", "100"})
    for (const char* softness : {"0", "0.5", "1"}) {
      KV_Effect_Dist* d = dist("");
      EXPECT_EQ(run(cmd((std::string("%o -k 0 -d ") + drive + " -s " + softness).c_str()), d), KV_OK);
      d->C = 0;
      int64_t previous = INT64_MIN;
      for (int64_t x = INT32_MIN; x <= INT32_MAX; x += 16777259) {
        d->z = 0;
        int32_t y = d->clip(static_cast<int32_t>(x));
        EXPECT_GE(y, previous) << drive << " " << softness << " " << x;
        EXPECT_EQ(x < 0, y < 0) << drive << " " << softness << " " << x;
        previous = y;
      }
      // Symmetric by default: the largest output is at most 4 x D, or the 32-bit rail.
      d->z = 0;
      int64_t top = d->clip(INT32_MAX);
      EXPECT_LE(top, std::min<int64_t>(4 * int64_t{d->D}, INT32_MAX));
      objects.remove(d);
      EXPECT_EQ(run("%o -delete", d), KV_OK);
    }
}

TEST_F(Dist, OverdriveSaturatesInsteadOfWrapping) {
  KV_Effect_Dist* d = dist(" -d 1.5 -s 0");
  d->C = 0;
  d->z = -(1 << 30);  // v = 3 x 2^28 for a full-scale input, so 4 x y passes 2^31
  EXPECT_EQ(d->clip(INT32_MAX), INT32_MAX);
  d->z = 1 << 30;
  EXPECT_EQ(d->clip(INT32_MIN), INT32_MIN);
  // A drive beyond the 32-bit range pins to it.
  EXPECT_EQ(run("%o -d 1e6", d), KV_OK);
  EXPECT_EQ(d->D, INT32_MAX);
  EXPECT_EQ(run("%o -d -1e6", d), KV_OK);
  EXPECT_EQ(d->D, INT32_MIN);
}

TEST_F(Dist, ClippedPartMovesTheBiasAndResetClearsIt) {
  KV_Effect_Dist* d = dist();
  fill(in, std::vector<int32_t>(4, 1 << 30));
  pipe->process();
  const int32_t z1 = d->z;
  EXPECT_GT(z1, 0);
  std::vector<int32_t> first = contents(out);
  EXPECT_LT(first[3], 4 * d->D);
  pipe->process();
  EXPECT_GT(d->z, z1);
  EXPECT_EQ(run("KV_Effect %o -on 0", d), KV_OK);
  pipe->process();
  EXPECT_EQ(d->z, 0);
}

TEST_F(Dist, AsymmetricLowerLimit) {
  KV_Effect_Dist* d = dist(" -l 1 -k 0");
  d->C = 0;
  // With z = 0 the lower limit is max(-L - M, min(0, L)) = 0: negative halves are compressed
  // into the soft range at once, with g = (4M - 2M) >> 3.
  d->z = 0;
  int32_t y = d->clip(-(1 << 20));
  const int64_t g = (2 * int64_t{d->M}) >> 3, e = -(1 << 18);
  EXPECT_EQ(y, 4 * ((g * e) / (g - e)));
  EXPECT_EQ(d->clip(1 << 20), 1 << 20);  // the positive side stays linear
}

class Ampdet : public SignTest {
 protected:
  void SetUp() override {
    SignTest::SetUp();
    rect = makeBuffer("rect");
  }
  KV_Buffer* rect = nullptr;
};

TEST_F(Ampdet, BeforeTheClockTheEnvelopeStaysAtZero) {
  auto* a = make<KV_Effect_Ampdet>("KV_Effect_Ampdet -i %o -o %o -a %o -f1 10 -f2 5.5", in, out, rect);
  EXPECT_EQ(a->c1, 0);
  EXPECT_EQ(a->c2, 0);
  EXPECT_FLOAT_EQ(query(a, "f2").asFloat(), 5.5f);
  EXPECT_EQ(query(a, "a").asPointer(), rect);
  fill(in, {-100, 200, INT32_MIN, 7});
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>(4, 0)));
  EXPECT_EQ(contents(rect), (std::vector<int32_t>{100, 200, INT32_MIN, 7}));
}

TEST_F(Ampdet, CoefficientsFollowTheClock) {
  auto* a = make<KV_Effect_Ampdet>("KV_Effect_Ampdet -i %o -o %o -f1 1000 -f2 0", in, out);
  EXPECT_EQ(run("KV_Effect %o -clock 48000", a), KV_OK);
  const double w = 2 * kPi * 1000.0;
  EXPECT_NEAR(a->c1, 2147483648.0 * w / (w + 48000.0), 1.0);
  EXPECT_EQ(a->c2, 2147483647);
  // Setting f2 changes c2 only.
  int32_t c1 = a->c1;
  EXPECT_EQ(run("%o -f2 10", a), KV_OK);
  EXPECT_EQ(a->c1, c1);
  EXPECT_NEAR(a->c2, 2147483648.0 * (2 * kPi * 10) / (2 * kPi * 10 + 48000.0), 1.0);
  EXPECT_EQ(run("KV_Effect %o -clock 0", a), KV_OK);  // no clock: coefficients kept
  EXPECT_EQ(a->c1, c1);
}

TEST_F(Ampdet, ZeroFrequenciesFollowTheInput) {
  auto* a = make<KV_Effect_Ampdet>("KV_Effect_Ampdet -i %o -o %o -f1 0 -f2 0", in, out);
  EXPECT_EQ(run("KV_Effect %o -clock 44100", a), KV_OK);
  fill(in, {1 << 29, -(1 << 28), 5, -(1 << 30)});
  pipe->process();
  std::vector<int32_t> env = contents(out);
  const int32_t expect[] = {1 << 29, 1 << 28, 5, 1 << 30};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(env[i], expect[i], 1) << i;
}

TEST_F(Ampdet, AttackAndReleaseAreSeparate) {
  auto* a = make<KV_Effect_Ampdet>("KV_Effect_Ampdet -i %o -o %o -f1 4000 -f2 10", in, out);
  EXPECT_EQ(run("KV_Effect %o -clock 48000", a), KV_OK);
  fill(in, {1 << 30, 1 << 30, 0, 0});
  pipe->process();
  std::vector<int32_t> env = contents(out);
  const int64_t e0 = (int64_t{1 << 30} * a->c1) >> 31;
  EXPECT_EQ(env[0], e0);
  EXPECT_EQ(env[1], e0 + ((((int64_t{1} << 30) - e0) * a->c1) >> 31));
  // Falling: the release coefficient, d negative, floored.
  EXPECT_EQ(env[2], env[1] + ((int64_t{-env[1]} * a->c2) >> 31));
  EXPECT_LT(env[1] - env[2], env[1] / 100);
  EXPECT_EQ(a->e, env[3]);
  // Switching off clears the envelope.
  EXPECT_EQ(run("KV_Effect %o -on 0", a), KV_OK);
  pipe->process();
  EXPECT_EQ(a->e, 0);
}

TEST_F(Ampdet, EnvelopeUsesTheModeAndMissingOutputsAreSkipped) {
  auto* a = make<KV_Effect_Ampdet>("KV_Effect_Ampdet -i %o -o %o -f1 0 -f2 0 -mode sbn", in, out);
  EXPECT_EQ(run("KV_Effect %o -clock 48000", a), KV_OK);
  fill(in, {11, 11, 11, 11});
  fill(out, {1000, 1000, 1000, 1000});
  pipe->process();
  std::vector<int32_t> env = contents(out);
  // One step of 2^31 - 1 floors to d - 1, so e = 10, and a difference of 1 floors to 0.
  EXPECT_EQ(env, (std::vector<int32_t>(4, 10 - 1000)));
  // Only a rectified output: the envelope does not move.
  EXPECT_EQ(run("%o -o 0x0 -a %o", a, rect), KV_OK);
  const int32_t e = a->e;
  fill(in, {-3, 4, -5, 6});
  pipe->process();
  EXPECT_EQ(a->e, e);
  EXPECT_EQ(contents(rect), (std::vector<int32_t>{3, 4, 5, 6}));
  // A rectified output shorter than the block stops the effect.
  EXPECT_EQ(run("%o -l 2", rect), KV_OK);
  fill(rect, {77, 77});
  pipe->process();
  EXPECT_EQ(contents(rect), (std::vector<int32_t>{77, 77}));
}

}  // namespace
