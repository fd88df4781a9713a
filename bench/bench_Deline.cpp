// The delay network over 512-sample blocks, in ns per sample: the product's single tap, and a
// small reverberator of four groups with four taps each and feedback.
#include "BenchSupport.h"

#include <list>
#include <string>

#include "KV/Effect/Deline.h"
#include "KV/Spcpp.h"

namespace {

void runNetwork(benchmark::State& state, int groups, int taps) {
  KV_Object *pipe = nullptr, *in = nullptr, *out = nullptr, *effect = nullptr;
  int32_t began = 0;
  spcpp(writable("KV_Soundpipe -bl %i -b"), &pipe, BLOCK, &began);
  spcpp(writable("KV_Buffer -t %o"), &in, "in");
  spcpp(writable("KV_Buffer -t %o"), &out, "out");
  spcpp(writable("KV_Effect_Deline -i %o -clock 44100"), &effect, in);
  for (int g = 0; g < groups; ++g) {
    spcpp(writable("%o -g % -go %o -ga 0.3 -gf 0.2 -mode add"), effect, out);
    for (int t = 0; t < taps; ++t) spcpp(writable("%o -d % -da 0.25 -dt %i"), effect, 97 * (g + 1) + 31 * t);
  }
  auto* input = static_cast<KV_Buffer*>(in);
  for (int32_t i = 0; i < BLOCK; ++i) input->main[i] = (i * 7919 % 1024 - 512) << 20;
  auto* p = static_cast<KV_Soundpipe*>(pipe);
  for (auto _ : state) {
    p->process();
    benchmark::DoNotOptimize(static_cast<KV_Buffer*>(out)->main[BLOCK - 1]);
  }
  countPerSample(state, BLOCK);
  for (KV_Object* o : {effect, out, in}) delete o;
  KV_currentpipe = nullptr;
  delete pipe;
}

void BM_DelineSourceDelay(benchmark::State& state) { runNetwork(state, 1, 1); }
void BM_DelineReverb(benchmark::State& state) { runNetwork(state, 4, 4); }

BENCHMARK(BM_DelineSourceDelay);
BENCHMARK(BM_DelineReverb);

}  // namespace
