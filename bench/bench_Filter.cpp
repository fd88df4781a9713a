// The filters over 512-sample blocks, in ns per sample.
#include "BenchSupport.h"

#include <list>
#include <random>
#include <string>

#include "KV/Effect/Filter.h"
#include "KV/Spcpp.h"

namespace {

void BM_Lopass(benchmark::State& s) { runEffect(s, "KV_Effect_Lopass -i %o -o %o -clock 44100 -f 200", 1 << 29); }
void BM_LopassAdd(benchmark::State& s) { runEffect(s, "KV_Effect_Lopass -i %o -o %o -clock 44100 -f 200 -mode add", 1 << 29); }
void BM_Hipass(benchmark::State& s) { runEffect(s, "KV_Effect_Hipass -i %o -o %o -clock 44100 -f 125", 1 << 29); }
void BM_Bapass(benchmark::State& s) { runEffect(s, "KV_Effect_Bapass -i %o -o %o -clock 44100 -f 1000 -q 0.5", 1 << 29); }

BENCHMARK(BM_Lopass);
BENCHMARK(BM_LopassAdd);
BENCHMARK(BM_Hipass);
BENCHMARK(BM_Bapass);

}  // namespace
