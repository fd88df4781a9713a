// vsthost: loads a VST 2.4 plug-in binary, lists its identity and parameters, sets parameters by
// index or name, and renders a WAV file (or a synthesised bass clip) through it.
//
//   vsthost PLUGIN [options]
//     -p INDEX=VALUE | -p NAME=VALUE   set a parameter (normalized 0..1), in order given
//     -i IN.wav                       input file (first channel used, as the plug-in does)
//     --bass SECONDS                  synthesise a bass clip as input instead
//     -o OUT.wav                      write the result (32-bit float, or --pcm16)
//     -b FRAMES                       host block size (default 512)
//     -r RATE                         sample rate for a synthesised clip (default 44100)
//     --stereo                        feed the plug-in two input channels
//     --harmonics HZ                  print the levels at HZ, 2 x HZ and 3 x HZ before and after
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "VstHost.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: vsthost PLUGIN [-p INDEX|NAME=VALUE]... [-i IN.wav | --bass SECONDS] [-o OUT.wav] "
                       "[-b FRAMES] [-r RATE] [--stereo] [--pcm16]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string plugin = argv[1], inPath, outPath;
  std::vector<std::string> sets;
  int block = 512, rate = 44100;
  double bass = 0, harmonics = 0;
  bool stereo = false, pcm16 = false;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "-p" && (v = next())) sets.push_back(v);
    else if (a == "-i" && (v = next())) inPath = v;
    else if (a == "-o" && (v = next())) outPath = v;
    else if (a == "-b" && (v = next())) block = std::atoi(v);
    else if (a == "-r" && (v = next())) rate = std::atoi(v);
    else if (a == "--bass" && (v = next())) bass = std::atof(v);
    else if (a == "--harmonics" && (v = next())) harmonics = std::atof(v);
    else if (a == "--stereo") stereo = true;
    else if (a == "--pcm16") pcm16 = true;
    else return usage();
  }
  if (block < 1 || rate < 1) return usage();

  std::string error;
  VstEntry entry = loadEntry(plugin, error);
  if (!entry) {
    std::fprintf(stderr, "vsthost: %s\n", error.c_str());
    return 1;
  }
  AEffect* fx = entry(vsthostCallback);
  if (!fx || fx->magic != kEffectMagic) {
    std::fprintf(stderr, "vsthost: %s gave no effect\n", plugin.c_str());
    return 1;
  }
  call(fx, effOpen);
  for (const std::string& s : sets)
    if (!setParam(fx, s)) {
      std::fprintf(stderr, "vsthost: no parameter '%s'\n", s.c_str());
      call(fx, effClose);
      return 1;
    }
  listPlugin(fx);

  int status = 0;
  if (!outPath.empty()) {
    Wav in;
    if (!inPath.empty()) {
      if (!wavRead(inPath, in, error)) {
        std::fprintf(stderr, "vsthost: %s\n", error.c_str());
        call(fx, effClose);
        return 1;
      }
    } else {
      in = bassClip(bass > 0 ? bass : 4.0, rate);
    }
    Wav out = render(fx, in, block, stereo);
    Levels li = levels(in.samples, in.channels, 0);
    std::printf("rendered %zu frames at %d Hz in blocks of %d: %s\n", in.frames(), in.rate, block, outPath.c_str());
    std::printf("input  channel 1: peak %.1f dBFS, rms %.1f dBFS\n", dB(li.peak), dB(li.rms));
    for (int c = 0; c < out.channels; ++c) {
      Levels l = levels(out.samples, out.channels, c);
      std::printf("output channel %d: peak %.1f dBFS, rms %.1f dBFS\n", c + 1, dB(l.peak), dB(l.rms));
    }
    if (harmonics > 0) {
      // The first half second: the clip's opening note.
      size_t to = static_cast<size_t>(in.rate / 2);
      for (int h = 1; h <= 3; ++h) {
        double hz = harmonics * h;
        std::printf("harmonic %d (%.1f Hz): input %.1f dBFS, output %.1f dBFS\n", h, hz,
                    toneLevel(in.samples, in.channels, 0, in.rate, hz, 0, to),
                    toneLevel(out.samples, out.channels, 0, out.rate, hz, 0, to));
      }
    }
    if (!wavWrite(outPath, out, pcm16, error)) {
      std::fprintf(stderr, "vsthost: %s\n", error.c_str());
      status = 1;
    }
  }
  call(fx, effClose);
  return status;
}
