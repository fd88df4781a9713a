// The frequency multipliers: KV_Effect_Tolvar and KV_Effect_Freqmul.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <random>

#include "EffectTest.h"
#include "KV/Effect/Freqmul.h"
#include "KV/Effect/Lanes.h"

namespace {

class Multiplier : public EffectTest {
 protected:
  void SetUp() override {
    pipe = makePipe(512);
    in = makeBuffer("in");
    out = makeBuffer("out");
  }

  KV_Effect_Tolvar* tolvar(int k, int clock) {
    auto* e = make<KV_Effect_Tolvar>("KV_Effect_Tolvar -i %o -o %o", in, out);
    EXPECT_EQ(run("%o -clock %i -k %i", e, clock, k), KV_OK);
    EXPECT_EQ(e->k, static_cast<uint32_t>(k));
    return e;
  }

  KV_Effect_Freqmul* freqmul(int k, int clock) {
    auto* e = make<KV_Effect_Freqmul>("KV_Effect_Freqmul -i %o -o %o", in, out);
    EXPECT_EQ(run("%o -clock %i -k %i", e, clock, k), KV_OK);
    EXPECT_EQ(e->k, static_cast<uint32_t>(k));
    return e;
  }

  // Runs the signal through the pipe in blocks; returns what the output buffer held after each.
  std::vector<int32_t> stream(const std::vector<int32_t>& x, int block) {
    std::vector<int32_t> y;
    for (size_t pos = 0; pos < x.size(); pos += block) {
      int32_t n = static_cast<int32_t>(std::min<size_t>(block, x.size() - pos));
      pipe->blockLength = n;
      std::memcpy(in->main, x.data() + pos, sizeof(int32_t) * n);
      pipe->process();
      y.insert(y.end(), out->main, out->main + n);
    }
    pipe->blockLength = 512;
    return y;
  }

  // Feeds the signal one sample per block; returns the indices of the accepted crossings (the
  // samples at which a new period started).
  template <class T>
  std::vector<int> acceptances(T* e, const std::vector<int32_t>& x) {
    std::vector<int> at;
    pipe->blockLength = 1;
    for (size_t i = 0; i < x.size(); ++i) {
      uint32_t before = e->periodStart;
      in->main[0] = x[i];
      pipe->process();
      if (e->periodStart != before) at.push_back(static_cast<int>(i));
    }
    pipe->blockLength = 512;
    return at;
  }

  template <class T>
  static std::vector<int32_t> ringAt(const T* e, uint32_t from, uint32_t n) {
    std::vector<int32_t> v;
    for (uint32_t i = 0; i < n; ++i) v.push_back(e->ring[(from + i) & T::MASK]);
    return v;
  }

  // One period whose rising crossing (its first sample) has slope d after the -10 that ends
  // the period before it.
  static void appendPeriod(std::vector<int32_t>& x, int32_t d, int len) {
    x.push_back(d - 10);
    for (int i = 1; i < len / 2; ++i) x.push_back(1000);
    for (int i = len / 2; i < len - 1; ++i) x.push_back(-1000);
    x.push_back(-10);
  }

  static std::vector<int32_t> sine(int count, double freq, int clock, double amplitude, double phase = 0.0) {
    std::vector<int32_t> x(count);
    for (int i = 0; i < count; ++i)
      x[i] = static_cast<int32_t>(std::lround(amplitude * std::sin(2.0 * std::numbers::pi * freq * i / clock + phase)));
    return x;
  }

  static int risingCrossings(const std::vector<int32_t>& y, size_t from, size_t to) {
    int c = 0;
    for (size_t i = from + 1; i < to; ++i) c += (y[i - 1] < 0 && y[i] >= 0);
    return c;
  }

  // The example period 1, 5, 3, -2, -4 followed by the crossing x = 2.
  const std::vector<int32_t> example{1, 5, 3, -2, -4, 2};

