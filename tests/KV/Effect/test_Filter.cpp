// The one-pole low-pass and high-pass and the two-pole band-pass.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "EffectTest.h"
#include "KV/Effect/Filter.h"

namespace {

class Filter : public EffectTest {
 protected:
  // A pipe of n samples with an input and an output buffer.
  void setUpPipe(int32_t n) {
    pipe = makePipe(n);
    in = makeBuffer("in");
    out = makeBuffer("out");
  }

  template <class T>
  T* filter(const char* cls, const char* extra = "") {
    std::string command = std::string(cls) + " -i %o -o %o" + extra;
    return make<T>(command.c_str(), in, out);
  }

  static std::vector<int32_t> noise(int n, uint32_t seed, int32_t amplitude = 1 << 29) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int32_t> d(-amplitude, amplitude);
    std::vector<int32_t> v(static_cast<size_t>(n));
    for (auto& x : v) x = d(gen);
    return v;
  }

  KV_Soundpipe* pipe = nullptr;
  KV_Buffer* in = nullptr;
  KV_Buffer* out = nullptr;
};

TEST_F(Filter, OnepoleCoefficientFollowsFrequencyAndClock) {
  setUpPipe(8);
  auto* lo = filter<KV_Effect_Lopass>("KV_Effect_Lopass");
  // No clock yet: the frequency is stored, the coefficient is not computed.
  EXPECT_EQ(run("%o -f 125", lo), KV_OK);
  EXPECT_EQ(lo->coefficient, 0u);
  EXPECT_EQ(run("KV_Effect %o -clock 44100", lo), KV_OK);
  EXPECT_EQ(lo->coefficient, 75152712u);
  EXPECT_EQ(run("%o -f %f", lo, 200.0), KV_OK);
  EXPECT_EQ(lo->coefficient, 118995045u);
  // 99.9 is 99 whole Hz.
  int32_t answer = 0;
  EXPECT_EQ(run("%o -f %f -f", lo, 99.9, &answer), KV_OK);
  EXPECT_EQ(answer, 99);
  EXPECT_EQ(lo->coefficient, 59738369u);
  // A frequency of 0 keeps the coefficient; so does a clock of 0.
  EXPECT_EQ(run("%o -f 0", lo), KV_OK);
  EXPECT_EQ(lo->coefficient, 59738369u);
  EXPECT_EQ(run("%o -clock 0 -f 819", lo), KV_OK);
  EXPECT_EQ(lo->coefficient, 59738369u);
  EXPECT_EQ(run("%o -clock 48000", lo), KV_OK);
  EXPECT_EQ(lo->coefficient, 415866205u);
  // Text is no frequency.
  EXPECT_EQ(run("%o -f abc -f", lo, &answer), KV_OK);
  EXPECT_EQ(answer, 819);

  auto* hi = filter<KV_Effect_Hipass>("KV_Effect_Hipass", " -clock 44100 -f 125");
  EXPECT_EQ(hi->coefficient, 75152712u);
  // A frequency that puts the denominator at zero or below is refused, not wrapped.
  EXPECT_EQ(run("%o -f -7019", hi), KV_OK);
  EXPECT_EQ(hi->coefficient, 75152712u);
}

TEST_F(Filter, OnepoleStepIsTheFlooredOrRoundedSignedProduct) {
  // d = floor((x - s) c / 2^32) for an even c, rounded to nearest for an odd c.
  std::mt19937 gen(7);
  std::uniform_int_distribution<int32_t> sample(-(1 << 29), 1 << 29);
  for (uint32_t c : {75152712u, 118995045u, 1u, 0xFFFFFFFFu, 0x80000000u}) {
    for (int k = 0; k < 20000; ++k) {
      int32_t x = sample(gen), s = sample(gen);
      int64_t product = (int64_t{x} - s) * int64_t{c} + ((c & 1) ? (int64_t{1} << 31) : 0);
      int64_t expected = s + (product >> 32);
      ASSERT_EQ(KV_onepoleStep(x, s, c), expected) << x << " " << s << " " << c;
    }
  }
  // The difference wraps instead of overflowing.
  EXPECT_EQ(KV_onepoleStep(INT32_MAX, INT32_MIN, 0), INT32_MIN);
}

