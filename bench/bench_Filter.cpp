// The filters over 512-sample blocks, in ns per sample.
#include <benchmark/benchmark.h>

#include <list>
#include <random>
#include <string>

#include "KV/Effect/Filter.h"
#include "KV/Spcpp.h"

namespace {

constexpr int32_t BLOCK = 512;

char* writable(const char* text) {
  static std::list<std::string> texts;
  texts.emplace_back(text);
  return texts.back().data();
}

// One pipe with one filter between two buffers, torn down at the end of the run.
void runFilter(benchmark::State& state, const char* command) {
  KV_Object *pipe = nullptr, *in = nullptr, *out = nullptr, *effect = nullptr;
  int32_t began = 0;
  spcpp(writable("KV_Soundpipe -bl %i -b"), &pipe, BLOCK, &began);
  spcpp(writable("KV_Buffer -t %o"), &in, "in");
  spcpp(writable("KV_Buffer -t %o"), &out, "out");
  spcpp(writable(command), &effect, in, out);
  std::mt19937 gen(1);
  std::uniform_int_distribution<int32_t> d(-(1 << 29), 1 << 29);
  auto* b = static_cast<KV_Buffer*>(in);
  for (int32_t i = 0; i < BLOCK; ++i) b->main[i] = d(gen);
  auto* p = static_cast<KV_Soundpipe*>(pipe);
  for (auto _ : state) {
    p->process();
    benchmark::DoNotOptimize(static_cast<KV_Buffer*>(out)->main[BLOCK - 1]);
  }
  state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * BLOCK,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  for (KV_Object* o : {effect, out, in}) delete o;
  KV_currentpipe = nullptr;
  delete pipe;
}

void BM_Lopass(benchmark::State& s) { runFilter(s, "KV_Effect_Lopass -i %o -o %o -clock 44100 -f 200"); }
void BM_LopassAdd(benchmark::State& s) { runFilter(s, "KV_Effect_Lopass -i %o -o %o -clock 44100 -f 200 -mode add"); }
void BM_Hipass(benchmark::State& s) { runFilter(s, "KV_Effect_Hipass -i %o -o %o -clock 44100 -f 125"); }
void BM_Bapass(benchmark::State& s) { runFilter(s, "KV_Effect_Bapass -i %o -o %o -clock 44100 -f 1000 -q 0.5"); }

BENCHMARK(BM_Lopass);
BENCHMARK(BM_LopassAdd);
BENCHMARK(BM_Hipass);
BENCHMARK(BM_Bapass);

}  // namespace
