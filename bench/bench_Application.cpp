// The product's whole graph: runBlock with every effect on, at 48 kHz, in host blocks of 512.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "app/KV_Application.h"

namespace {

void BM_RunBlock(benchmark::State& state) {
  KV_Application app;
  app.build();
  app.sampleRate = 48000;
  app.sendClock();
  const int block = static_cast<int>(state.range(0));
  std::vector<float> x(static_cast<size_t>(block)), l(x.size()), r(x.size());
  double phase = 0;
  float* in[1] = {x.data()};
  float* out[2] = {l.data(), r.data()};
  for (auto _ : state) {
    state.PauseTiming();
    for (float& s : x) {  // a 55 Hz bass tone with overtones
      s = static_cast<float>(0.4 * std::sin(phase) + 0.2 * std::sin(2 * phase) + 0.1 * std::sin(3 * phase));
      phase += 2 * 3.14159265358979 * 55.0 / 48000.0;
    }
    state.ResumeTiming();
    app.runBlock(in, out, block);
    benchmark::DoNotOptimize(l.data());
  }
  state.SetItemsProcessed(state.iterations() * block);
  // Items per second / 48000 is the multiple of real time on one core.
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * block / 48000.0, benchmark::Counter::kIsRate);
  app.destroy();
}

BENCHMARK(BM_RunBlock)->Arg(512)->Arg(64);

}  // namespace