// Full-range noise through both one-pole filters, the high-pass writing over its own input, for
// two blocks: every sample is the step applied to the one before, as KV_onepoleStep takes it.
TEST_F(Filter, OnepoleLoopsFollowTheStepSampleBySample) {
  setUpPipe(64);
  KV_Buffer* hiInOut = makeBuffer("hi");
  auto* lo = filter<KV_Effect_Lopass>("KV_Effect_Lopass", " -clock 44100 -f 3000");
  auto* hi = make<KV_Effect_Hipass>("KV_Effect_Hipass -i %o -o %o -clock 44100 -f 77", hiInOut, hiInOut);
  for (uint32_t c : {static_cast<uint32_t>(lo->coefficient), 0xFFFFFFFFu, 0x80000001u}) {
    lo->coefficient = c;
    int32_t s = lo->state, t = hi->state;
    for (uint32_t block : {1u, 2u}) {
      const std::vector<int32_t> x = noise(64, block * 31 + c, INT32_MAX);
      fill(in, x);
      fill(hiInOut, x);
      pipe->process();
      for (size_t i = 0; i < x.size(); ++i) {
        s = KV_onepoleStep(x[i], s, c);
        t = KV_onepoleStep(x[i], t, hi->coefficient);
        ASSERT_EQ(out->main[i], s) << "c " << c << ", block " << block << ", " << i;
        ASSERT_EQ(hiInOut->main[i], static_cast<int32_t>(static_cast<uint32_t>(x[i]) - static_cast<uint32_t>(t))) << i;
      }
    }
  }
}

TEST_F(Filter, ConstantSettlesLowpassAtItAndHipassAtZero) {
  setUpPipe(512);
  KV_Buffer* hiOut = makeBuffer("hi");
  auto* lo = filter<KV_Effect_Lopass>("KV_Effect_Lopass", " -clock 44100 -f 125");
  auto* hi = make<KV_Effect_Hipass>("KV_Effect_Hipass -i %o -o %o -clock 44100 -f 125", in, hiOut);
  for (int32_t x : {300000000, -123456789}) {
    fill(in, std::vector<int32_t>(512, x));
    for (int block = 0; block < 40; ++block) pipe->process();
    // The floored step stops within 2^32 / c of the target.
    int64_t bound = (int64_t{1} << 32) / lo->coefficient;
    EXPECT_LE(std::llabs(int64_t{x} - out->main[511]), bound) << x;
    EXPECT_LE(std::llabs(int64_t{hiOut->main[511]}), bound) << x;
    EXPECT_EQ(lo->state, out->main[511]);
  }
  (void)hi;
}

TEST_F(Filter, HipassIsInputMinusLowpassAndIgnoresTheMode) {
  setUpPipe(256);
  KV_Buffer* hiOut = makeBuffer("hi");
  filter<KV_Effect_Lopass>("KV_Effect_Lopass", " -clock 44100 -f 200");
  make<KV_Effect_Hipass>("KV_Effect_Hipass -i %o -o %o -clock 44100 -f 200 -mode add", in, hiOut);
  std::vector<int32_t> x = noise(256, 11, INT32_MAX);
  for (int block = 0; block < 3; ++block) {
    fill(in, x);
    fill(hiOut, std::vector<int32_t>(256, 777));  // overwritten, not added to
    pipe->process();
    for (int i = 0; i < 256; ++i)
      ASSERT_EQ(static_cast<uint32_t>(out->main[i]) + static_cast<uint32_t>(hiOut->main[i]),
                static_cast<uint32_t>(x[static_cast<size_t>(i)]))
          << block << " " << i;
  }
}

