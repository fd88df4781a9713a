// The fixed-point Fourier transform: table, bit reversal, both butterflies, ring and window.
#include <cmath>
#include <thread>

#include "EffectTest.h"
#include "KV/Effect/Fourier.h"

namespace {

constexpr double kPi = 3.141592653589793;


class FourierTest : public EffectTest {
 protected:
  KV_Fourier_Transform* transform(int32_t s, KV_Buffer* input, const char* extra = "") {
    std::string c = std::string("KV_Fourier_Transform -i %o -s %i") + extra;
    return make<KV_Fourier_Transform>(cmd(c.c_str()), input, s);
  }
  // A buffer of its own length, independent of the pipe's block.
  KV_Buffer* buffer(int32_t length) {
    KV_Buffer* b = makeBuffer("b");
    EXPECT_EQ(run("%o -l %i", b, length), KV_OK);
    return b;
  }
};

using FourierTable = FourierTest;
using FourierOptions = FourierTest;
using FourierForward = FourierTest;
using FourierBackward = FourierTest;

TEST_F(FourierTable, QuarterCircleAndSharedFirstConstruction) {
  const KV_Fourier_Twiddle* seen[4] = {};
  std::thread threads[4];
  for (int i = 0; i < 4; ++i) threads[i] = std::thread([&seen, i] { seen[i] = KV_Fourier_twiddles(); });
  for (auto& t : threads) t.join();
  for (int i = 1; i < 4; ++i) EXPECT_EQ(seen[i], seen[0]);
  const KV_Fourier_Twiddle* tw = seen[0];
  EXPECT_EQ(tw[0].c, 2147483647);
  EXPECT_EQ(tw[0].s, 0);
  EXPECT_EQ(tw[1024].c, 0);  // cos(pi/2) in doubles is 6e-17: truncated to 0
  EXPECT_EQ(tw[1024].s, 2147483647);
  EXPECT_EQ(tw[512].c, 1518500249);  // trunc(2147483647 / sqrt 2)
  EXPECT_EQ(tw[512].s, 1518500249);
  EXPECT_EQ(tw[2047].c, static_cast<int32_t>(std::cos(kPi * 2047 / 2048) * 2147483647.0));
  EXPECT_LT(tw[2047].c, -2147000000);
}

TEST_F(FourierTable, BitReversalSteps) {
  // rev over 3 bits of 0 ... 7, and the full cycle over 12 bits back to 0.
  const uint32_t order[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i, r = KV_Fourier_nextReversed(r, 8)) EXPECT_EQ(r, order[i]) << i;
  EXPECT_EQ(KV_Fourier_nextReversed(0, 2), 1u);
  r = 0;
  std::vector<bool> seen(4096, false);
  for (int i = 0; i < 4096; ++i, r = KV_Fourier_nextReversed(r, 4096)) {
    ASSERT_LT(r, 4096u);
    ASSERT_FALSE(seen[r]) << i;
    seen[r] = true;
  }
  EXPECT_EQ(KV_Fourier_nextReversed(1, 4096), 2049u);
}

TEST_F(FourierOptions, SizesDirectionAndWindow) {
  makePipe(16);
  KV_Buffer* in = makeBuffer("in");
  auto* f = make<KV_Fourier_Transform>("KV_Fourier_Transform -i %o", in);
  EXPECT_EQ(f->spectrum, nullptr);
  EXPECT_EQ(query(f, "w").asPointer(), nullptr);
  EXPECT_EQ(query(f, "s").asInt(), -1);
  EXPECT_EQ(run("%o -s 12", f), KV_OK);  // beyond the table: refused
  EXPECT_EQ(f->spectrum, nullptr);
  EXPECT_EQ(run("%o -s 3", f), KV_OK);
  ASSERT_NE(f->spectrum, nullptr);
  EXPECT_EQ(query(f, "w").asPointer(), f->spectrum);
  EXPECT_EQ(KV_lengthOf(f->spectrum), 32);
  EXPECT_EQ(KV_lengthOf(f->ring), 16);
  f->ring->position = 13;
  KV_Buffer* spectrum = f->spectrum;
  EXPECT_EQ(run("%o -s 11 -s -1 -s 12", f), KV_OK);
  EXPECT_EQ(f->s, 11);
  EXPECT_EQ(f->spectrum, spectrum);  // resized, not replaced
  EXPECT_EQ(KV_lengthOf(f->spectrum), 8192);
  EXPECT_EQ(run("%o -s 2", f), KV_OK);
  EXPECT_EQ(f->ring->position, 13 % 8);

  EXPECT_STREQ(static_cast<const char*>(query(f, "d").asPointer()), "forward");
  EXPECT_EQ(run("%o -d backward -d sideways", f), KV_OK);
  EXPECT_STREQ(static_cast<const char*>(query(f, "d").asPointer()), "backward");
  EXPECT_STREQ(static_cast<const char*>(query(f, "win").asPointer()), "none");
  EXPECT_EQ(run("%o -win sin -win cos", f), KV_OK);
  EXPECT_STREQ(static_cast<const char*>(query(f, "win").asPointer()), "sin");
  EXPECT_EQ(run("%o -win none", f), KV_OK);
  EXPECT_EQ(f->window, 0);
  objects.remove(f);
  EXPECT_EQ(run("%o -delete", f), KV_OK);  // its two buffers go with it, and leave the pipe
  EXPECT_EQ(KV_currentpipe->buffers.count, 1);
}

TEST_F(FourierOptions, NoSizeOrNoInputDoesNotProcess) {
  KV_Soundpipe* p = makePipe(4);
  KV_Buffer* in = makeBuffer("in");
  auto* unsized = make<KV_Fourier_Transform>("KV_Fourier_Transform -i %o", in);
  auto* noInput = make<KV_Fourier_Transform>("KV_Fourier_Transform -s 1");
  auto* back = transform(2, in, " -d backward");  // needs 16 input samples, has 4
  fill(back->spectrum, std::vector<int32_t>(16, 3));
  fill(in, {1, 2, 3, 4});
  p->process();
  EXPECT_EQ(unsized->spectrum, nullptr);
  EXPECT_EQ(contents(noInput->spectrum), std::vector<int32_t>(8, 0));
  EXPECT_EQ(contents(noInput->ring), std::vector<int32_t>(4, 0));
  EXPECT_EQ(contents(back->spectrum), std::vector<int32_t>(16, 3));
}

TEST_F(FourierForward, TwoPoints) {
  makePipe(2);
  KV_Buffer* in = makeBuffer("in");
  auto* f = transform(0, in);
  const int32_t x0 = 1000000, x1 = 300001;
  fill(in, {x0, x1});
  KV_currentpipe->process();
  const int32_t tr = static_cast<int32_t>((int64_t{x1} * 2147483647) >> 32);
  EXPECT_EQ(contents(f->spectrum), (std::vector<int32_t>{(x0 >> 1) + tr, 0, (x0 >> 1) - tr, 0}));
  EXPECT_NEAR(f->spectrum->main[0], (x0 + x1) / 2, 1);
  EXPECT_NEAR(f->spectrum->main[2], (x0 - x1) / 2, 1);
}

TEST_F(FourierForward, ConstantBlockGoesToPointZero) {
  for (int32_t s : {0, 3, 9, 11}) {
    const int32_t N = 2 << s;
    KV_Soundpipe* p = makePipe(N);
    KV_Buffer* in = makeBuffer("in");
    auto* f = transform(s, in);
    fill(in, std::vector<int32_t>(N, 123456789));
    p->process();
    std::vector<int32_t> z = contents(f->spectrum);
    EXPECT_NEAR(z[0], 123456789, s + 2) << s;
    for (int32_t k = 1; k < 2 * N; ++k) EXPECT_NEAR(z[k], 0, s + 2) << s << " " << k;
    // Full-scale alternating input does not overflow: the halving keeps every stage in range.
    for (int32_t i = 0; i < N; ++i) in->main[i] = i % 2 ? INT32_MIN : INT32_MAX;
    p->process();
    z = contents(f->spectrum);
    EXPECT_NEAR(z[2 * (N / 2)], INT32_MAX, s + 3) << s;  // e^(i pi n) picks the alternation
    EXPECT_NEAR(z[0], 0, s + 3) << s;
  }
}

TEST_F(FourierForward, CosineLandsInItsTwoBins) {
  const int32_t s = 5, N = 64, bin = 5;
  KV_Soundpipe* p = makePipe(N);
  KV_Buffer* in = makeBuffer("in");
  auto* f = transform(s, in);
  for (int32_t n = 0; n < N; ++n) in->main[n] = static_cast<int32_t>(std::lround(1e9 * std::cos(2 * kPi * bin * n / N)));
  p->process();
  const int32_t* z = f->spectrum->main;
  for (int32_t k = 0; k < N; ++k) {
    double expect = (k == bin || k == N - bin) ? 5e8 : 0.0;
    EXPECT_NEAR(z[2 * k], expect, 16) << k;
    EXPECT_NEAR(z[2 * k + 1], 0, 16) << k;
  }
  // A sine shows the sign of the exponent: +i/2 at bin k, -i/2 at N - k, for e^(+2 pi i nk/N).
  for (int32_t n = 0; n < N; ++n) in->main[n] = static_cast<int32_t>(std::lround(1e9 * std::sin(2 * kPi * bin * n / N)));
  p->process();
  EXPECT_NEAR(z[2 * bin + 1], 5e8, 16);
  EXPECT_NEAR(z[2 * (N - bin) + 1], -5e8, 16);
}

TEST_F(FourierForward, HalfBlocksShiftTheRing) {
  KV_Soundpipe* p = makePipe(4);
  KV_Buffer* in = makeBuffer("in");
  auto* f = transform(2, in);  // N = 8
  auto* whole = make<KV_Fourier_Transform>("KV_Fourier_Transform -s 2");
  KV_Buffer* all = buffer(8);
  EXPECT_EQ(run("%o -i %o", whole, all), KV_OK);
  const std::vector<int32_t> x = {800000, -3200, 51200, 7, 0, 1 << 28, -(1 << 27), 99999};
  fill(all, x);
  fill(in, {x[0], x[1], x[2], x[3]});
  p->process();
  fill(in, {x[4], x[5], x[6], x[7]});
  p->process();
  EXPECT_EQ(contents(f->spectrum), contents(whole->spectrum));
  EXPECT_EQ(contents(f->ring), (std::vector<int32_t>{x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7]}));
  EXPECT_EQ(f->ring->position, 0);
}

