// The frequency multipliers on a bass signal: nanoseconds per sample at k = 2 and k = 3, in
// blocks of 512 at 44100 Hz, the way the product runs them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include "KV/Effect/Freqmul.h"
#include "KV/Spcpp.h"

namespace {

constexpr int kBlock = 512;
constexpr int kClock = 44100;

// A bass line: 55 Hz with its octave and a slow amplitude swell, about half of full scale.
std::vector<int32_t> bass(int count) {
  std::vector<int32_t> x(count);
  for (int i = 0; i < count; ++i) {
    double t = static_cast<double>(i) / kClock;
    double v = 0.35 * std::sin(2 * std::numbers::pi * 55.0 * t) + 0.15 * std::sin(2 * std::numbers::pi * 110.0 * t + 0.3);
    v *= 0.75 + 0.25 * std::sin(2 * std::numbers::pi * 0.5 * t);
    x[i] = static_cast<int32_t>(v * KV_ONE);
  }
  return x;
}

template <class T>
void runMultiplier(benchmark::State& state, const char* className) {
  const int k = static_cast<int>(state.range(0));
  char pipeCmd[] = "KV_Soundpipe -bl %i -b";
  char bufCmd[] = "KV_Buffer -t %o";
  char effectCmd[96];
  std::snprintf(effectCmd, sizeof effectCmd, "%s -i %%o -o %%o -k %%i", className);
  char clockCmd[] = "KV_Effect %o -clock %i";
  char endCmd[] = "%o -e";

  KV_Object *pipe = nullptr, *in = nullptr, *out = nullptr, *fx = nullptr;
  int32_t began = 0, ended = 0;
  spcpp(pipeCmd, &pipe, kBlock, &began);
  spcpp(bufCmd, &in, "in");
  spcpp(bufCmd, &out, "out");
  spcpp(effectCmd, &fx, in, out, k);
  spcpp(clockCmd, fx, kClock);
  spcpp(endCmd, pipe, &ended);
  auto* p = static_cast<KV_Soundpipe*>(pipe);
  auto* input = static_cast<KV_Buffer*>(in);
  if (static_cast<T*>(fx)->k != static_cast<uint32_t>(k)) state.SkipWithError("k refused");

  const std::vector<int32_t> signal = bass(kClock * 4);
  size_t pos = 0;
  for (auto _ : state) {
    if (pos + kBlock > signal.size()) pos = 0;
    std::memcpy(input->main, signal.data() + pos, sizeof(int32_t) * kBlock);
    pos += kBlock;
    p->process();
    benchmark::DoNotOptimize(static_cast<KV_Buffer*>(out)->main[kBlock - 1]);
  }
  // Seconds per sample, printed with its SI prefix (for example "3.1n" for 3.1 ns).
  state.counters["per_sample"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlock);

  delete fx;
  delete out;
  delete in;
  delete pipe;
}

void BM_Tolvar(benchmark::State& state) { runMultiplier<KV_Effect_Tolvar>(state, "KV_Effect_Tolvar"); }
void BM_Freqmul(benchmark::State& state) { runMultiplier<KV_Effect_Freqmul>(state, "KV_Effect_Freqmul"); }

}  // namespace

BENCHMARK(BM_Tolvar)->Arg(2)->Arg(3);
BENCHMARK(BM_Freqmul)->Arg(2)->Arg(3);
