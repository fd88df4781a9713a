// Copy, Oper and Koef over 512-sample blocks, in ns per sample.
#include "BenchSupport.h"

#include <list>
#include <string>

#include "KV/Effect/Arith.h"
#include "KV/Spcpp.h"

namespace {

constexpr int32_t BLOCK = 512;
const char* const OPS[] = {"add", "sub", "mul", "div"};

// A pipe with two input buffers (a ramp and a sawtooth of other period) and one output.
struct Graph {
  KV_Object *pipe = nullptr, *a = nullptr, *b = nullptr, *out = nullptr, *effect = nullptr;

  Graph() {
    int32_t began = 0;
    spcpp(writable("KV_Soundpipe -bl %i -b"), &pipe, BLOCK, &began);
    spcpp(writable("KV_Buffer -t %o"), &a, "a");
    spcpp(writable("KV_Buffer -t %o"), &b, "b");
    spcpp(writable("KV_Buffer -t %o"), &out, "out");
    for (int32_t i = 0; i < BLOCK; ++i) {
      static_cast<KV_Buffer*>(a)->main[i] = (i - BLOCK / 2) * 2000003;
      static_cast<KV_Buffer*>(b)->main[i] = (i % 37 - 18) * 5000011;
    }
  }
  ~Graph() {
    for (KV_Object* o : {effect, out, b, a}) delete o;
    KV_currentpipe = nullptr;
    delete pipe;
  }

  void run(benchmark::State& state) {
    auto* p = static_cast<KV_Soundpipe*>(pipe);
    for (auto _ : state) {
      p->process();
      benchmark::DoNotOptimize(static_cast<KV_Buffer*>(out)->main[BLOCK - 1]);
    }
    countPerSample(state, BLOCK);
  }
};

void BM_Oper(benchmark::State& state) {
  Graph g;
  spcpp(writable("KV_Effect_Oper -i1 %o -i2 %o -o %o -oper %s"), &g.effect, g.a, g.b, g.out, OPS[state.range(0)]);
  state.SetLabel(OPS[state.range(0)]);
  g.run(state);
}

void BM_Koef(benchmark::State& state) {
  Graph g;
  spcpp(writable("KV_Effect_Koef -i %o -o %o -oper %s -k 0.7 -mode add"), &g.effect, g.a, g.out,
        OPS[state.range(0)]);
  state.SetLabel(OPS[state.range(0)]);
  g.run(state);
}

void BM_Copy(benchmark::State& state) {
  Graph g;
  spcpp(writable("KV_Effect_Copy -i %o -o %o -mode sub"), &g.effect, g.a, g.out);
  g.run(state);
}

BENCHMARK(BM_Oper)->DenseRange(0, 3);
BENCHMARK(BM_Koef)->DenseRange(0, 3);
BENCHMARK(BM_Copy);

}  // namespace