TEST_F(FourierForward, SineWindow) {
  const int32_t N = 16;
  KV_Soundpipe* p = makePipe(N);
  KV_Buffer* in = makeBuffer("in");
  auto* f = transform(3, in, " -win sin");
  // A single impulse at ring index i gives |Z_k| = x sin^2(pi i / N) / N in every bin.
  for (int32_t at : {0, 4, 8}) {
    fill(in, std::vector<int32_t>(N, 0));
    in->main[at] = 1 << 30;
    p->process();
    double w = std::sin(kPi * at / N);
    double expect = (1 << 30) * w * w / N;
    for (int32_t k = 0; k < N; ++k)
      EXPECT_NEAR(std::hypot(f->spectrum->main[2 * k], f->spectrum->main[2 * k + 1]), expect, 8) << at << " " << k;
  }
}

TEST_F(FourierBackward, UnscaledSum) {
  makePipe(8);
  KV_Buffer* spectrum = buffer(8);
  auto* b = transform(1, spectrum, " -d backward");  // N = 4
  // A single point X_1 = 1e8 gives x_n = 1e8 e^(+i pi n / 2): 1, i, -1, -i.
  fill(spectrum, {0, 0, 100000000, 0, 0, 0, 0, 0});
  KV_currentpipe->process();
  std::vector<int32_t> x = contents(b->spectrum);
  const double expect[8] = {1e8, 0, 0, 1e8, -1e8, 0, 0, -1e8};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(x[i], expect[i], 4) << i;
}

TEST_F(FourierBackward, ForwardThenBackwardReversesTime) {
  for (int32_t s : {0, 2, 6, 9}) {
    const int32_t N = 2 << s;
    KV_Soundpipe* p = makePipe(N);
    KV_Buffer* in = makeBuffer("in");
    auto* fwd = transform(s, in);
    auto* back = make<KV_Fourier_Transform>("KV_Fourier_Transform -d backward -s %i -i %o", s, fwd->spectrum);
    uint32_t seed = 12345;
    std::vector<int32_t> x(N);
    for (auto& v : x) {
      seed = seed * 1103515245u + 12345u;
      v = static_cast<int32_t>(seed >> 3) - (1 << 28);
    }
    fill(in, x);
    p->process();  // forward, then backward on its spectrum, in chain order
    const int32_t* y = back->spectrum->main;
    // The rounding of each halving stage grows with N; it stays small beside 2^28.
    const double tolerance = 4.0 * N;
    for (int32_t n = 0; n < N; ++n) {
      EXPECT_NEAR(y[2 * n], x[(N - n) % N], tolerance) << s << " " << n;
      EXPECT_NEAR(y[2 * n + 1], 0, tolerance) << s << " " << n;
    }
  }
}

}  // namespace