  KV_Soundpipe* pipe = nullptr;
  KV_Buffer* in = nullptr;
  KV_Buffer* out = nullptr;
};

class Tolvar : public Multiplier {};
class Freqmul : public Multiplier {};

// ---- options, defaults, registration ----

TEST_F(Tolvar, DefaultsAndOptions) {
  auto* e = make<KV_Effect_Tolvar>("KV_Effect_Tolvar");
  EXPECT_EQ(e->pipe, pipe);
  EXPECT_EQ(e->k, 2u);
  uint32_t bits;
  std::memcpy(&bits, &e->lagTime, sizeof bits);
  EXPECT_EQ(bits, 0x3CA3D70Au);
  EXPECT_EQ(e->rand, 0.6);
  EXPECT_EQ(e->stab, 0.7);
  EXPECT_EQ(e->averageSlope, 0.0);
  EXPECT_EQ(e->previous, -1);
  EXPECT_EQ(e->writePos | e->readPos | e->periodStart, 0u);
  for (uint32_t i = 0; i < KV_Effect_Tolvar::RING; ++i) ASSERT_EQ(e->ring[i], 0) << i;

  KV_Object *i = nullptr, *o = nullptr;
  int32_t k = 0, r = 0, s = 0;
  EXPECT_EQ(run("%o -i %o -o %o -k 3.9 -rand 0.4 -stab 1 -i -o -k -rand -stab", e, in, out, &i, &o, &k, &r, &s), KV_OK);
  EXPECT_EQ(i, in);
  EXPECT_EQ(o, out);
  EXPECT_EQ(k, 3);
  EXPECT_EQ(e->rand, static_cast<double>(0.4f));  // the command's float, widened
  EXPECT_EQ(e->stab, 1.0);
  float rf, sf;
  std::memcpy(&rf, &r, sizeof rf);
  std::memcpy(&sf, &s, sizeof sf);
  EXPECT_EQ(rf, 0.4f);
  EXPECT_EQ(sf, 1.0f);
  // Text is not a number: nothing changes.
  EXPECT_EQ(run("%o -rand abc -k abc", e), KV_OK);
  EXPECT_EQ(e->rand, static_cast<double>(0.4f));
  EXPECT_EQ(e->k, 3u);
}

TEST_F(Freqmul, DefaultsAndOptions) {
  auto* e = make<KV_Effect_Freqmul>("KV_Effect_Freqmul -i %o -o %o -k 3", in, out);
  EXPECT_EQ(e->input, in);
  EXPECT_EQ(e->output, out);
  EXPECT_EQ(e->k, 3u);
  EXPECT_EQ(e->lagTime, 0.02f);
  EXPECT_EQ(e->previous, -1);
  EXPECT_EQ(KV_Effect_Freqmul::RING, 16384u);
  for (uint32_t i = 0; i < KV_Effect_Freqmul::RING; ++i) ASSERT_EQ(e->ring[i], 0) << i;
  // Freqmul has no slope guard options.
  testing::internal::CaptureStdout();
  EXPECT_EQ(run("%o -rand 0.5", e), KV_ERROR_COMMAND_NOT_PARAM);
  testing::internal::GetCapturedStdout();
}

TEST_F(Tolvar, RegisteredInClassTableOrder) {
  // The rows of the classes present keep the table's relative order.
  const char* order[] = {"KV_Object",        "KV_Soundpipe",      "KV_Buffer",       "KV_Effect",
                         "KV_Effect_Zero",   "KV_Effect_Hipass",  "KV_Effect_Lopass", "KV_Effect_Freqmul",
                         "KV_Effect_Tolvar", "KV_Effect_Gtzero",  "KV_Effect_Ltzero", "KV_Effect_Bapass"};
  std::map<std::string, int> row;
  for (int r = 0; __KV[r].name; ++r) row[__KV[r].name] = r;
  ASSERT_TRUE(row.count("KV_Effect_Freqmul"));
  ASSERT_TRUE(row.count("KV_Effect_Tolvar"));
  EXPECT_EQ(__KV[row["KV_Effect_Tolvar"]].options, KV_Effect_Tolvar_options);
  EXPECT_EQ(__KV[row["KV_Effect_Freqmul"]].options, KV_Effect_Freqmul_options);
  int last = -1;
  for (const char* name : order)
    if (row.count(name)) {
      EXPECT_GT(row[name], last) << name;
      last = row[name];
    }
  // Both tables chain to the effect base.
  EXPECT_NE(KV_findOption(KV_Effect_Tolvar_options, "clock"), nullptr);
  EXPECT_NE(KV_findOption(KV_Effect_Freqmul_options, "mode"), nullptr);
}

TEST_F(Tolvar, KOutsideTheRingIsRefused) {
  auto* e = tolvar(2, 44100);
  EXPECT_EQ(run("%o -k 0", e), KV_OK);
  EXPECT_EQ(e->k, 2u);
  EXPECT_EQ(run("%o -k -3", e), KV_OK);
  EXPECT_EQ(e->k, 2u);
  EXPECT_EQ(run("%o -k -0.5", e), KV_OK);
  EXPECT_EQ(e->k, 2u);
  // 44100 x 0.02 x 37 = 32634 fits the ring; x 38 = 33516 does not.
  EXPECT_EQ(run("%o -k 37", e), KV_OK);
  EXPECT_EQ(e->k, 37u);
  EXPECT_EQ(e->lag(), 32633u);
  EXPECT_EQ(run("%o -k 38", e), KV_OK);
  EXPECT_EQ(e->k, 37u);
  // A later clock would push the lag past the ring: it stays inside.
  EXPECT_EQ(run("%o -clock 384000", e), KV_OK);
  EXPECT_EQ(e->lag(), KV_Effect_Tolvar::MASK);
  in->main[0] = 1;
  pipe->blockLength = 1;
  pipe->process();  // runs without leaving the ring (sanitizers watch)
  // At clock 0 the lag is 0 for any k, but k still stays below the ring size.
  EXPECT_EQ(run("%o -clock 0 -k 40000", e), KV_OK);
  EXPECT_EQ(e->k, 37u);
  EXPECT_EQ(run("%o -k 32767", e), KV_OK);
  EXPECT_EQ(e->k, 32767u);
  EXPECT_EQ(run("%o -clock -44100", e), KV_OK);
  EXPECT_EQ(e->lag(), 0u);
}

TEST_F(Freqmul, KOutsideTheRingIsRefused) {
  auto* e = freqmul(2, 44100);
  // The lag counts the block: 44100 x 0.02 + 512 x k below 16384 allows k up to 30.
  EXPECT_EQ(e->lag(512), 1905u);
  EXPECT_EQ(run("%o -k 30", e), KV_OK);
  EXPECT_EQ(e->k, 30u);
  EXPECT_EQ(run("%o -k 31", e), KV_OK);
  EXPECT_EQ(e->k, 30u);
  EXPECT_EQ(run("%o -k 0", e), KV_OK);
  EXPECT_EQ(e->k, 30u);
  EXPECT_EQ(run("%o -clock 384000", e), KV_OK);
  EXPECT_EQ(e->lag(512), KV_Effect_Freqmul::MASK);
}

// The product's factors at the sample rates a host may give, up to 384 kHz: accepted, with the
// lag trunc(clock x 0.02f x k), and a tone comes out k times higher.
TEST_F(Tolvar, ProductFactorsUpTo384kHz) {
  const std::map<int, std::pair<uint32_t, uint32_t>> lags = {
      {8000, {319, 479}},      {11025, {440, 661}},     {22050, {881, 1322}},   {44100, {1763, 2645}},
      {48000, {1919, 2879}},   {88200, {3527, 5291}},   {96000, {3839, 5759}},  {176400, {7055, 10583}},
      {192000, {7679, 11519}}, {352800, {14111, 21167}}, {384000, {15359, 23039}}};
  for (const auto& [clock, lag] : lags)
    for (int k : {2, 3}) {
      SCOPED_TRACE(testing::Message() << "clock " << clock << " k " << k);
      auto* e = tolvar(k, clock);
      EXPECT_EQ(e->lag(), k == 2 ? lag.first : lag.second);
      const int window = clock / 10;  // 20 periods of 200 Hz
      std::vector<int32_t> y = stream(sine(4 * window, 200.0, clock, 0.5 * KV_ONE), 512);
      int crossings = risingCrossings(y, 3 * window, 4 * window);
      EXPECT_GE(crossings, 20 * k - 2);
      EXPECT_LE(crossings, 20 * k + 2);
      objects.remove(e);
      EXPECT_EQ(run("%o -delete", e), KV_OK);
    }
}

// ---- the input stage ----

TEST_F(Tolvar, WorkedExampleDoubles) {
  // At clock 0 every crossing is accepted. The first sample after creation (1 after the
  // initial -1) is a crossing too: its one-sample period leaves a 0 at ring[1].
  auto* e = tolvar(2, 0);
  std::vector<int32_t> y = stream(example, 6);
  EXPECT_EQ(ringAt(e, 0, 13), (std::vector<int32_t>{0, 0, 1, 5, 3, -2, -4, 2, 1, -1, -4, -3, 2}));
  EXPECT_EQ(e->periodStart, 12u);
  EXPECT_EQ(e->writePos, 12u);
  EXPECT_EQ(e->previous, 2);
  // The output steps 2 ring samples per sample from the read position (lag 0 at clock 0).
  EXPECT_EQ(y, (std::vector<int32_t>{0, 1, 3, -4, 1, -4}));
  EXPECT_EQ(e->readPos, 12u);
}

TEST_F(Tolvar, WorkedExampleTriples) {
  auto* e = tolvar(3, 0);
  stream(example, 6);
  // The ramped reversed copy, then the straight copy, then x.
  EXPECT_EQ(ringAt(e, 3, 16),
            (std::vector<int32_t>{1, 5, 3, -2, -4, 2, 0, -4, -5, -1, 1, 5, 3, -2, -4, 2}));
  EXPECT_EQ(ringAt(e, 0, 3), (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(e->periodStart, 18u);
  EXPECT_EQ(e->readPos, 18u);
}

#if KV_AVX2_CLONES
// The four-lane form, on a processor that has it.
KV_AVX2_FMA void truncatedQuotients(const double* numerators, double reciprocal, int32_t* out) {
  const __m256d raised = _mm256_set1_pd(KV_raisedReciprocal(reciprocal));
  const __m128i q = KV_truncatedQuotient4(_mm256_loadu_pd(numerators), raised);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), q);
}
#endif

// The copies divide through a reciprocal: for every period length the ring allows, numerators
// on and beside each whole quotient, near the ends of the 32-bit range, far beyond it and just
// below 2^48 give the truncation of the exact quotient (and INT32_MIN outside the range), one
// at a time and four at a time.
TEST(TolvarQuotient, ReciprocalGivesTheExactTruncation) {
#if KV_AVX2_CLONES
  const bool lanes = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
  for (int64_t d = 1; d < KV_Effect_Tolvar::RING; ++d) {
    const double r = 1.0 / static_cast<double>(d);
    std::vector<double> numerators;
    std::vector<int32_t> expected;
    for (int64_t a : {int64_t{0}, int64_t{1}, int64_t{46341}, INT64_C(2147483646), INT64_C(2147483647),
                      INT64_C(2147483648), INT64_C(1) << 33, ((INT64_C(1) << 48) - 1) / d})
      for (int64_t f : {int64_t{0}, int64_t{1}, d - 1})
        for (int64_t q : {a * d + f, -(a * d + f)}) {
          if (q >= (INT64_C(1) << 48) || q <= -(INT64_C(1) << 48)) continue;
          const int64_t exact = q / d;
          expected.push_back(exact >= INT32_MIN && exact <= INT32_MAX ? static_cast<int32_t>(exact) : INT32_MIN);
          numerators.push_back(static_cast<double>(q));
          ASSERT_EQ(KV_truncatedQuotient(numerators.back(), r), expected.back()) << q << " / " << d;
        }
#if KV_AVX2_CLONES
    if (!lanes) continue;
    for (size_t j = 0; j + 4 <= numerators.size(); j += 4) {
      int32_t q[4];
      truncatedQuotients(numerators.data() + j, r, q);
      for (size_t l = 0; l < 4; ++l)
        ASSERT_EQ(q[l], expected[j + l]) << numerators[j + l] << " / " << d << " in lane " << l;
    }
#endif
  }
}

// Periods of random lengths and full-range samples: the copies in the ring are the formulas
// computed with integer division.
TEST_F(Tolvar, CopiesOfFullRangePeriodsAreExact) {
  std::mt19937 gen(7);
  auto pick = [&](int64_t lo, int64_t hi) { return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(lo, hi)(gen)); };
  forEachLoopForm([&] {
  for (uint32_t k : {2u, 3u}) {
    auto* e = tolvar(static_cast<int>(k), 0);
    // A period: its crossing sample, non-negative samples, then negative ones.
    auto period = [&](int len) {
      std::vector<int32_t> p{pick(0, INT32_MAX)};
      const int up = pick(0, len - 2);
      for (int i = 1; i < len; ++i) p.push_back(i <= up ? pick(0, INT32_MAX) : pick(INT32_MIN, -1));
      return p;
    };
    std::vector<int32_t> p = period(pick(2, 511));
    stream({p[0]}, 1);
    for (int trial = 0; trial < 40; ++trial) {
      std::vector<int32_t> next = period(pick(2, 511));
      std::vector<int32_t> block(p.begin() + 1, p.end());
      block.push_back(next[0]);
      stream(block, static_cast<int>(block.size()));
      const int64_t n = static_cast<int64_t>(p.size());
      const int32_t s = static_cast<int32_t>(static_cast<uint32_t>(next[0]) + static_cast<uint32_t>(p.back()));
      const uint32_t copies = (e->periodStart - (k - 1) * static_cast<uint32_t>(n)) & KV_Effect_Tolvar::MASK;
      ASSERT_EQ(e->ring[e->periodStart], next[0]);
      for (int64_t i = 0; i < n; ++i) {
        const int64_t t = static_cast<int32_t>(static_cast<uint32_t>(s) - static_cast<uint32_t>(p[n - 1 - i]));
        const int64_t q = k == 2 ? (i * p[i] + (n - i) * t) / n : (t * n - int64_t{s} * i) / n;
        const int32_t expected = q >= INT32_MIN && q <= INT32_MAX ? static_cast<int32_t>(q) : INT32_MIN;
        ASSERT_EQ(e->ring[(copies + i) & KV_Effect_Tolvar::MASK], expected) << "k " << k << ", length " << n << ", i " << i;
        if (k == 3) {
          ASSERT_EQ(e->ring[(copies + n + i) & KV_Effect_Tolvar::MASK], p[i]);
        }
      }
      p = next;
    }
    objects.remove(e);
    EXPECT_EQ(KV_OK, run("%o -delete", e));
  }
  });
}

