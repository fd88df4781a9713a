// Sign, distortion and envelope effects over 512-sample blocks, in ns per sample.
#include <benchmark/benchmark.h>

#include <list>
#include <random>
#include <string>

#include "KV/Effect/Dist.h"
#include "KV/Spcpp.h"

namespace {

constexpr int32_t BLOCK = 512;

char* writable(const char* text) {
  static std::list<std::string> texts;
  texts.emplace_back(text);
  return texts.back().data();
}

// One pipe with one effect reading `in` and writing `out` (and `extra` when the command
// names a third buffer), torn down at the end of the run.
void runEffect(benchmark::State& state, const char* command) {
  KV_Object *pipe = nullptr, *in = nullptr, *out = nullptr, *extra = nullptr, *effect = nullptr;
  int32_t began = 0;
  spcpp(writable("KV_Soundpipe -bl %i -b"), &pipe, BLOCK, &began);
  spcpp(writable("KV_Buffer -t %o"), &in, "in");
  spcpp(writable("KV_Buffer -t %o"), &out, "out");
  spcpp(writable("KV_Buffer -t %o"), &extra, "extra");
  spcpp(writable(command), &effect, in, out, extra);
  spcpp(writable("KV_Effect %o -clock 48000"), effect);
  std::mt19937 gen(1);
  std::uniform_int_distribution<int32_t> d(-(1 << 30), 1 << 30);
  auto* b = static_cast<KV_Buffer*>(in);
  for (int32_t i = 0; i < BLOCK; ++i) b->main[i] = d(gen);
  auto* p = static_cast<KV_Soundpipe*>(pipe);
  for (auto _ : state) {
    p->process();
    benchmark::DoNotOptimize(static_cast<KV_Buffer*>(out)->main[BLOCK - 1]);
  }
  state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * BLOCK,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  for (KV_Object* o : {effect, extra, out, in}) delete o;
  KV_currentpipe = nullptr;
  delete pipe;
}

void BM_Gtzero(benchmark::State& s) { runEffect(s, "KV_Effect_Gtzero -i %o -o %o"); }
void BM_Ltzero(benchmark::State& s) { runEffect(s, "KV_Effect_Ltzero -i %o -o %o -l 1000"); }
void BM_Dist(benchmark::State& s) { runEffect(s, "KV_Effect_Dist -i %o -o %o -d 0.5 -k 0.001"); }
void BM_DistAsymmetric(benchmark::State& s) { runEffect(s, "KV_Effect_Dist -i %o -o %o -d 0.5 -k 0.001 -l 1"); }
void BM_Ampdet(benchmark::State& s) { runEffect(s, "KV_Effect_Ampdet -i %o -o %o -a %o -f1 100 -f2 5"); }
void BM_AmpdetAdd(benchmark::State& s) { runEffect(s, "KV_Effect_Ampdet -i %o -o %o -a %o -f1 100 -f2 5 -mode add"); }

BENCHMARK(BM_Gtzero);
BENCHMARK(BM_Ltzero);
BENCHMARK(BM_Dist);
BENCHMARK(BM_DistAsymmetric);
BENCHMARK(BM_Ampdet);
BENCHMARK(BM_AmpdetAdd);

}  // namespace
