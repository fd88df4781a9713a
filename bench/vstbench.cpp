// The whole plug-in as a host runs it: the binary loaded through its entry, driven through its
// effect record (sample rate, block size, resume, processReplacing), timed per frame.
//
//   vstbench PLUGIN [--rates 44100,48000,96000] [--blocks 32,64,512,4096] [--seconds S] [--reps N]
//
// Each rate and block size gets a fresh instance, a bass line of S seconds run once to warm up and
// then N times under the clock; the report gives the median, fastest and slowest pass in ns per
// frame and the median as a multiple of real time on one core.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "VstHost.h"

namespace {

// A quiet host: it answers the version query and nothing else.
VstIntPtr VSTCALLBACK benchHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

struct Options {
  std::string plugin;
  std::vector<int> rates{44100, 48000, 96000};
  std::vector<int> blocks{32, 64, 512, 4096};
  double seconds = 2.0;
  int reps = 7;
};

std::vector<int> numbers(const char* text) {
  std::vector<int> v;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) v.push_back(std::atoi(item.c_str()));
  return v;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--rates" && hasValue) o.rates = numbers(argv[++i]);
    else if (a == "--blocks" && hasValue) o.blocks = numbers(argv[++i]);
    else if (a == "--seconds" && hasValue) o.seconds = std::atof(argv[++i]);
    else if (a == "--reps" && hasValue) o.reps = std::atoi(argv[++i]);
    else if (o.plugin.empty() && a[0] != '-') o.plugin = a;
    else return false;
  }
  return !o.plugin.empty() && o.reps > 0 && o.seconds > 0;
}

// One pass over the whole input in host blocks; returns the nanoseconds it took.
double pass(AEffect* fx, const std::vector<float>& x, int block, std::vector<float>& left, std::vector<float>& right) {
  const size_t frames = x.size() / static_cast<size_t>(block) * static_cast<size_t>(block);
  auto start = std::chrono::steady_clock::now();
  for (size_t pos = 0; pos < frames; pos += static_cast<size_t>(block)) {
    float* in[1] = {const_cast<float*>(x.data()) + pos};
    float* out[2] = {left.data(), right.data()};
    fx->processReplacing(fx, in, out, block);
  }
  auto stop = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(stop - start).count() / static_cast<double>(frames);
}

// ns per frame of each pass, sorted; empty when the plug-in does not open.
std::vector<double> measure(VstEntry entry, int rate, int block, const Options& o) {
  std::vector<double> perFrame;
  AEffect* fx = entry(benchHost);
  if (!fx) return perFrame;
  call(fx, effOpen);
  call(fx, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  call(fx, effSetBlockSize, 0, block);
  call(fx, effMainsChanged, 0, 1);
  Wav clip = bassClip(o.seconds, rate);
  std::vector<float> x = clip.samples;
  if (x.size() < static_cast<size_t>(block)) x.resize(static_cast<size_t>(block), 0.0f);
  std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
  pass(fx, x, block, left, right);
  for (int r = 0; r < o.reps; ++r) perFrame.push_back(pass(fx, x, block, left, right));
  call(fx, effMainsChanged, 0, 0);
  call(fx, effClose);
  std::sort(perFrame.begin(), perFrame.end());
  return perFrame;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: vstbench PLUGIN [--rates R,...] [--blocks B,...] [--seconds S] [--reps N]\n");
    return 2;
  }
  std::string error;
  VstEntry entry = loadEntry(o.plugin, error);
  if (!entry) {
    std::fprintf(stderr, "vstbench: %s\n", error.c_str());
    return 1;
  }
  std::printf("%7s %6s %10s %10s %10s %12s\n", "rate", "block", "ns/frame", "fastest", "slowest", "x realtime");
  for (int rate : o.rates)
    for (int block : o.blocks) {
      std::vector<double> t = measure(entry, rate, block, o);
      if (t.empty()) {
        std::fprintf(stderr, "vstbench: the plug-in did not open\n");
        return 1;
      }
      double median = t[t.size() / 2];
      std::printf("%7d %6d %10.2f %10.2f %10.2f %12.0f\n", rate, block, median, t.front(), t.back(),
                  1e9 / (median * rate));
      std::fflush(stdout);
    }
  return 0;
}
