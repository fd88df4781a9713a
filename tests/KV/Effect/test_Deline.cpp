// The delay network: taps, groups, feedback, the compiled table and the limits it keeps to.
#include <climits>

#include "EffectTest.h"
#include "KV/Effect/Deline.h"

namespace {

constexpr int32_t BLOCK = 512;
constexpr int32_t X = 1 << 30;
// 2^30 through a tap of amplitude 1.0 (2^31 - 1) and a gain of 1.0 (2^23 - 1), both floored:
// 2^30 - 1, then (2^30 - 1) x (2^23 - 1) / 2^23 = 1073741695.
constexpr int32_t SPIKE = 1073741695;

class Deline : public EffectTest {
 protected:
  void SetUp() override {
    pipe = makePipe(BLOCK);
    in = makeBuffer("in");
    out = makeBuffer("out");
  }

  KV_Effect_Deline* delay(const char* options, int32_t clock = 44100) {
    std::string command = std::string("KV_Effect_Deline -i %o -clock %i ") + options;
    return make<KV_Effect_Deline>(command.c_str(), in, clock, out);
  }

  // Runs whole blocks with an impulse of X at sample 0; returns what `b` held after each block.
  std::vector<int32_t> impulse(int blocks, KV_Buffer* b = nullptr) {
    if (!b) b = out;
    std::vector<int32_t> all;
    for (int k = 0; k < blocks; ++k) {
      std::vector<int32_t> x(BLOCK, 0);
      if (k == 0) x[0] = X;
      fill(in, x);
      pipe->process();
      std::vector<int32_t> part = contents(b, BLOCK);
      all.insert(all.end(), part.begin(), part.end());
    }
    return all;
  }

  // The indices of non-zero samples.
  static std::vector<int> spikes(const std::vector<int32_t>& v) {
    std::vector<int> at;
    for (size_t i = 0; i < v.size(); ++i)
      if (v[i] != 0) at.push_back(static_cast<int>(i));
    return at;
  }