TEST_F(Tolvar, FourCopiesAlternate) {
  // k = 4: ramped reversed, straight, crossfade.
  auto* e = tolvar(4, 0);
  stream(example, 6);
  // After the creation crossing (three zero copies at 1..3) the period sits at 4..8, x at 9.
  EXPECT_EQ(ringAt(e, 4, 21), (std::vector<int32_t>{1, 5, 3, -2, -4,  //
                                                    2, 0, -4, -5, -1,  //
                                                    1, 5, 3, -2, -4,   //
                                                    2, 1, -1, -4, -3,  //
                                                    2}));
}

TEST_F(Freqmul, WorkedExampleCopiesStraight) {
  auto* e = freqmul(3, 0);
  stream(example, 6);
  EXPECT_EQ(ringAt(e, 0, 19), (std::vector<int32_t>{0, 0, 0, 1, 5, 3, -2, -4, 1, 5, 3, -2, -4, 1, 5, 3, -2, -4, 2}));
  EXPECT_EQ(e->periodStart, 18u);
  EXPECT_EQ(e->writePos, 18u);
}

TEST_F(Tolvar, CrossingAtExactlyZero) {
  // 0 after a negative sample rises; 0 after 0 and 5 after 0 do not; the very first sample
  // rises from the initial -1. At clock 0 every crossing is taken.
  const std::vector<int32_t> x{0, 0, 5, -5, 0, 0, 3, -3, 0};
  EXPECT_EQ(acceptances(tolvar(2, 0), x), (std::vector<int>{0, 4, 8}));
}

