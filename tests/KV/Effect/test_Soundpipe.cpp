// Buffers, the sound pipe and the effect base with its fades.
#include <cmath>
#include <limits>

#include "EffectTest.h"

#include <cmath>

#include "KV/Effect/Fourier.h"

namespace {

// An effect that writes a constant through its view, counting the pipe's calls.
struct Probe : KV_Effect {
  KV_Buffer* out = nullptr;
  int32_t value = 0;
  int processed = 0, prepared = 0, resets = 0, clocks = 0;
  bool prepareSetsReady = true;

  void process() override {
    ++processed;
    int32_t* o = view(out);
    int32_t n = KV_lengthOf(out);
    for (int32_t i = 0; i < n; ++i) o[i] = mode == KV_MODE_ADD ? o[i] + value : value;
  }
  void prepare() override {
    ++prepared;
    ready = prepareSetsReady;
  }
  void reset() override { ++resets; }
  void clockChanged() override { ++clocks; }
};

class Soundpipe : public EffectTest {
 protected:
  Probe* probe(KV_Buffer* out, int32_t value) {
    Probe* p = new Probe;
    p->options = KV_Effect_options;
    p->out = out;
    p->value = value;
    objects.push_back(p);
    return p;
  }
};

TEST_F(Soundpipe, BufferLengthFollowsThePipe) {
  KV_Buffer* loose = makeBuffer();
  EXPECT_EQ(KV_lengthOf(loose), 0);
  EXPECT_EQ(loose->count, 0);
  KV_Soundpipe* p = makePipe(512);
  EXPECT_EQ(KV_currentpipe, p);
  KV_Buffer* b = makeBuffer("buf_i");
  EXPECT_EQ(b->count, 512);
  EXPECT_EQ(KV_lengthOf(b), 512);
  EXPECT_EQ(p->buffers.count, 1);
  EXPECT_EQ(run("%o -bl 100", p), KV_OK);
  EXPECT_EQ(KV_lengthOf(b), 100);
  EXPECT_EQ(b->count, 512);
  // A block longer than the arrays is cut to them.
  p->blockLength = 4096;
  EXPECT_EQ(KV_lengthOf(b), 512);
}

TEST_F(Soundpipe, BufferOptions) {
  makePipe(64);
  KV_Buffer* b = makeBuffer("named");
  EXPECT_STREQ(static_cast<const char*>(KV_findOption(b->options, "t")(b, KV_EMPTY).asPointer()), "named");
  b->position = 70;
  EXPECT_EQ(run("%o -l 32", b), KV_OK);
  EXPECT_EQ(b->count, 32);
  EXPECT_EQ(b->position, 70 % 32);
  EXPECT_EQ(run("%o -l 0", b), KV_OK);
  EXPECT_EQ(b->count, 0);
  EXPECT_EQ(b->main, nullptr);
  EXPECT_EQ(run("%o -l -5", b), KV_OK);
  EXPECT_EQ(b->lengthSetting, 0);
  EXPECT_EQ(run("%o -limit 1.9e3", b), KV_OK);
  EXPECT_EQ(b->limit, 1900);
  KV_currentpipe = nullptr;
  EXPECT_EQ(run("%o -l -1", b), KV_OK);
  EXPECT_EQ(b->lengthSetting, 0);
  EXPECT_EQ(b->pipe, nullptr);
}

TEST_F(Soundpipe, CurrentPipeBeginAndEnd) {
  KV_Soundpipe* p1 = makePipe(16);
  KV_Object* same = nullptr;
  EXPECT_EQ(run("KV_Soundpipe current", &same), KV_OK);
  EXPECT_EQ(same, p1);
  KV_Soundpipe* p2 = makePipe(16);
  EXPECT_EQ(KV_currentpipe, p2);
  KV_Buffer* b = makeBuffer();
  EXPECT_EQ(p2->buffers.count, 1);
  EXPECT_EQ(p1->buffers.count, 0);
  int32_t r = -1;
  EXPECT_EQ(run("%o -b", p1, &r), KV_OK);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(run("%o -e", p1, &r), KV_OK);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(run("%o -e", p2, &r), KV_OK);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(KV_currentpipe, nullptr);
  EXPECT_EQ(run("%o -b", p2, &r), KV_OK);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(run("%o -b", p2, &r), KV_OK);
  EXPECT_EQ(r, 0);  // already current
  (void)b;
  KV_currentpipe = nullptr;
  same = p1;
  EXPECT_EQ(run("KV_Soundpipe current", &same), KV_ERROR_MEMORY_CANNOT_ALLOCATE);
  EXPECT_EQ(same, p1);
}

TEST_F(Soundpipe, OnOffSequenceAndFades) {
  KV_Soundpipe* p = makePipe(8);
  KV_Buffer* b = makeBuffer();
  Probe* e = probe(b, 800);
  p->effects.insert(&e->item);
  EXPECT_EQ(p->process(), 0);
  EXPECT_EQ(e->prepared, 1);
  EXPECT_EQ(contents(b), std::vector<int32_t>(8, 800));

  // Off: one more block fading out into what was there (800 stays), then reset, then skipped.
  fill(b, std::vector<int32_t>(8, 0));
  EXPECT_EQ(run("KV_Effect %o -on 0", e), KV_OK);
  Probe* steady = probe(b, 0);  // reads b steadily, which merges the fade
  steady->mode = KV_MODE_ADD;
  steady->value = 0;
  p->effects.insert(&steady->item);
  p->process();
  std::vector<int32_t> faded = contents(b);
  EXPECT_EQ(faded[0], 800);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(faded[i], 800 * (8 - i) / 8) << i;
  EXPECT_EQ(e->resets, 1);
  p->process();
  EXPECT_EQ(e->processed, 2);
  EXPECT_EQ(e->resets, 1);

  // On again: ramps from without (0) to with (800), prepare not called again.
  fill(b, std::vector<int32_t>(8, 0));
  EXPECT_EQ(run("KV_Effect %o -on 1", e), KV_OK);
  p->process();
  std::vector<int32_t> rising = contents(b);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(rising[i], 800 * i / 8) << i;
  EXPECT_EQ(e->prepared, 1);
  EXPECT_EQ(e->processed, 3);
}

TEST_F(Soundpipe, UnpreparedEffectNeverRunsButIsReset) {
  KV_Soundpipe* p = makePipe(4);
  KV_Buffer* b = makeBuffer();
  Probe* e = probe(b, 5);
  e->prepareSetsReady = false;
  p->effects.insert(&e->item);
  p->process();
  p->process();
  EXPECT_EQ(e->processed, 0);
  EXPECT_EQ(e->prepared, 2);
  e->on = false;
  p->process();
  EXPECT_EQ(e->resets, 1);
  p->reset();
  EXPECT_EQ(e->resets, 2);
}

TEST_F(Soundpipe, LimitDiagnosis) {
  KV_Soundpipe* p = makePipe(4);
  KV_Buffer* a = makeBuffer("a");
  KV_Buffer* b = makeBuffer("b");
  EXPECT_EQ(p->bufferBeyondLimit(), nullptr);
  b->main[2] = -0x40000000;
  EXPECT_EQ(p->bufferBeyondLimit(), b);
  a->main[0] = 0x3FFFFFFF;  // at the limit, not beyond
  EXPECT_EQ(p->bufferBeyondLimit(), b);
  a->limit = 10;
  EXPECT_EQ(p->bufferBeyondLimit(), a);
}

TEST_F(Soundpipe, EffectOptions) {
  KV_Soundpipe* p = makePipe(4);
  KV_Buffer* b = makeBuffer();
  Probe* e1 = probe(b, 1);
  Probe* e2 = probe(b, 2);
  p->effects.insert(&e1->item);
  p->effects.insert(&e2->item);
  KV_Object* next = nullptr;
  EXPECT_EQ(run("KV_Effect %o -before %o -before", e2, e1, &next), KV_OK);
  EXPECT_EQ(next, e1);
  EXPECT_EQ(p->effects.first()->owner, e2);
  EXPECT_EQ(run("KV_Effect %o -before %o", e2, e2), KV_OK);  // itself: no change
  EXPECT_EQ(p->effects.first()->owner, e2);
  EXPECT_EQ(run("KV_Effect %o -mode add", e1), KV_OK);
  EXPECT_EQ(e1->mode, KV_MODE_ADD);
  EXPECT_EQ(run("KV_Effect %o -mode mul", e1), KV_OK);
  EXPECT_EQ(e1->mode, KV_MODE_ADD);
  EXPECT_EQ(run("KV_Effect %o -mode sbn", e1), KV_OK);
  EXPECT_EQ(e1->mode, KV_MODE_SBN);
  EXPECT_EQ(run("KV_Effect %o -clock 44100.7", e1), KV_OK);
  EXPECT_EQ(e1->clock, 44100);
  EXPECT_EQ(e1->clocks, 1);
  int32_t on = -1;
  EXPECT_EQ(run("KV_Effect %o -on 0 -on", e1, &on), KV_OK);
  EXPECT_EQ(on, 0);
}

TEST_F(Soundpipe, ModesCombineWithWrapAround) {
  EXPECT_EQ(KV_combine<KV_MODE_SET>(5, 3), 3);
  EXPECT_EQ(KV_combine<KV_MODE_ADD>(5, 3), 8);
  EXPECT_EQ(KV_combine<KV_MODE_SUB>(5, 3), 2);
  EXPECT_EQ(KV_combine<KV_MODE_STN>(5, 3), -3);
  EXPECT_EQ(KV_combine<KV_MODE_ADN>(5, 3), -8);
  EXPECT_EQ(KV_combine<KV_MODE_SBN>(5, 3), -2);
  EXPECT_EQ(KV_combine<KV_MODE_ADD>(INT32_MAX, 1), INT32_MIN);
  EXPECT_EQ(KV_combine<KV_MODE_STN>(0, INT32_MIN), INT32_MIN);
}

TEST_F(Soundpipe, SharedShadowAndDeletion) {
  KV_Soundpipe* p = makePipe(4);
  KV_Buffer* b = makeBuffer();
  Probe* e1 = probe(b, 10);
  Probe* e2 = probe(b, 20);
  p->effects.insert(&e1->item);
  p->effects.insert(&e2->item);
  e1->previousOn = e2->previousOn = false;  // both fading in, same state: one shadow
  e2->mode = KV_MODE_ADD;
  int32_t* v1 = e1->view(b);
  int32_t* v2 = e2->view(b);
  EXPECT_EQ(v1, b->shadow);
  EXPECT_EQ(v2, b->shadow);
  // Deleting an effect takes it out of its pipe.
  objects.remove(e1);
  EXPECT_EQ(run("%o -delete", e1), KV_OK);
  EXPECT_EQ(p->effects.count, 1);
}

// A graph of every stateful effect family, each from one input to an output of its own.
class Restart : public EffectTest {
 protected:
  struct Graph {
    KV_Soundpipe* pipe;
    KV_Buffer* in;
    std::vector<KV_Buffer*> outs;
    KV_Effect* lopass;
  };

