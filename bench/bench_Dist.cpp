// Sign, distortion and envelope effects over 512-sample blocks, in ns per sample.
#include "BenchSupport.h"

#include <list>
#include <random>
#include <string>

#include "KV/Effect/Dist.h"
#include "KV/Spcpp.h"

namespace {

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