// Runs of negative and non-negative samples of random lengths, 0 among them, in blocks of
// random lengths: at clock 0 with k = 1 every crossing is taken and copies nothing, so the ring
// holds the input as it came, over its end too, and the last period start and the slope average
// after each block follow from the crossings alone.
TEST_F(Tolvar, EveryCrossingIsFoundAtAnyPlaceInTheBlock) {
  std::mt19937 gen(11);
  auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(gen); };
  std::vector<int32_t> x;
  while (x.size() < 40000) {
    const bool rising = x.size() % 2 == 0;
    for (int run = pick(1, 40); run > 0; --run) x.push_back(rising ? pick(-1, 3) * pick(0, 1000) : -pick(1, 3000));
    if (rising && x.back() < 0) x.back() = 0;
  }
  forEachLoopForm([&] {
    auto* e = tolvar(1, 0);
    const long double stab = static_cast<double>(e->stab);
    int32_t before = -1;
    uint32_t start = 0;
    double average = 0.0;
    for (size_t pos = 0; pos < x.size();) {
      const int32_t n = static_cast<int32_t>(std::min<size_t>(pick(1, 70), x.size() - pos));
      for (int32_t i = 0; i < n; ++i) {
        const int32_t v = x[pos + i];
        if (before < 0 && v >= 0) {
          start = static_cast<uint32_t>(pos + i + 1) & KV_Effect_Tolvar::MASK;
          average = static_cast<double>((1.0L - stab) * (v - before) + stab * average);
        }
        before = v;
      }
      stream(std::vector<int32_t>(x.begin() + pos, x.begin() + pos + n), n);
      ASSERT_EQ(ringAt(e, static_cast<uint32_t>(pos + 1), n), std::vector<int32_t>(x.begin() + pos, x.begin() + pos + n))
          << "block at " << pos << ", length " << n;
      ASSERT_EQ(e->writePos, static_cast<uint32_t>(pos + n) & KV_Effect_Tolvar::MASK);
      // Nothing past the block: the next place still holds the sample of a ring before.
      const int64_t ago = static_cast<int64_t>(pos + n) - KV_Effect_Tolvar::RING;
      ASSERT_EQ(e->ring[(pos + n + 1) & KV_Effect_Tolvar::MASK], ago >= 0 ? x[ago] : 0);
      ASSERT_EQ(e->periodStart, start) << "block at " << pos << ", length " << n;
      ASSERT_EQ(e->averageSlope, average) << "block at " << pos << ", length " << n;
      pos += n;
    }
    objects.remove(e);
    EXPECT_EQ(KV_OK, run("%o -delete", e));
  });
}