  KV_Soundpipe* pipe = nullptr;
  KV_Buffer* in = nullptr;
  KV_Buffer* out = nullptr;
};

TEST_F(Deline, TheProductsSourceDelay) {
  auto* e = delay("-g % -go %o -d % -da 1 -dt 0.02");
  // trunc(44100 x 0.02f) = 881, plus the one sample every tap adds.
  std::vector<int32_t> y = impulse(2);
  EXPECT_EQ(spikes(y), std::vector<int>{882});
  EXPECT_EQ(y[882], SPIKE);
  // A new clock rebuilds the table: trunc(1000 x 0.02f) = 19.
  ASSERT_EQ(run("KV_Effect %o -clock 1000", e), KV_OK);
  EXPECT_FALSE(e->ready);
  y = impulse(2);
  EXPECT_EQ(spikes(y), (std::vector<int>{20}));
}

TEST_F(Deline, TapTimes) {
  // A tap of delay 0 returns the previous sample, never the current one.
  auto* e = delay("-g % -go %o -d % -da 1 -dt 0");
  EXPECT_EQ(spikes(impulse(1)), std::vector<int>{1});
  // An integer is a number of samples, whatever the clock.
  ASSERT_EQ(run("%o -dt 100", e), KV_OK);
  EXPECT_EQ(spikes(impulse(1)), std::vector<int>{101});
  ASSERT_EQ(run("%o -clock 8000", e), KV_OK);
  EXPECT_EQ(spikes(impulse(1)), std::vector<int>{101});
  // A float is seconds and follows the clock.
  float t = 0;
  ASSERT_EQ(run("%o -clock 100 -dt 0.5 -dt", e, &t), KV_OK);
  EXPECT_FLOAT_EQ(t, 0.5f);
  EXPECT_EQ(spikes(impulse(1)), std::vector<int>{51});
  ASSERT_EQ(run("%o -clock 200", e), KV_OK);
  EXPECT_EQ(spikes(impulse(1)), std::vector<int>{101});
}

TEST_F(Deline, DelaysAreClampedToTheRing) {
  auto* e = delay("-g % -go %o -d % -da 1 -dt 70000 -d % -da 1 -dt -5 -d % -da 1 -dt 10.0");
  e->prepare();
  ASSERT_TRUE(e->ready);
  EXPECT_EQ(e->table[0], 65534);
  EXPECT_EQ(e->table[2], 0);
  EXPECT_EQ(e->table[4], 65534);
  // The longest delay comes round the whole ring: the impulse returns at sample 65535.
  ASSERT_EQ(run("%o -gc -d % -da 1 -dt 65534", e), KV_OK);
  std::vector<int32_t> y = impulse(65536 / BLOCK);
  EXPECT_EQ(spikes(y), std::vector<int>{65535});
  EXPECT_EQ(y[65535], SPIKE);
}

TEST_F(Deline, GroupWithoutOutputStillFeedsBack) {
  // Group 1: no output, a 10-sample tap fed back at 0.5. Group 2 shows the ring one sample late.
  delay("-g % -gf 0.5 -d % -da 1 -dt 9 -g % -go %o -d % -da 1 -dt 0");
  std::vector<int32_t> y = impulse(1);
  std::vector<int> at = spikes(y);
  ASSERT_GE(at.size(), 10u);
  for (size_t k = 0; k < at.size(); ++k) EXPECT_EQ(at[k], static_cast<int>(1 + 10 * k));
  for (size_t k = 1; k < 10; ++k) {
    double ratio = static_cast<double>(y[static_cast<size_t>(at[k])]) / y[static_cast<size_t>(at[k - 1])];
    EXPECT_NEAR(ratio, 0.5, 1e-5) << k;
  }
}

TEST_F(Deline, FullFeedbackDecaysJustBelowOne) {
  delay("-g % -go %o -gf 1 -d % -da 1 -dt 99");
  std::vector<int32_t> y = impulse(10);
  std::vector<int> at = spikes(y);
  ASSERT_EQ(at.size(), 51u);
  for (size_t k = 0; k < at.size(); ++k) EXPECT_EQ(at[k], static_cast<int>(100 * (k + 1)));
  for (size_t k = 1; k < at.size(); ++k) {
    int32_t now = y[static_cast<size_t>(at[k])], before = y[static_cast<size_t>(at[k - 1])];
    EXPECT_LT(now, before) << k;
    EXPECT_GT(now, before - 300) << k;
  }
}

TEST_F(Deline, TwoGroupsReadTheSamePast) {
  KV_Buffer* out2 = makeBuffer("out2");
  auto* e = make<KV_Effect_Deline>(
      "KV_Effect_Deline -i %o -g % -go %o -gf 0.25 -d % -da 1 -dt 0 -g % -go %o -gf 0.25 -d % -da 1 -dt 0", in, out,
      out2);
  std::vector<int32_t> x(BLOCK, 0);
  x[0] = X;
  x[1] = 1000;
  fill(in, x);
  pipe->process();
  EXPECT_EQ(contents(out), contents(out2));
  // Slot 65535 got sample 1: its input plus both groups' feedback of 2^30,
  // each (2^30 - 1) x 2097151 / 2^23 floored = 268435327.
  EXPECT_EQ(e->ring[65535], 1000 + 2 * 268435327);
}

TEST_F(Deline, OutputModesWriteTheLastNSamples) {
  KV_Buffer* wide = makeBuffer("wide");
  ASSERT_EQ(run("%o -l 1024", wide), KV_OK);
  fill(wide, std::vector<int32_t>(1024, 7));
  auto* e = delay("-g % -go %o -d % -da 1 -dt 0 -mode add");
  ASSERT_EQ(run("%o -go %o", e, wide), KV_OK);
  impulse(1);
  std::vector<int32_t> w = contents(wide);
  for (int i = 0; i < 1024; ++i) EXPECT_EQ(w[static_cast<size_t>(i)], i == BLOCK + 1 ? 7 + SPIKE : 7) << i;
  ASSERT_EQ(run("%o -mode sbn", e), KV_OK);
  fill(out, std::vector<int32_t>(BLOCK, 5));
  ASSERT_EQ(run("%o -go %o", e, out), KV_OK);
  std::vector<int32_t> y = impulse(1);
  for (int i = 0; i < BLOCK; ++i) EXPECT_EQ(y[static_cast<size_t>(i)], i == 1 ? SPIKE - 5 : -5) << i;
}

TEST_F(Deline, CompiledTable) {
  // The second group has no output.
  auto* e = delay("-g % -go %o -ga 0.5 -gf -0.25 -d % -da 0.5 -dt 3 -d % -da -1 -dt 7 -g % -d % -dt 2");
  EXPECT_EQ(e->tableLength, 4 + 2 * 2 + 4 + 2);
  e->prepare();
  ASSERT_TRUE(e->ready);
  const KV_word want[] = {3, 1073741823, 7, -2147483647, -1, 4194303, reinterpret_cast<KV_word>(out->main + BLOCK),
                          -2097151, 2, 0, -1, 8388607, 0, 0};
  ASSERT_EQ(e->tableLength, 14);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(e->table[i], want[i]) << i;
  auto& taps = e->groups[0]->taps;
  EXPECT_EQ(taps[1]->tableDelay, 2);
  EXPECT_EQ(taps[1]->tableAmplitude, 3);
  EXPECT_EQ(e->groups[1]->taps[0]->tableDelay, 8);
  // process uses the table once: the next block needs a new one.
  pipe->process();
  EXPECT_FALSE(e->ready);
  // Without a pipe run, process does nothing with a stale table.
  uint16_t at = e->ringPosition;
  e->process();
  EXPECT_EQ(e->ringPosition, at);
}

TEST_F(Deline, ClearTapsAndQueryAmplitude) {
  auto* e = delay("-g % -go %o -d % -da 1 -dt 5 -d % -da 1 -dt 10 -gc -d % -da 1 -dt 20");
  EXPECT_EQ(e->tableLength, 4 + 2);
  EXPECT_EQ(spikes(impulse(1)), std::vector<int>{21});
  // A query of da sets the amplitude to 0.
  int32_t a = -1;
  ASSERT_EQ(run("%o -da", e, &a), KV_OK);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(spikes(impulse(1)), std::vector<int>{});
}

TEST_F(Deline, OptionsWithoutGroupOrTapActOnNothing) {
  auto* e = delay("");
  void *g = out, *d = out;
  int32_t ga = -1, da = -1;
  float dt = -1;
  ASSERT_EQ(run("%o -go %o -ga 0.5 -gf 0.5 -gc -ga -d % -d -da 1 -dt 5 -da -dt", e, out, &ga, &d, &da, &dt), KV_OK);
  EXPECT_EQ(e->groups.size(), 0u);
  EXPECT_EQ(ga, 0);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(da, 0);
  EXPECT_EQ(dt, 0.0f);
  EXPECT_EQ(e->tableLength, 0);
  // A group without taps: tap options still act on nothing.
  ASSERT_EQ(run("%o -g -dt 5 -da 1 -da", e, &g, &da), KV_OK);
  EXPECT_EQ(g, e->groups[0].get());
  EXPECT_EQ(e->groups[0]->taps.size(), 0u);
  EXPECT_EQ(da, 0);
  // -g and -d with something that is not one of this effect's groups or taps change nothing.
  auto* other = delay("-g % -d %");
  ASSERT_EQ(run("%o -g %o -d %o", e, other->groups[0].get(), other->groups[0]->taps[0].get()), KV_OK);
  EXPECT_EQ(e->groups.size(), 1u);
  EXPECT_EQ(e->currentGroup, e->groups[0].get());
  EXPECT_EQ(e->groups[0]->currentTap, nullptr);
  // No group, no input: the effect never becomes ready; nothing is processed.
  auto* bare = make<KV_Effect_Deline>("KV_Effect_Deline -g % -go %o -d % -da 1", out);
  pipe->process();
  EXPECT_FALSE(bare->ready);
  EXPECT_EQ(bare->ringPosition, 0);
}

TEST_F(Deline, TableCapacityIsNeverExceeded) {
  auto* e = delay("");
  void* g = nullptr;
  for (int k = 0; k < 4096; ++k) ASSERT_EQ(run("%o -g", e, &g), KV_OK);
  EXPECT_EQ(e->tableLength, 16384);
  EXPECT_EQ(g, e->groups.back().get());
  ASSERT_EQ(run("%o -g -go %o -g", e, &g, out, &g), KV_OK);
  EXPECT_EQ(g, nullptr);  // refused, and -go went nowhere
  EXPECT_EQ(e->groups.size(), 4096u);
  for (const auto& group : e->groups) ASSERT_EQ(group->output, nullptr);
  e->prepare();
  EXPECT_TRUE(e->ready);

  auto* taps = delay("-g % -go %o");
  for (int k = 0; k < 8190; ++k) ASSERT_EQ(run("%o -d % -da 1 -dt 3", taps), KV_OK);
  EXPECT_EQ(taps->tableLength, 16384);
  void* d = out;
  ASSERT_EQ(run("%o -d -da 0.5", taps, &d), KV_OK);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(taps->groups[0]->taps.size(), 8190u);
  EXPECT_EQ(taps->groups[0]->taps.back()->amplitude, INT32_MAX);
  // Clearing frees the room again.
  ASSERT_EQ(run("%o -gc -d % -da 1 -dt 0", taps), KV_OK);
  EXPECT_EQ(taps->tableLength, 6);
}

TEST_F(Deline, ShortGroupOutputStopsTheBlock) {
  KV_Buffer* shortOut = makeBuffer("short");
  ASSERT_EQ(run("%o -l 100", shortOut), KV_OK);
  fill(shortOut, std::vector<int32_t>(100, 3));
  auto* e = delay("-g % -go %o -d % -da 1 -dt 0");
  ASSERT_EQ(run("%o -go %o", e, shortOut), KV_OK);
  impulse(1);
  EXPECT_FALSE(e->ready);
  EXPECT_EQ(e->ringPosition, 0);
  EXPECT_EQ(contents(shortOut), std::vector<int32_t>(100, 3));
  // Given a long enough output it runs again.
  ASSERT_EQ(run("%o -l 512", shortOut), KV_OK);
  EXPECT_EQ(spikes(impulse(1, shortOut)), std::vector<int>{1});
}

TEST_F(Deline, SwitchingOffClearsTheRing) {
  // The impulse of block 0 would come out in block 2, at 1201 - 1024.
  auto* e = delay("-g % -go %o -d % -da 1 -dt 1200");
  impulse(1);
  EXPECT_EQ(e->ring[0], X);
  fill(in, std::vector<int32_t>(BLOCK, 0));
  ASSERT_EQ(run("KV_Effect %o -on 0", e), KV_OK);
  pipe->process();
  for (int i = 0; i < KV_Effect_Deline::RING; ++i) ASSERT_EQ(e->ring[i], 0) << i;
  ASSERT_EQ(run("KV_Effect %o -on 1", e), KV_OK);
  pipe->process();
  EXPECT_EQ(spikes(contents(out)), std::vector<int>{});
}

TEST_F(Deline, DeleteReleasesTheNetworkAndLeavesThePipe) {
  int32_t before = pipe->effects.count;
  KV_Object* e = nullptr;
  ASSERT_EQ(spcpp(cmd("KV_Effect_Deline -i %o -g % -go %o -d % -da 1 -d % -g % -d %"), &e, in, out), KV_OK);
  EXPECT_EQ(pipe->effects.count, before + 1);
  ASSERT_EQ(run("%o -delete", e), KV_OK);
  EXPECT_EQ(pipe->effects.count, before);
}

}  // namespace

