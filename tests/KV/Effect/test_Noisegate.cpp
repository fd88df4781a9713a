// The Fourier noise gate: sizing, its internal objects, the flat response and the learning.
#include <cmath>

#include "EffectTest.h"
#include "KV/Effect/Deline.h"
#include "KV/Effect/Fourier.h"
#include "KV/Effect/Noisegate.h"

namespace {

constexpr double kPi = 3.141592653589793;


class FourierNoisegate : public EffectTest {
 protected:
  void SetUp() override {
    pipe = makePipe(512);
    source = makeBuffer("src");
    spectrum = makeBuffer("x");
    EXPECT_EQ(run("%o -l 2048", spectrum), KV_OK);
  }
  KV_Fourier_Noisegate* gate(const char* extra = "") {
    std::string c = std::string("KV_Fourier_Noisegate -s %o -i %o") + extra;
    return make<KV_Fourier_Noisegate>(cmd(c.c_str()), source, spectrum);
  }
  // The outputs it creates are its own: the fixture must not delete them as well.
  void outputs(KV_Fourier_Noisegate* g, KV_Buffer*& o1, KV_Buffer*& o2) {
    KV_Object *a = nullptr, *b = nullptr;
    EXPECT_EQ(run("%o -o1 -o2", g, &a, &b), KV_OK);
    o1 = static_cast<KV_Buffer*>(a);
    o2 = static_cast<KV_Buffer*>(b);
  }
  KV_Soundpipe* pipe = nullptr;
  KV_Buffer* source = nullptr;
  KV_Buffer* spectrum = nullptr;
};

TEST_F(FourierNoisegate, SizingFromA2048SampleSpectrum) {
  EXPECT_EQ(KV_Noisegate_exponent(2048), 9);
  EXPECT_EQ(KV_Noisegate_exponent(4), 0);
  EXPECT_EQ(KV_Noisegate_exponent(3), -1);
  KV_Fourier_Noisegate* g = gate();
  for (KV_Fourier_Transform* t : {g->analysis, g->delayedTransform, g->gainTransform, g->nearFilter, g->farFilter}) {
    EXPECT_EQ(t->s, 9);
    EXPECT_EQ(t->points(), 1024);
  }
  EXPECT_EQ(query(g, "w").asPointer(), g->profile);
  EXPECT_EQ(KV_lengthOf(g->profile), 513);
  EXPECT_EQ(contents(g->profile), std::vector<int32_t>(513, 0));
  ASSERT_EQ(KV_lengthOf(g->gain), 2048);
  for (int32_t k = 0; k < 1024; ++k) {
    ASSERT_EQ(g->gain->main[2 * k], 2097151) << k;
    ASSERT_EQ(g->gain->main[2 * k + 1], 0) << k;
  }
  EXPECT_STREQ(static_cast<const char*>(query(g->gainTransform, "d").asPointer()), "backward");
  EXPECT_STREQ(static_cast<const char*>(query(g->analysis, "win").asPointer()), "sin");
  EXPECT_EQ(g->analysis->input, source);
  EXPECT_EQ(g->delay->input, source);
  EXPECT_EQ(g->delayedTransform->input, g->delayed);
  EXPECT_EQ(KV_lengthOf(g->delayed), 512);  // follows the same pipe as the source
  EXPECT_EQ(run("%o -bl 256", pipe), KV_OK);
  EXPECT_EQ(KV_lengthOf(g->delayed), 256);
}

TEST_F(FourierNoisegate, OutputsBeforeAndAfterTheInput) {
  auto* g = make<KV_Fourier_Noisegate>("KV_Fourier_Noisegate -s %o", source);
  EXPECT_EQ(query(g, "o1").asPointer(), nullptr);  // nothing to size it from yet
  EXPECT_EQ(g->output1, nullptr);
  // Sizes outside the transforms' range are refused whole.
  KV_Buffer* huge = makeBuffer("huge");
  EXPECT_EQ(run("%o -l 16384", huge), KV_OK);
  EXPECT_EQ(run("%o -i %o", g, huge), KV_OK);
  EXPECT_EQ(g->input, nullptr);
  EXPECT_EQ(KV_lengthOf(g->gain), 0);
  EXPECT_EQ(g->nearFilter->points(), 0);
  const int32_t buffers = pipe->buffers.count;

  EXPECT_EQ(run("%o -i %o", g, spectrum), KV_OK);
  KV_Buffer *o1, *o2;
  outputs(g, o1, o2);
  ASSERT_NE(o1, nullptr);
  ASSERT_NE(o2, nullptr);
  EXPECT_NE(o1, o2);
  EXPECT_EQ(KV_lengthOf(o1), 2048);
  EXPECT_EQ(query(g, "o1").asPointer(), o1);  // kept
  EXPECT_EQ(pipe->buffers.count, buffers + 2);  // outputs are read by others: they join the pipe
  EXPECT_EQ(query(g, "a").asInt(), 0);
  EXPECT_EQ(run("%o -a 2", g), KV_OK);
  EXPECT_EQ(query(g, "a").asInt(), 1);

  // A made output that is replaced goes; a given one stays until the gate goes.
  KV_Buffer* given = makeBuffer("given");
  objects.remove(given);
  EXPECT_EQ(run("%o -o2 %o", g, given), KV_OK);
  EXPECT_EQ(g->output2, given);
  EXPECT_EQ(pipe->buffers.count, buffers + 2);
  EXPECT_EQ(run("%o -o1 %o", g, given), KV_OK);  // both slots on one buffer
  EXPECT_EQ(pipe->buffers.count, buffers + 1);
  // Deleting the gate deletes its outputs too, the shared one once.
  objects.remove(g);
  EXPECT_EQ(run("%o -delete", g), KV_OK);
  EXPECT_EQ(pipe->buffers.count, buffers);
}

TEST_F(FourierNoisegate, InternalObjectsJoinNoPipe) {
  const int32_t buffers = pipe->buffers.count;
  KV_Fourier_Noisegate* g = gate();
  EXPECT_EQ(pipe->effects.count, 1);
  EXPECT_EQ(pipe->buffers.count, buffers);
  EXPECT_EQ(KV_currentpipe, pipe);
  for (KV_Effect* e : std::initializer_list<KV_Effect*>{g->analysis, g->delayedTransform, g->gainTransform,
                                                        g->nearFilter, g->farFilter, g->delay})
    EXPECT_EQ(e->pipe, nullptr);
  EXPECT_EQ(g->gainTransform->spectrum->item.chain, nullptr);
  // Without outputs it does not run.
  fill(source, std::vector<int32_t>(512, 1000));
  pipe->process();
  EXPECT_EQ(contents(g->analysis->ring), std::vector<int32_t>(1024, 0));
}

TEST_F(FourierNoisegate, FlatResponseWithLearningOff) {
  KV_Fourier_Noisegate* g = gate();
  KV_Buffer *o1, *o2;
  outputs(g, o1, o2);
  uint32_t seed = 7;
  for (int32_t i = 0; i < 2048; ++i) {
    seed = seed * 1664525u + 1013904223u;
    spectrum->main[i] = static_cast<int32_t>(seed >> 4) - (1 << 27);
  }
  for (int32_t i = 0; i < 512; ++i) source->main[i] = static_cast<int32_t>(3e8 * std::sin(2 * kPi * 37 * i / 1024.0));
  fill(o1, std::vector<int32_t>(2048, 5));
  pipe->process();
  EXPECT_EQ(contents(o1), std::vector<int32_t>(2048, 0));  // no filter before the first block
  // Every gain 1.0: one impulse of 1024 x 2097151, a flat near filter and a far filter of about 0.
  // Each unscaled stage floors once: about 1024 x 2097151, a few parts in a million below.
  EXPECT_NEAR(g->gainTransform->spectrum->main[0], 1024.0 * 2097151, 2048);
  EXPECT_NEAR(g->gainTransform->spectrum->main[2], 0, 2);
  for (int32_t k = 0; k < 1024; ++k) {
    ASSERT_NEAR(g->nearFilter->spectrum->main[2 * k], 2097151, 16) << k;
    ASSERT_NEAR(g->nearFilter->spectrum->main[2 * k + 1], 0, 16) << k;
    // Only the rounding of the impulse response's far half: below 2e-5 of the unit gain.
    ASSERT_NEAR(g->farFilter->spectrum->main[2 * k], 0, 40) << k;
    ASSERT_NEAR(g->farFilter->spectrum->main[2 * k + 1], 0, 40) << k;
  }
  EXPECT_EQ(contents(g->profile), std::vector<int32_t>(513, 0));
  // Flat within the filter's rounding: a few parts in 10^5 of each point's magnitude.
  auto flat = [&](KV_Buffer* o) {
    for (int32_t k = 0; k < 1024; ++k) {
      const double re = spectrum->main[2 * k], im = spectrum->main[2 * k + 1];
      const double tolerance = 2 + 2e-5 * std::hypot(re, im);
      ASSERT_NEAR(o->main[2 * k], re, tolerance) << k;
      ASSERT_NEAR(o->main[2 * k + 1], im, tolerance) << k;
    }
  };
  flat(o2);
  pipe->process();  // now output 1 carries the same flat filter
  flat(o1);
}

TEST_F(FourierNoisegate, LearningApproachesTheSourceAndGatesWhatIsBelow) {
  KV_Fourier_Noisegate* g = gate(" -a 1");
  KV_Buffer *o1, *o2;
  outputs(g, o1, o2);
  // A sine at bin 16 repeats every 64 samples: once the ring is full, every block sees the
  // same spectrum.
  auto sine = [&](double amplitude) {
    for (int32_t i = 0; i < 512; ++i) source->main[i] = static_cast<int32_t>(amplitude * std::sin(2 * kPi * 16 * i / 1024.0));
  };
  sine(4e8);
  pipe->process();
  pipe->process();
  const int32_t* S = g->analysis->spectrum->main;
  for (int block = 0; block < 6; ++block) {
    const double m = std::hypot(S[32], S[33]);
    ASSERT_GT(m, 1e6);
    const int32_t p = g->profile->main[16];
    pipe->process();
    EXPECT_EQ(std::hypot(S[32], S[33]), m);
    EXPECT_EQ(g->profile->main[16], static_cast<int32_t>((m - p) * 0.1 + p)) << block;
    // The gain uses the profile from before this block's update.
    EXPECT_EQ(g->gain->main[32], static_cast<int32_t>((m - p) / m * 2147483647.0 * 0.0009765625)) << block;
    EXPECT_EQ(g->gain->main[2 * (1024 - 16)], g->gain->main[32]);  // the mirror bin
  }
  // Freeze the profile, halve the source: the bin is now below its profile and is gated.
  EXPECT_EQ(run("%o -a 0", g), KV_OK);
  const std::vector<int32_t> frozen = contents(g->profile);
  sine(2e8);
  pipe->process();
  pipe->process();
  EXPECT_EQ(contents(g->profile), frozen);
  EXPECT_EQ(g->gain->main[32], 0);
  EXPECT_EQ(g->gain->main[2 * (1024 - 16)], 0);
}

TEST_F(FourierNoisegate, SilenceKeepsEveryGainAtOne) {
  KV_Fourier_Noisegate* g = gate(" -a 1");
  KV_Buffer *o1, *o2;
  outputs(g, o1, o2);
  pipe->process();
  for (int32_t k = 0; k < 1024; ++k) ASSERT_EQ(g->gain->main[2 * k], 2097151) << k;
  EXPECT_EQ(contents(g->profile), std::vector<int32_t>(513, 0));
}

TEST_F(FourierNoisegate, SourceIsDelayedByTheLine) {
  KV_Fourier_Noisegate* g = gate();
  KV_Buffer *o1, *o2;
  outputs(g, o1, o2);
  std::vector<int32_t> seen;
  for (int block = 0; block < 3; ++block) {
    for (int32_t i = 0; i < 512; ++i) source->main[i] = (block * 512 + i + 1) * 1024;
    pipe->process();
    std::vector<int32_t> d = contents(g->delayed);
    seen.insert(seen.end(), d.begin(), d.end());
  }
  // A tap of 512 samples returns what was written 513 samples earlier, scaled by just under 1
  // (amplitude and gain are 2^31 - 1 and 2^23 - 1, each product floored).
  for (int32_t n = 0; n < 1536; ++n) {
    const double expect = n < 513 ? 0.0 : (n - 513 + 1) * 1024.0;
    ASSERT_NEAR(seen[n], expect, 2 + expect * 1e-6) << n;
  }
}

}  // namespace