TEST_F(Freqmul, CrossingAtExactlyZero) {
  const std::vector<int32_t> x{0, 0, 5, -5, 0, 0, 3, -3, 0};
  EXPECT_EQ(acceptances(freqmul(2, 0), x), (std::vector<int>{0, 4, 8}));
  // Freqmul has no guard: every crossing is taken at any clock.
  std::vector<int32_t> y{-10};
  for (int p = 0; p < 5; ++p) appendPeriod(y, p % 2 ? 500 : 20, 40);
  EXPECT_EQ(acceptances(freqmul(2, 44100), y), (std::vector<int>{1, 41, 81, 121, 161}));
}

TEST_F(Tolvar, FirstCrossingSetsAverageAndGuardHoldsUntilTheLagTime) {
  // A pure tone of period 100 that rises through 0 at sample 25 of every period.
  std::vector<int32_t> period = sine(100, 1.0, 100, 1e6, -std::numbers::pi / 2);
  std::vector<int32_t> x;
  for (int p = 0; p < 30; ++p) x.insert(x.end(), period.begin(), period.end());
  ASSERT_EQ(x[25], 0);
  ASSERT_LT(x[24], 0);
  const double slope = x[25] - x[24];

  auto* e = tolvar(2, 44100);
  std::vector<int32_t> head(x.begin(), x.begin() + 26);
  EXPECT_EQ(acceptances(e, head), std::vector<int>{25});
  EXPECT_DOUBLE_EQ(e->averageSlope, 0.3 * slope);
  // The same slope is more than the average: rejected until more than 882 samples have passed
  // since the period started, so every ninth crossing is taken.
  std::vector<int32_t> rest(x.begin() + 26, x.end());
  std::vector<int> at = acceptances(e, rest);
  EXPECT_EQ(at, (std::vector<int>{925 - 26, 1825 - 26, 2725 - 26}));
  EXPECT_NEAR(e->averageSlope, slope * (1 - 0.7 * 0.7 * 0.7 * 0.7), slope * 1e-12);
}

TEST_F(Tolvar, ForcedAcceptanceAtTheLagBoundary) {
  // After the crossing at sample 1 a new period has lasted c - 1 samples at sample c. The
  // bound is 44100 x 0.02f = 881.99998...: 882 is more, 881 is not.
  for (int c : {882, 883}) {
    auto* e = tolvar(2, 44100);
    EXPECT_EQ(run("%o -stab 0", e), KV_OK);
    std::vector<int32_t> x{-10, 90};
    x.resize(c, -10);
    x.push_back(190);  // slope 200, twice the average: only forced acceptance takes it
    std::vector<int> at = acceptances(e, x);
    EXPECT_EQ(at.size(), c == 882 ? 1u : 2u) << c;
    EXPECT_EQ(e->averageSlope, c == 882 ? 100.0 : 200.0);
    objects.remove(e);
    EXPECT_EQ(KV_OK, run("%o -delete", e));
  }
}

// Periods with crossing slopes 100, 100, 99, 101, 100, 50 and, after a long period, 30.
class TolvarGuard : public Multiplier {
 protected:
  std::vector<int32_t> signal() const {
    std::vector<int32_t> x{-10};
    for (int d : {100, 100, 99, 101, 100}) appendPeriod(x, d, 40);
    appendPeriod(x, 50, 1000);
    appendPeriod(x, 30, 40);
    return x;
  }
  KV_Effect_Tolvar* guard(const char* options) {
    auto* e = tolvar(2, 44100);
    EXPECT_EQ(run(options, e), KV_OK);
    return e;
  }
};

