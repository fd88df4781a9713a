// copyBuffer between an interleaved stereo device block and two pipe buffers, both ways, for
// 16-bit integer and 32-bit float devices. The per_sample counter is the time per channel sample.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "KV/Rts/Rts.h"

namespace {

// A pipe buffer seen as a channel: 31 significant bits put 2^30 at full scale.
constexpr uint32_t PIPE = KV_Rts::format(4, 31, 1);

template <class Sample>
struct Stereo {
  std::vector<Sample> device;
  std::vector<int32_t> left, right;
  KV_Rts::Chan dev[2], pipe[2];

  Stereo(int32_t frames, uint32_t deviceFormat)
      : device(2 * static_cast<size_t>(frames)), left(static_cast<size_t>(frames)), right(left.size()) {
    for (int c = 0; c < 2; ++c) {
      dev[c] = KV_Rts::Chan(c ? "Right" : "Left", deviceFormat, frames);
      dev[c].data = device.data() + c;
      pipe[c] = KV_Rts::Chan("pipe", PIPE, frames);
    }
    pipe[0].data = left.data();
    pipe[1].data = right.data();
    for (int32_t i = 0; i < frames; ++i) {  // a tone at about -6 dB, so that nothing clamps
      const double x = 0.5 * std::sin(0.05 * i);
      left[static_cast<size_t>(i)] = static_cast<int32_t>(x * (1 << 30));
      right[static_cast<size_t>(i)] = -left[static_cast<size_t>(i)];
    }
  }
};

template <class Sample, bool In>
void BM_Copy(benchmark::State& state, uint32_t deviceFormat) {
  const int32_t frames = static_cast<int32_t>(state.range(0));
  Stereo<Sample> s(frames, deviceFormat);
  for (int c = 0; c < 2; ++c) KV_Rts::copyBuffer(&s.dev[c], &s.pipe[c]);  // a device block to read
  for (auto _ : state) {
    for (int c = 0; c < 2; ++c) {
      if (In)
        benchmark::DoNotOptimize(KV_Rts::copyBuffer(&s.pipe[c], &s.dev[c]));
      else
        benchmark::DoNotOptimize(KV_Rts::copyBuffer(&s.dev[c], &s.pipe[c]));
    }
    benchmark::ClobberMemory();
  }
  const double samples = static_cast<double>(state.iterations()) * 2 * frames;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["per_sample"] = benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Int16StereoIn(benchmark::State& s) { BM_Copy<int16_t, true>(s, KV_Rts::format(4, 16)); }
void BM_Int16StereoOut(benchmark::State& s) { BM_Copy<int16_t, false>(s, KV_Rts::format(4, 16)); }
void BM_Float32StereoIn(benchmark::State& s) { BM_Copy<float, true>(s, KV_Rts::format(8, 32, 0, true)); }
void BM_Float32StereoOut(benchmark::State& s) { BM_Copy<float, false>(s, KV_Rts::format(8, 32, 0, true)); }

BENCHMARK(BM_Int16StereoIn)->Arg(512)->Arg(64);
BENCHMARK(BM_Int16StereoOut)->Arg(512)->Arg(64);
BENCHMARK(BM_Float32StereoIn)->Arg(512)->Arg(64);
BENCHMARK(BM_Float32StereoOut)->Arg(512)->Arg(64);

}  // namespace