TEST_F(Deline, OneTapReachingABlockBackInEitherForm) {
  // A tap reaching at least a block back may run eight samples at a time: written out sample by
  // sample below, in place and apart, over the ring's end, up to the longest delay (whose read
  // lands on the slot the next sample writes).
  const auto mul23 = [](int32_t a, int32_t b) { return static_cast<int32_t>((int64_t{a} * b) >> 23); };
  const int blocks = 3;
  std::vector<int32_t> x(BLOCK * blocks), o(BLOCK * blocks);
  uint32_t seed = 12345;
  for (size_t t = 0; t < x.size(); ++t) {
    seed = seed * 1664525u + 1013904223u;
    x[t] = static_cast<int32_t>(seed);
    o[t] = static_cast<int32_t>(seed >> 7) - (1 << 23);
  }
  auto* e = delay("-g % -go %o -ga 0.7 -gf -0.6 -d % -da 0.9 -mode add");
  e->prepare();
  ASSERT_TRUE(e->ready);
  const auto amplitude = static_cast<int32_t>(e->table[1]), gain = static_cast<int32_t>(e->table[3]),
             feedback = static_cast<int32_t>(e->table[5]);
  for (int32_t d : {BLOCK - 1, 700, 65534}) {
    for (bool inPlace : {false, true}) {
      KV_Buffer* target = inPlace ? in : out;
      ASSERT_EQ(run("%o -go %o -dt %i", e, target, d), KV_OK);
      std::vector<int32_t> written(x.size()), expected(x.size());
      for (size_t t = 0; t < x.size(); ++t) {
        const size_t back = static_cast<size_t>(d) + 1;
        const int32_t s = t >= back ? KV_mul31(written[t - back], amplitude) : 0;
        written[t] = KV_wrapAdd(x[t], mul23(s, feedback));
        expected[t] = KV_wrapAdd(inPlace ? x[t] : o[t], mul23(s, gain));
      }
      forEachLoopForm([&] {
        e->reset();
        e->ringPosition = 0;
        for (int k = 0; k < blocks; ++k) {
          const auto from = static_cast<std::ptrdiff_t>(k * BLOCK);
          fill(in, std::vector<int32_t>(x.begin() + from, x.begin() + from + BLOCK));
          if (!inPlace) fill(out, std::vector<int32_t>(o.begin() + from, o.begin() + from + BLOCK));
          pipe->process();
          EXPECT_EQ(contents(target, BLOCK), std::vector<int32_t>(expected.begin() + from, expected.begin() + from + BLOCK))
              << "delay " << d << (inPlace ? ", in place" : ", apart") << ", block " << k;
        }
      });
    }
  }
}