TEST_F(TolvarGuard, RandBoundsTheSlopeRatio) {
  // Default 0.6: 99/100 passes; then 101/99, 100/99 are above 1 and 50/99 below 0.6.
  auto* e = guard("%o -stab 0");
  EXPECT_EQ(acceptances(e, signal()), (std::vector<int>{1, 41, 81, 1201}));
  // 1.0: only a ratio of exactly 1 passes, besides the forced one at the end.
  e = guard("%o -stab 0 -rand 1.0");
  EXPECT_EQ(acceptances(e, signal()), (std::vector<int>{1, 41, 161, 1201}));
  // Above 1.0 only forced acceptances remain.
  e = guard("%o -stab 0 -rand 1.5");
  EXPECT_EQ(acceptances(e, signal()), (std::vector<int>{1, 1201}));
  EXPECT_EQ(e->averageSlope, 30.0);
}

TEST_F(TolvarGuard, StabWeighsTheOldAverage) {
  // 0.0: the average is the last accepted slope.
  auto* e = guard("%o -stab 0 -rand 0.4");
  std::vector<int32_t> x = signal();
  std::vector<int32_t> head(x.begin(), x.begin() + 82);
  EXPECT_EQ(acceptances(e, head), (std::vector<int>{1, 41, 81}));
  EXPECT_EQ(e->averageSlope, 99.0);
  // 1.0 from then on freezes it, through the accepted 50/99 and the forced 30.
  EXPECT_EQ(run("%o -stab 1", e), KV_OK);
  std::vector<int32_t> rest(x.begin() + 82, x.end());
  EXPECT_EQ(acceptances(e, rest), (std::vector<int>{201 - 82, 1201 - 82}));
  EXPECT_EQ(e->averageSlope, 99.0);
  // 1.0 from the start keeps the average at 0: the guard never arms and every crossing is taken.
  e = guard("%o -stab 1.0");
  EXPECT_EQ(acceptances(e, signal()), (std::vector<int>{1, 41, 81, 121, 161, 201, 1201}));
  EXPECT_EQ(e->averageSlope, 0.0);
}

TEST_F(Tolvar, PeriodLongerThanTheRing) {
  // 40000 samples without a crossing: the period length wraps to 40001 - 32768 = 7233.
  auto* e = tolvar(2, 44100);
  std::vector<int32_t> x(40000, -7);
  x.push_back(5);
  stream(x, 500);
  EXPECT_EQ(e->writePos, 14466u);
  EXPECT_EQ(e->periodStart, 14466u);
  EXPECT_EQ(e->ring[14466], 5);
  // The crossfade from t = 5 - 7 + 7 = 5 to m = -7, truncated toward zero.
  EXPECT_EQ(e->ring[7233], 5);
  EXPECT_EQ(e->ring[7233 + 3616], 0);   // -7227 / 7233
  EXPECT_EQ(e->ring[7233 + 3617], -1);  // -7239 / 7233
  EXPECT_EQ(e->ring[7233 + 7232], -6);

  // A period of exactly the ring size wraps to 0: nothing is copied.
  auto* f = make<KV_Effect_Tolvar>("KV_Effect_Tolvar -i %o -o %o -clock 44100", in, out);
  objects.remove(e);
  EXPECT_EQ(KV_OK, run("%o -delete", e));
  std::vector<int32_t> z(32767, -7);
  z.push_back(5);
  stream(z, 500);
  EXPECT_EQ(f->writePos, 0u);
  EXPECT_EQ(f->periodStart, 0u);
  EXPECT_EQ(f->ring[0], 5);
  EXPECT_EQ(f->ring[1], -7);

  // Copies longer than the free ring overwrite their own source, and stay inside the ring.
  auto* g = tolvar(3, 44100);
  std::vector<int32_t> w(20000, -7);
  w.push_back(5);
  stream(w, 500);
  EXPECT_EQ(g->writePos, (20001u * 3) & KV_Effect_Tolvar::MASK);
}

TEST_F(Freqmul, PeriodLongerThanTheRing) {
  auto* e = freqmul(2, 44100);
  std::vector<int32_t> x(20000, -7);
  x.push_back(5);
  stream(x, 500);
  // 20001 wraps to 3617 in a ring of 16384.
  EXPECT_EQ(e->writePos, 7234u);
  EXPECT_EQ(e->periodStart, 7234u);
  EXPECT_EQ(e->ring[7234], 5);
  EXPECT_EQ(e->ring[3617], -7);
}

// ---- the output stage ----

TEST_F(Tolvar, KOneDelaysLikeTheSourceDelay) {
  // No copies: the output is the input delayed by trunc(44100 x 0.02f) + 1 = 882 samples.
  tolvar(1, 44100);
  std::vector<int32_t> x = sine(3000, 1234.5, 44100, 3e8);
  for (size_t i = 0; i < x.size(); i += 7) x[i] ^= 0x5A5A;  // uneven slopes
  std::vector<int32_t> y = stream(x, 256);
  for (size_t i = 0; i < y.size(); ++i) ASSERT_EQ(y[i], i < 882 ? 0 : x[i - 882]) << i;
}

TEST_F(Freqmul, KOneDelaysByTheLagAndTheBlock) {
  // trunc(44100 x 0.02f + n) + 1: 946 samples with blocks of 64, 982 with blocks of 100.
  std::vector<int32_t> x = sine(3200, 321.0, 44100, 3e8);  // whole blocks of either length
  for (int block : {64, 100}) {
    auto* e = freqmul(1, 44100);
    std::vector<int32_t> y = stream(x, block);
    const size_t delay = block == 64 ? 946 : 982;
    for (size_t i = 0; i < y.size(); ++i) ASSERT_EQ(y[i], i < delay ? 0 : x[i - delay]) << block << " " << i;
    objects.remove(e);
    EXPECT_EQ(KV_OK, run("%o -delete", e));
  }
}

