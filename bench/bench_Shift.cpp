// Oversampling and pitch shifting over 512-sample input blocks, in ns per input sample.
#include "BenchSupport.h"

#include <list>
#include <random>
#include <string>

#include "KV/Effect/Shift.h"
#include "KV/Spcpp.h"

namespace {

// `outLength` 0: the output follows the block; otherwise its explicit length.
void runShift(benchmark::State& state, const char* command, int32_t outLength) {
  KV_Object *pipe = nullptr, *in = nullptr, *out = nullptr, *effect = nullptr;
  int32_t began = 0;
  spcpp(writable("KV_Soundpipe -bl %i -b"), &pipe, BLOCK, &began);
  spcpp(writable("KV_Buffer -t %o"), &in, "in");
  spcpp(writable("KV_Buffer -t %o"), &out, "out");
  if (outLength) spcpp(writable("%o -l %i"), out, outLength);
  spcpp(writable(command), &effect, in, out);
  spcpp(writable("KV_Effect %o -clock 48000"), effect);
  std::mt19937 gen(1);
  std::uniform_int_distribution<int32_t> d(-(1 << 29), 1 << 29);
  auto* b = static_cast<KV_Buffer*>(in);
  for (int32_t i = 0; i < BLOCK; ++i) b->main[i] = d(gen);
  auto* p = static_cast<KV_Soundpipe*>(pipe);
  for (auto _ : state) {
    p->process();
    benchmark::DoNotOptimize(static_cast<KV_Buffer*>(out)->main[0]);
  }
  countPerSample(state, BLOCK);
  for (KV_Object* o : {effect, out, in}) delete o;
  KV_currentpipe = nullptr;
  delete pipe;
}

void BM_Oversam(benchmark::State& s) { runShift(s, "KV_Effect_Oversam -i %o -o %o", 8 * BLOCK); }
void BM_Nshift(benchmark::State& s) { runShift(s, "KV_Effect_Nshift -i %o -o %o -s -2000", 0); }
void BM_Shift(benchmark::State& s) { runShift(s, "KV_Effect_Shift -i %o -o %o -s -2000", 0); }

BENCHMARK(BM_Oversam);
BENCHMARK(BM_Nshift);
BENCHMARK(BM_Shift);

}  // namespace
