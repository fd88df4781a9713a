// The fixed-point transform (us per 1024-point transform) and the noise gate (per source sample).
#include "BenchSupport.h"

#include <list>
#include <random>
#include <string>

#include "KV/Effect/Fourier.h"
#include "KV/Effect/Noisegate.h"
#include "KV/Spcpp.h"

namespace {

void randomize(KV_Buffer* b, int32_t n) {
  std::mt19937 gen(1);
  std::uniform_int_distribution<int32_t> d(-(1 << 29), 1 << 29);
  for (int32_t i = 0; i < n; ++i) b->main[i] = d(gen);
}

// One 1024-point transform (s = 9) per iteration: forward fed by a 1024-sample block.
void runTransform(benchmark::State& state, const char* extra) {
  KV_Object *pipe = nullptr, *in = nullptr, *fx = nullptr;
  int32_t began = 0;
  spcpp(writable("KV_Soundpipe -bl %i -b"), &pipe, 2048, &began);
  spcpp(writable("KV_Buffer -t %o"), &in, "in");
  spcpp(writable((std::string("KV_Fourier_Transform -i %o -s 9") + extra).c_str()), &fx, in);
  // Backward reads 2N = 2048 points' worth of samples: its input gets that length.
  if (static_cast<KV_Fourier_Transform*>(fx)->backward) spcpp(writable("%o -l 2048"), in);
  randomize(static_cast<KV_Buffer*>(in), 2048);
  auto* p = static_cast<KV_Soundpipe*>(pipe);
  spcpp(writable("%o -bl 1024"), p);
  auto* t = static_cast<KV_Fourier_Transform*>(fx);
  for (auto _ : state) {
    p->process();
    benchmark::DoNotOptimize(t->spectrum->main[2]);
  }
  delete fx;
  delete in;
  KV_currentpipe = nullptr;
  delete pipe;
}

void BM_Forward1024(benchmark::State& s) { runTransform(s, ""); }
void BM_Forward1024Sin(benchmark::State& s) { runTransform(s, " -win sin"); }
void BM_Backward1024(benchmark::State& s) { runTransform(s, " -d backward"); }

// The noise gate at N = 1024 on 512-sample source blocks, learning.
void BM_Noisegate(benchmark::State& state) {
  KV_Object *pipe = nullptr, *src = nullptr, *x = nullptr, *gate = nullptr, *o1 = nullptr, *o2 = nullptr;
  int32_t began = 0;
  spcpp(writable("KV_Soundpipe -bl %i -b"), &pipe, 512, &began);
  spcpp(writable("KV_Buffer -t %o"), &src, "src");
  spcpp(writable("KV_Buffer -t %o -l 2048"), &x, "x");
  spcpp(writable("KV_Fourier_Noisegate -s %o -i %o -a 1 -o1 -o2"), &gate, src, x, &o1, &o2);
  randomize(static_cast<KV_Buffer*>(src), 512);
  randomize(static_cast<KV_Buffer*>(x), 2048);
  auto* p = static_cast<KV_Soundpipe*>(pipe);
  for (auto _ : state) {
    p->process();
    benchmark::DoNotOptimize(static_cast<KV_Buffer*>(o2)->main[0]);
  }
  countPerSample(state, 512);
  delete gate;  // and its two outputs
  delete x;
  delete src;
  KV_currentpipe = nullptr;
  delete pipe;
}

// One iteration is one transform: the time column is the time per transform.
BENCHMARK(BM_Forward1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Forward1024Sin)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Backward1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Noisegate);

}  // namespace