TEST_F(Tolvar, SilenceLeavesTheCreationResidue) {
  // The first 0 rises from the initial -1: its one-sample copy is -1 at ring[1], read at
  // output 882 and, one ring turn later at step 2, at 882 + 16384, before it is overwritten.
  tolvar(2, 44100);
  std::vector<int32_t> y = stream(std::vector<int32_t>(40000, 0), 500);
  std::map<size_t, int32_t> nonzero;
  for (size_t i = 0; i < y.size(); ++i)
    if (y[i]) nonzero[i] = y[i];
  EXPECT_EQ(nonzero, (std::map<size_t, int32_t>{{882, -1}, {17266, -1}}));
}

TEST_F(Tolvar, SilenceTriplingLeavesOneResidue) {
  tolvar(3, 44100);
  std::vector<int32_t> y = stream(std::vector<int32_t>(40000, 0), 500);
  std::map<size_t, int32_t> nonzero;
  for (size_t i = 0; i < y.size(); ++i)
    if (y[i]) nonzero[i] = y[i];
  EXPECT_EQ(nonzero, (std::map<size_t, int32_t>{{882, -1}}));
}

TEST_F(Freqmul, SilenceGivesSilence) {
  freqmul(3, 44100);
  std::vector<int32_t> y = stream(std::vector<int32_t>(40000, 0), 500);
  EXPECT_EQ(y, std::vector<int32_t>(40000, 0));
}

TEST_F(Tolvar, ModesSetAndAddOnly) {
  for (const char* word : {"set", "add", "sub", "stn", "adn", "sbn"}) {
    SCOPED_TRACE(word);
    auto* e = tolvar(2, 0);
    EXPECT_EQ(run("%o -mode %s", e, word), KV_OK);
    fill(out, std::vector<int32_t>(6, INT32_MAX));
    std::vector<int32_t> y = stream(example, 6);
    const std::vector<int32_t> r{0, 1, 3, -4, 1, -4};
    for (int i = 0; i < 6; ++i) {
      int32_t want = INT32_MAX;
      if (!std::strcmp(word, "set")) want = r[i];
      if (!std::strcmp(word, "add")) want = static_cast<int32_t>(uint32_t{INT32_MAX} + static_cast<uint32_t>(r[i]));
      EXPECT_EQ(y[i], want) << i;
    }
    EXPECT_EQ(e->readPos, 12u);  // the reading advances in every mode
    objects.remove(e);
    EXPECT_EQ(KV_OK, run("%o -delete", e));
  }
}

// Blocks of random lengths read every k-th sample of the ring from the read position less the
// lag, over the ring's end too, set or added to what the output held.
TEST_F(Tolvar, ReadsEveryKthSampleOfTheRing) {
  std::mt19937 gen(5);
  auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(gen); };
  forEachLoopForm([&] {
    for (int k : {2, 3, 5})
      for (const char* word : {"set", "add"}) {
        SCOPED_TRACE(testing::Message() << "k " << k << ", " << word);
        auto* e = tolvar(k, 48000);
        EXPECT_EQ(run("%o -mode %s", e, word), KV_OK);
        const bool add = !std::strcmp(word, "add");
        for (int samples = 0; samples < 40000;) {
          const int32_t n = pick(1, 512);
          pipe->blockLength = n;
          std::vector<int32_t> held(n);
          for (int32_t i = 0; i < n; ++i) {
            in->main[i] = pick(INT32_MIN, INT32_MAX);
            out->main[i] = held[i] = pick(INT32_MIN, INT32_MAX);
          }
          const uint32_t index = e->readPos - e->lag();
          pipe->process();
          for (int32_t i = 0; i < n; ++i) {
            const int32_t r = e->ring[(index + static_cast<uint32_t>(i * k)) & KV_Effect_Tolvar::MASK];
            ASSERT_EQ(out->main[i], add ? static_cast<int32_t>(static_cast<uint32_t>(held[i]) + static_cast<uint32_t>(r)) : r)
                << "sample " << samples + i;
          }
          samples += n;
        }
        objects.remove(e);
        EXPECT_EQ(KV_OK, run("%o -delete", e));
      }
  });
  pipe->blockLength = 512;
}

TEST_F(Freqmul, OverwritesInEveryMode) {
  auto* e = freqmul(1, 0);
  EXPECT_EQ(run("%o -mode add", e), KV_OK);
  fill(out, std::vector<int32_t>(6, 1000));
  // k = 1, clock 0, blocks of 6: delay 7, so the block reads the silent ring.
  EXPECT_EQ(stream(example, 6), std::vector<int32_t>(6, 0));
  EXPECT_EQ(run("%o -mode sbn", e), KV_OK);
  EXPECT_EQ(stream(std::vector<int32_t>{7, 7, 7, 7, 7, 7}, 6), (std::vector<int32_t>{0, 1, 5, 3, -2, -4}));
}

TEST_F(Tolvar, ShortOutputIsWrittenToItsLength) {
  EXPECT_EQ(run("%o -l 3", out), KV_OK);
  for (int i = 0; i < 3; ++i) out->shadow[i] = 55;  // just past the main array
  auto* e = tolvar(2, 0);
  pipe->blockLength = 6;
  std::memcpy(in->main, example.data(), sizeof(int32_t) * 6);
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{0, 1, 3}));
  EXPECT_EQ(std::vector<int32_t>(out->shadow, out->shadow + 3), std::vector<int32_t>(3, 55));
  // The whole input was taken and the reading moved past all of it.
  EXPECT_EQ(e->writePos, 12u);
  EXPECT_EQ(e->readPos, 12u);
}

