// Where the time of the product's graph goes: the real graph, built by the application, run block
// by block with a clock around each effect's processing, summed per effect class.
//
//   effectbench [--rate R] [--block B] [--seconds S] [--reps N]
//
// The pipe's walk is done here, effect by effect, exactly as the pipe does it when every effect
// stays on; before timing, its output is checked against the pipe's own on a second graph.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "KV/Effect/Effect.h"
#include "app/KV_Application.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Graph {
  KV_Application app;
  KV_Soundpipe* pipe = nullptr;
  KV_Buffer* in = nullptr;
  KV_Buffer* out = nullptr;

  Graph(int rate, int block) {
    app.blockLength = block;
    if (app.build() != KV_OK) {
      std::fprintf(stderr, "effectbench: the graph could not be built\n");
      std::exit(1);
    }
    app.sampleRate = rate;
    app.sendClock();
    pipe = static_cast<KV_Soundpipe*>(app.graph[KV_Application::PIPE]);
    in = static_cast<KV_Buffer*>(app.graph[KV_Application::BUF_I]);
    out = static_cast<KV_Buffer*>(app.graph[KV_Application::BUF_O]);
  }
  ~Graph() { KV_ignore(app.destroy()); }  // the run is over: nothing to do about a failure

  void load(const float* x, int n) {
    for (int i = 0; i < n; ++i) in->main[i] = KV_sampleOf(x[i]);
    pipe->blockLength = n;
  }
};

// The class word of an effect's creating command.
std::string classOf(const KV_Effect* e) {
  std::string c = e->command ? e->command : "?";
  return c.substr(0, c.find(' '));
}

// The pipe's walk with a clock around every processing; nanoseconds are added per effect.
void timedWalk(KV_Soundpipe* pipe, std::vector<double>& ns) {
  KV_forEach<KV_Buffer>(pipe->buffers, [](KV_Buffer* b) { b->viewState = 0; });
  size_t i = 0;
  KV_forEach<KV_Effect>(pipe->effects, [&](KV_Effect* e) {
    auto start = Clock::now();
    if (!e->ready) e->prepare();
    if (e->ready) e->process();
    ns[i++] += std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  });
}

std::vector<float> bass(int rate, double seconds) {
  std::vector<float> x(static_cast<size_t>(rate * seconds));
  const double w = 2 * 3.14159265358979 * 55.0 / rate;
  for (size_t i = 0; i < x.size(); ++i) {
    double p = w * static_cast<double>(i);
    x[i] = static_cast<float>(0.4 * std::sin(p) + 0.2 * std::sin(2 * p) + 0.1 * std::sin(3 * p));
  }
  return x;
}

bool walkMatchesPipe(int rate, int block, const std::vector<float>& x) {
  Graph a(rate, block), b(rate, block);
  std::vector<double> ns(static_cast<size_t>(a.pipe->effects.count));
  for (size_t pos = 0; pos + static_cast<size_t>(block) <= x.size(); pos += static_cast<size_t>(block)) {
    a.load(x.data() + pos, block);
    b.load(x.data() + pos, block);
    a.pipe->process();
    timedWalk(b.pipe, ns);
    if (std::memcmp(a.out->main, b.out->main, sizeof(int32_t) * static_cast<size_t>(block)) != 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int rate = 48000, block = 512, reps = 7;
  double seconds = 2.0;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--rate") rate = std::atoi(argv[i + 1]);
    else if (a == "--block") block = std::atoi(argv[i + 1]);
    else if (a == "--seconds") seconds = std::atof(argv[i + 1]);
    else if (a == "--reps") reps = std::atoi(argv[i + 1]);
  }
  if (rate <= 0 || block <= 0 || block > 512 || reps <= 0 || seconds <= 0) {
    std::fprintf(stderr, "usage: effectbench [--rate R] [--block B (1 ... 512)] [--seconds S] [--reps N]\n");
    return 2;
  }
  std::vector<float> x = bass(rate, seconds);
  if (!walkMatchesPipe(rate, block, x)) {
    std::fprintf(stderr, "effectbench: the timed walk does not give the pipe's output\n");
    return 1;
  }
  Graph g(rate, block);
  std::vector<KV_Effect*> effects;
  KV_forEach<KV_Effect>(g.pipe->effects, [&](KV_Effect* e) { effects.push_back(e); });
  // Per class: the ns per frame of every pass.
  std::map<std::string, std::vector<double>> perClass;
  std::map<std::string, int> instances;
  for (KV_Effect* e : effects) ++instances[classOf(e)];
  std::vector<double> whole;
  const size_t frames = x.size() / static_cast<size_t>(block) * static_cast<size_t>(block);
  for (int r = 0; r <= reps; ++r) {
    std::vector<double> ns(effects.size());
    for (size_t pos = 0; pos < frames; pos += static_cast<size_t>(block)) {
      g.load(x.data() + pos, block);
      timedWalk(g.pipe, ns);
    }
    if (r == 0) continue;  // the warm-up pass
    std::map<std::string, double> sum;
    double total = 0;
    for (size_t i = 0; i < effects.size(); ++i) {
      sum[classOf(effects[i])] += ns[i];
      total += ns[i];
    }
    for (auto& [name, t] : sum) perClass[name].push_back(t / static_cast<double>(frames));
    whole.push_back(total / static_cast<double>(frames));
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double all = median(whole);
  std::printf("rate %d, block %d, %d passes of %.1f s\n", rate, block, reps, seconds);
  std::printf("%-18s %5s %10s %10s %10s %7s\n", "effect", "count", "ns/frame", "fastest", "slowest", "share");
  for (auto& [name, t] : perClass) {
    auto [lo, hi] = std::minmax_element(t.begin(), t.end());
    std::printf("%-18s %5d %10.2f %10.2f %10.2f %6.1f%%\n", name.c_str(), instances[name], median(t), *lo, *hi,
                100.0 * median(t) / all);
  }
  auto [lo, hi] = std::minmax_element(whole.begin(), whole.end());
  std::printf("%-18s %5zu %10.2f %10.2f %10.2f\n", "all effects", effects.size(), all, *lo, *hi);
  return 0;
}