  Graph build() {
    Graph g{makePipe(64), makeBuffer("in"), {}, nullptr};
    static const char* const scripts[] = {
        "KV_Effect_Lopass -i %o -o %o -clock 44100 -f 500",
        "KV_Effect_Bapass -i %o -o %o -clock 44100 -f 1000 -q 0.5",
        "KV_Effect_Tolvar -i %o -o %o -clock 44100",
        "KV_Effect_Freqmul -i %o -o %o -clock 44100 -k 3",
        "KV_Effect_Deline -i %o -g % -go %o -d % -da 1 -dt 100",
        "KV_Effect_Dist -i %o -o %o -clock 44100 -k 0.01",
        "KV_Effect_Ampdet -i %o -o %o -clock 44100 -f1 1000 -f2 10",
        "KV_Effect_Shift -i %o -o %o -s 3000",
        "KV_Effect_Nshift -i %o -o %o -s -1000",
    };
    for (const char* script : scripts) {
      g.outs.push_back(makeBuffer("out"));
      KV_Effect* e = make<KV_Effect>(script, g.in, g.outs.back());
      if (!g.lopass) g.lopass = e;
    }
    auto* transform = make<KV_Fourier_Transform>("KV_Fourier_Transform -s 3 -d forward -i %o", g.in);
    g.outs.push_back(transform->spectrum);
    // A reader of the low-pass's output, where its fades are merged.
    g.outs.push_back(makeBuffer("copy"));
    make("KV_Effect_Copy -i %o -o %o", g.outs.front(), g.outs.back());
    return g;
  }