TEST_F(Freqmul, ShortOutputIsWrittenToItsLength) {
  EXPECT_EQ(run("%o -l 3", out), KV_OK);
  for (int i = 0; i < 3; ++i) out->shadow[i] = 55;  // just past the main array
  auto* e = freqmul(1, 0);
  pipe->blockLength = 6;
  std::memcpy(in->main, example.data(), sizeof(int32_t) * 6);
  pipe->process();
  std::memcpy(in->main, example.data(), sizeof(int32_t) * 6);
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{0, 1, 5}));
  EXPECT_EQ(std::vector<int32_t>(out->shadow, out->shadow + 3), std::vector<int32_t>(3, 55));
  EXPECT_EQ(e->writePos, 12u);
  EXPECT_EQ(e->readPos, 12u);
}

TEST_F(Tolvar, MissingBuffersMeanNoProcessing) {
  auto* a = make<KV_Effect_Tolvar>("KV_Effect_Tolvar -i %o", in);
  auto* b = make<KV_Effect_Tolvar>("KV_Effect_Tolvar -o %o", out);
  auto* c = make<KV_Effect_Freqmul>("KV_Effect_Freqmul -i %o", in);
  fill(in, std::vector<int32_t>(512, 3));
  fill(out, std::vector<int32_t>(512, 9));
  pipe->process();
  for (auto* e : {a, b}) {
    EXPECT_EQ(e->writePos, 0u);
    EXPECT_EQ(e->previous, -1);
  }
  EXPECT_EQ(c->writePos, 0u);
  EXPECT_EQ(contents(out), std::vector<int32_t>(512, 9));
}

// ---- switching ----

TEST_F(Tolvar, SwitchedOffAndOnReadsSilenceFirst) {
  auto* e = tolvar(2, 44100);
  const std::vector<int32_t> tone = sine(512 * 20, 220.0, 44100, 0.5 * KV_ONE);
  auto block = [&](int b) {
    std::memcpy(in->main, tone.data() + 512 * b, sizeof(int32_t) * 512);
    pipe->process();
    return contents(out);
  };
  for (int b = 0; b < 5; ++b) block(b);
  EXPECT_NE(contents(out), std::vector<int32_t>(512, 0));

  // Off: one more block runs, unfaded, then the ring and the average are cleared.
  EXPECT_EQ(run("KV_Effect %o -on 0", e), KV_OK);
  std::vector<int32_t> last = block(5);
  EXPECT_NE(last, std::vector<int32_t>(512, 0));
  const uint32_t w = e->writePos, r = e->readPos;
  EXPECT_EQ(e->previous, tone[512 * 6 - 1]);
  EXPECT_EQ(e->averageSlope, 0.0);
  for (uint32_t i = 0; i < KV_Effect_Tolvar::RING; ++i) ASSERT_EQ(e->ring[i], 0) << i;
  // While off it is skipped: the output buffer keeps what it holds.
  fill(out, std::vector<int32_t>(512, 77));
  EXPECT_EQ(block(6), std::vector<int32_t>(512, 77));
  EXPECT_EQ(e->writePos, w);
  EXPECT_EQ(e->readPos, r);

  // On again: the old positions over a silent ring. The block reads from readPos - lag, two
  // slots per sample, and the new input starts after the write position: until the reading
  // gets there it reads silence.
  EXPECT_EQ(run("KV_Effect %o -on 1", e), KV_OK);
  const uint32_t from = (e->readPos - e->lag()) & KV_Effect_Tolvar::MASK;
  const uint32_t silent = ((e->writePos + 1 - from) & KV_Effect_Tolvar::MASK) / 2;
  EXPECT_GT(silent, 200u);
  std::vector<int32_t> first = block(7);
  for (uint32_t i = 0; i < silent && i < 512; ++i) ASSERT_EQ(first[i], 0) << i;
  block(8);
  EXPECT_NE(block(9), std::vector<int32_t>(512, 0));
}

TEST_F(Freqmul, SwitchingOffKeepsTheRing) {
  auto* e = freqmul(2, 44100);
  std::vector<int32_t> x = sine(2048, 150.0, 44100, 1e8);
  stream(x, 512);
  EXPECT_EQ(run("KV_Effect %o -on 0", e), KV_OK);
  pipe->process();  // the last block runs, then the base reset, which keeps everything
  std::vector<int32_t> after(e->ring, e->ring + KV_Effect_Freqmul::RING);
  EXPECT_NE(after, std::vector<int32_t>(KV_Effect_Freqmul::RING, 0));
  pipe->process();
  EXPECT_EQ(std::vector<int32_t>(e->ring, e->ring + KV_Effect_Freqmul::RING), after);
}

// The multipliers' floating-point steps assume the 64-bit significand of extended precision,
// in the type and in the processor's precision setting at run time.
TEST_F(Tolvar, ArithmeticIsExtendedPrecision) {
  EXPECT_EQ(LDBL_MANT_DIG, 64);
  volatile long double one = 1.0L;
  volatile long double tiny = std::ldexp(1.0L, -63);
  EXPECT_NE(one + tiny, one);
}

}  // namespace