TEST_F(Filter, LowpassModesCombineWithTheOutput) {
  setUpPipe(64);
  std::vector<int32_t> x = noise(64, 3);
  auto* ref = filter<KV_Effect_Lopass>("KV_Effect_Lopass", " -clock 44100 -f 2000");
  fill(in, x);
  pipe->process();
  std::vector<int32_t> r = contents(out);
  EXPECT_NE(r, std::vector<int32_t>(64, 0));
  ASSERT_EQ(run("%o -delete", ref), KV_OK);
  objects.remove(ref);

  const int32_t o = 1000000;
  const char* words[] = {"set", "add", "sub", "stn", "adn", "sbn"};
  for (int m = 0; m < KV_MODES; ++m) {
    KV_Buffer* target = makeBuffer("target");
    auto* lo = make<KV_Effect_Lopass>("KV_Effect_Lopass -i %o -o %o -clock 44100 -f 2000 -mode %s", in, target,
                                      words[m]);
    EXPECT_EQ(lo->mode, m);
    fill(target, std::vector<int32_t>(64, o));
    pipe->process();
    for (int i = 0; i < 64; ++i) {
      int64_t ri = r[static_cast<size_t>(i)];
      int64_t want[] = {ri, o + ri, o - ri, -ri, -(o + ri), ri - o};
      ASSERT_EQ(target->main[i], want[m]) << words[m] << " " << i;
    }
    ASSERT_EQ(run("%o -delete", lo), KV_OK);
    objects.remove(lo);
  }
}

TEST_F(Filter, StateCarriesAcrossBlocks) {
  setUpPipe(16);
  auto* whole = filter<KV_Effect_Lopass>("KV_Effect_Lopass", " -clock 8000 -f 1000");
  std::vector<int32_t> x = noise(16, 5);
  fill(in, x);
  pipe->process();
  std::vector<int32_t> once = contents(out);
  (void)whole;

  KV_Soundpipe* halves = makePipe(8);
  KV_Buffer* in2 = makeBuffer("in2");
  KV_Buffer* out2 = makeBuffer("out2");
  make<KV_Effect_Lopass>("KV_Effect_Lopass -i %o -o %o -clock 8000 -f 1000", in2, out2);
  std::vector<int32_t> twice;
  for (int h = 0; h < 2; ++h) {
    fill(in2, std::vector<int32_t>(x.begin() + 8 * h, x.begin() + 8 * h + 8));
    halves->process();
    std::vector<int32_t> part = contents(out2);
    twice.insert(twice.end(), part.begin(), part.end());
  }
  EXPECT_EQ(once, twice);
}

TEST_F(Filter, SwitchingOffClearsTheState) {
  setUpPipe(32);
  auto* lo = filter<KV_Effect_Lopass>("KV_Effect_Lopass", " -clock 44100 -f 500");
  auto* bp = make<KV_Effect_Bapass>("KV_Effect_Bapass -i %o -o %o -clock 44100 -f 1000 -q 0.5", in, makeBuffer());
  fill(in, noise(32, 9));
  pipe->process();
  EXPECT_NE(lo->state, 0);
  EXPECT_NE(bp->y1, 0);
  EXPECT_EQ(run("KV_Effect %o -on 0", lo), KV_OK);
  EXPECT_EQ(run("KV_Effect %o -on 0", bp), KV_OK);
  pipe->process();
  EXPECT_EQ(lo->state, 0);
  EXPECT_EQ(bp->x1, 0);
  EXPECT_EQ(bp->x2, 0);
  EXPECT_EQ(bp->y1, 0);
  EXPECT_EQ(bp->y2, 0);
}

