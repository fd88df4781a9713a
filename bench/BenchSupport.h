// What the effect benchmarks share: writable commands, and one effect run in a pipe of its own.
#pragma once

#include <benchmark/benchmark.h>

#include <list>
#include <random>
#include <string>

#include "KV/Effect/Effect.h"
#include "KV/Spcpp.h"

constexpr int32_t BLOCK = 512;

// Commands must be writable and outlive the objects made from them.
inline char* writable(const char* text) {
  static std::list<std::string> texts;
  texts.emplace_back(text);
  return texts.back().data();
}

// Reports the time per processed sample as "per_sample".
inline void countPerSample(benchmark::State& state, double samplesPerIteration) {
  state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * samplesPerIteration,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One pipe with one effect reading `in` and writing `out` (and `extra` when the command names a
// third buffer), fed uniform noise of the given amplitude, torn down at the end of the run.
inline void runEffect(benchmark::State& state, const char* command, int32_t amplitude = 1 << 30) {
  KV_Object *pipe = nullptr, *in = nullptr, *out = nullptr, *extra = nullptr, *effect = nullptr;
  int32_t began = 0;
  spcpp(writable("KV_Soundpipe -bl %i -b"), &pipe, BLOCK, &began);
  spcpp(writable("KV_Buffer -t %o"), &in, "in");
  spcpp(writable("KV_Buffer -t %o"), &out, "out");
  spcpp(writable("KV_Buffer -t %o"), &extra, "extra");
  spcpp(writable(command), &effect, in, out, extra);
  int32_t clock = 0;
  spcpp(writable("KV_Effect %o -clock"), effect, &clock);
  if (clock == 0) spcpp(writable("KV_Effect %o -clock 48000"), effect);
  std::mt19937 gen(1);
  std::uniform_int_distribution<int32_t> d(-amplitude, amplitude);
  auto* b = static_cast<KV_Buffer*>(in);
  for (int32_t i = 0; i < BLOCK; ++i) b->main[i] = d(gen);
  auto* p = static_cast<KV_Soundpipe*>(pipe);
  for (auto _ : state) {
    p->process();
    benchmark::DoNotOptimize(static_cast<KV_Buffer*>(out)->main[BLOCK - 1]);
  }
  countPerSample(state, BLOCK);
  for (KV_Object* o : {effect, extra, out, in}) delete o;
  KV_currentpipe = nullptr;
  delete pipe;
}