  // Blocks of a bass tone with a little noise; `seed` makes each signal its own.
  static std::vector<std::vector<int32_t>> feed(Graph& g, uint32_t seed, int blocks) {
    std::vector<std::vector<int32_t>> result;
    for (int b = 0; b < blocks; ++b) {
      for (int32_t i = 0; i < 64; ++i) {
        seed = seed * 1664525u + 1013904223u;
        double t = (b * 64 + i) / 44100.0;
        g.in->main[i] = static_cast<int32_t>(std::sin(t * 2 * 3.14159265 * 110) * (1 << 29)) + static_cast<int32_t>(seed >> 12);
      }
      g.pipe->process();
      for (KV_Buffer* out : g.outs) result.push_back(contents(out, out->count));
    }
    return result;
  }
};

// After a restart the graph gives what a fresh one gives, an effect switched off included.
TEST_F(Restart, GivesAFreshGraphsOutput) {
  Graph used = build();
  feed(used, 1, 1100);  // long enough to fill every ring
  ASSERT_EQ(run("%o -on 0", used.lopass), KV_OK);
  feed(used, 3, 2);
  used.pipe->restart();
  const auto afterRestart = feed(used, 2, 6);

  Graph fresh = build();
  ASSERT_EQ(run("%o -on 0", fresh.lopass), KV_OK);
  const auto expected = feed(fresh, 2, 6);
  ASSERT_EQ(afterRestart.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(afterRestart[i], expected[i]) << "block " << i / 11 << " output " << i % 11;
}

}  // namespace

namespace {

// Host floats in, four at a time and one at a time alike: clipped, NaN to -1, truncated.
TEST(SampleConversion, BlocksConvertAsSingleSamples) {
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> x{std::nanf(""), inf, -inf, 1.0f, -1.0f, std::nextafter(1.0f, 2.0f), std::nextafter(-1.0f, -2.0f),
                       0.5f, -0.75f, 1e-9f, -1e-9f, -0.0f, 3.0f, -3.0f, 0.999999f, std::nanf(""), 0.25f};
  std::vector<int32_t> y(x.size());
  KV_samplesOf(x.data(), y.data(), static_cast<int32_t>(x.size()));
  for (size_t i = 0; i < x.size(); ++i) EXPECT_EQ(y[i], KV_sampleOf(x[i])) << i;
  EXPECT_EQ(y[0], -KV_ONE);
  EXPECT_EQ(y[1], KV_ONE);
}

// A sample out is s x 2^-30 rounded once to float: at every magnitude, on and beside the halfway
// points between neighbouring floats.
TEST(SampleConversion, FloatOfRoundsOnce) {
  for (int e = 24; e < 31; ++e)
    for (int64_t m : {int64_t{1} << 23, (int64_t{1} << 24) - 1, int64_t{12345677}, int64_t{12345678}})
      for (int64_t d : {-1, 0, 1}) {
        const int64_t half = int64_t{1} << (e - 24);
        for (int64_t v : {(m << (e - 23)) + half + d, -((m << (e - 23)) + half + d)}) {
          if (v > INT32_MAX || v < INT32_MIN) continue;
          const int32_t s = static_cast<int32_t>(v);
          EXPECT_EQ(KV_floatOf(s), static_cast<float>(static_cast<double>(s) / 1073741824.0)) << s;
        }
      }
}

}  // namespace