TEST_F(Filter, MissingOrShortBuffersProcessNothing) {
  setUpPipe(16);
  KV_Buffer* shortOut = makeBuffer("short");
  ASSERT_EQ(run("%o -l 4", shortOut), KV_OK);
  auto* lo = make<KV_Effect_Lopass>("KV_Effect_Lopass -i %o -o %o -clock 44100 -f 500", in, shortOut);
  auto* hi = make<KV_Effect_Hipass>("KV_Effect_Hipass -i %o -o %o -clock 44100 -f 500", in, shortOut);
  auto* bp = make<KV_Effect_Bapass>("KV_Effect_Bapass -i %o -o %o -clock 44100 -f 1000 -q 0.5", in, shortOut);
  auto* noOut = make<KV_Effect_Lopass>("KV_Effect_Lopass -i %o -clock 44100 -f 500", in);
  auto* noIn = make<KV_Effect_Bapass>("KV_Effect_Bapass -o %o -clock 44100 -f 1000 -q 0.5", out);
  fill(in, std::vector<int32_t>(16, 1 << 28));
  fill(shortOut, {1, 2, 3, 4});
  fill(out, std::vector<int32_t>(16, 5));
  pipe->process();
  EXPECT_EQ(contents(shortOut), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(contents(out), std::vector<int32_t>(16, 5));
  EXPECT_EQ(lo->state, 0);
  EXPECT_EQ(hi->state, 0);
  EXPECT_EQ(bp->y1, 0);
  EXPECT_EQ(noOut->state, 0);
  EXPECT_EQ(noIn->y1, 0);
}

TEST_F(Filter, BandpassCoefficients) {
  setUpPipe(8);
  auto* bp = filter<KV_Effect_Bapass>("KV_Effect_Bapass");
  EXPECT_EQ(run("%o -f 1000 -q 0.5", bp), KV_OK);
  EXPECT_EQ(bp->c1, 0);  // no clock yet
  EXPECT_EQ(run("%o -clock 44100", bp), KV_OK);
  EXPECT_EQ(bp->c0, 227011923);
  EXPECT_EQ(bp->c1, 414639745);
  EXPECT_EQ(bp->c2, 207319872);
  // q = 1 and q = 0 keep the coefficients.
  EXPECT_EQ(run("%o -q 1 -q 0", bp), KV_OK);
  EXPECT_EQ(bp->c0, 227011923);
  // A ratio near the pole of A + B gives coefficients beyond 32 bits: refused.
  EXPECT_EQ(run("%o -q 14.1", bp), KV_OK);
  EXPECT_EQ(bp->c0, 227011923);
  EXPECT_EQ(bp->c2, 207319872);
  // The frequency stays a float: 99.9 is not cut to 99.
  float answer = 0;
  EXPECT_EQ(run("%o -f %f -q %f -f", bp, 99.9, 0.8, &answer), KV_OK);
  EXPECT_FLOAT_EQ(answer, 99.9f);
  EXPECT_EQ(bp->c0, 7072196);
  EXPECT_EQ(bp->c1, 13710728);
  EXPECT_EQ(bp->c2, 6855364);
}

TEST_F(Filter, BandpassFollowsItsRealRecursion) {
  setUpPipe(128);
  make<KV_Effect_Bapass>("KV_Effect_Bapass -i %o -o %o -clock 44100 -f 1000 -q 0.5", in, out);
  // A and B of f = 1000, q = 0.5 at 44100 Hz, worked out beside the code.
  const double A = 5.264049742764438, B = 49.26261278986373;
  std::vector<int32_t> x = noise(128, 21);
  fill(in, x);
  pipe->process();
  double y1 = 0, y2 = 0, x1 = 0, x2 = 0, worst = 0;
  for (int i = 0; i < 128; ++i) {
    double xi = x[static_cast<size_t>(i)];
    double y = (A * (xi - x2) + (2 * B - 1) * y1 - (B - A) * y2) / (A + B);
    worst = std::max(worst, std::abs(y - out->main[i]));
    x2 = x1, x1 = xi, y2 = y1, y1 = y;
  }
  // The floored products lose a few units per sample; a wrong term would be off by 2^20 or more.
  EXPECT_LT(worst, 4096.0);
}

TEST_F(Filter, BandpassStnNegatesSet) {
  setUpPipe(64);
  KV_Buffer* neg = makeBuffer("neg");
  make<KV_Effect_Bapass>("KV_Effect_Bapass -i %o -o %o -clock 44100 -f 2000 -q 0.7", in, out);
  make<KV_Effect_Bapass>("KV_Effect_Bapass -i %o -o %o -clock 44100 -f 2000 -q 0.7 -mode stn", in, neg);
  for (int block = 0; block < 2; ++block) {
    fill(in, noise(64, 30 + block));
    fill(neg, std::vector<int32_t>(64, 99));
    pipe->process();
    for (int i = 0; i < 64; ++i) ASSERT_EQ(neg->main[i], -out->main[i]) << i;
  }
}

}  // namespace
