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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "vst/aeffect.h"
#include "wav.h"

namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float) {
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterSizeWindow:
      std::printf("host: size window %d x %d\n", index, static_cast<int>(value));
      return 1;
    default: return 0;
  }
}

using Entry = AEffect* (VSTCALLBACK*)(audioMasterCallback);

Entry loadEntry(const std::string& path, std::string& error) {
#if defined(_WIN32)
  HMODULE lib = LoadLibraryA(path.c_str());
  if (!lib) {
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  FARPROC p = GetProcAddress(lib, "VSTPluginMain");
  if (!p) p = GetProcAddress(lib, "main");
  Entry entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(p));
#else
  std::string full = path.find('/') == std::string::npos ? "./" + path : path;
  void* lib = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    error = dlerror();
    return nullptr;
  }
  void* p = dlsym(lib, "VSTPluginMain");
  if (!p) p = dlsym(lib, "main");
  Entry entry = reinterpret_cast<Entry>(p);
#endif
  if (!entry) error = path + " exports neither VSTPluginMain nor main";
  return entry;
}

VstIntPtr call(AEffect* fx, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
  return fx->dispatcher(fx, op, index, value, ptr, opt);
}

std::string text(AEffect* fx, VstInt32 op, VstInt32 index = 0) {
  char buf[256] = {};
  call(fx, op, index, 0, buf);
  buf[sizeof buf - 1] = 0;
  return buf;
}

void listPlugin(AEffect* fx) {
  std::printf("effect:   %s\n", text(fx, effGetEffectName).c_str());
  std::printf("vendor:   %s\n", text(fx, effGetVendorString).c_str());
  std::printf("product:  %s\n", text(fx, effGetProductString).c_str());
  VstInt32 id = fx->uniqueID;
  std::printf("id:       0x%08X  version %d  vendor version %d  VST %d\n", static_cast<unsigned>(id), fx->version,
              static_cast<int>(call(fx, effGetVendorVersion)), static_cast<int>(call(fx, effGetVstVersion)));
  std::printf("io:       %d in, %d out; %d programs, %d parameters; flags 0x%X; category %d\n", fx->numInputs,
              fx->numOutputs, fx->numPrograms, fx->numParams, static_cast<unsigned>(fx->flags),
              static_cast<int>(call(fx, effGetPlugCategory)));
  std::printf("program:  %s\n", text(fx, effGetProgramName).c_str());
  for (VstInt32 i = 0; i < fx->numParams; ++i)
    std::printf("param %2d: %-8s [%-8s] %-8s = %.6f\n", i, text(fx, effGetParamName, i).c_str(),
                text(fx, effGetParamLabel, i).c_str(), text(fx, effGetParamDisplay, i).c_str(),
                static_cast<double>(fx->getParameter(fx, i)));
}

bool setParam(AEffect* fx, const std::string& spec) {
  size_t eq = spec.find('=');
  if (eq == std::string::npos) return false;
  std::string key = spec.substr(0, eq);
  float value = std::strtof(spec.c_str() + eq + 1, nullptr);
  char* end = nullptr;
  long index = std::strtol(key.c_str(), &end, 10);
  if (end == key.c_str() || *end) {
    index = -1;
    for (VstInt32 i = 0; i < fx->numParams; ++i) {
      std::string name = text(fx, effGetParamName, i);
      if (!key.empty() && name.compare(0, key.size(), key) == 0 ) index = i;
      if (!key.empty() && key.compare(0, name.size(), name) == 0 && !name.empty()) index = i;
      if (index >= 0) break;
    }
  }
  if (index < 0 || index >= fx->numParams) return false;
  fx->setParameter(fx, static_cast<VstInt32>(index), value);
  std::printf("set param %ld (%s) to %g: %s\n", index, text(fx, effGetParamName, static_cast<VstInt32>(index)).c_str(),
              static_cast<double>(value), text(fx, effGetParamDisplay, static_cast<VstInt32>(index)).c_str());
  return true;
}

// A bass line: a plucked, slightly detuned sawtooth-like tone through a few notes of an A minor riff.
Wav bassClip(double seconds, int rate) {
  Wav w;
  w.channels = 1;
  w.rate = rate;
  const double notes[] = {55.0, 55.0, 65.41, 73.42, 55.0, 82.41, 73.42, 61.74};
  size_t frames = static_cast<size_t>(seconds * rate);
  w.samples.resize(frames);
  double noteLength = 0.25;
  for (size_t i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / rate;
    int note = static_cast<int>(t / noteLength);
    double local = t - note * noteLength;
    double f = notes[note % 8];
    double env = std::exp(-local * 6.0) * (1.0 - std::exp(-local * 400.0));
    double s = 0;
    for (int h = 1; h <= 6; ++h) s += std::sin(2 * 3.14159265358979323846 * f * h * t) / (h * h);
    w.samples[i] = static_cast<float>(0.5 * env * s);
  }
  return w;
}

struct Levels {
  double peak = 0, rms = 0;
};

Levels levels(const std::vector<float>& x, int channels, int channel) {
  Levels l;
  double sum = 0;
  size_t n = 0;
  for (size_t i = static_cast<size_t>(channel); i < x.size(); i += static_cast<size_t>(channels), ++n) {
    double v = x[i];
    sum += v * v;
    if (std::fabs(v) > l.peak) l.peak = std::fabs(v);
  }
  l.rms = n ? std::sqrt(sum / static_cast<double>(n)) : 0;
  return l;
}

double dB(double v) { return v > 0 ? 20 * std::log10(v) : -INFINITY; }

Wav render(AEffect* fx, const Wav& in, int block, bool stereoIn) {
  int ins = fx->numInputs, outs = fx->numOutputs;
  size_t frames = in.frames();
  Wav out;
  out.channels = outs;
  out.rate = in.rate;
  out.samples.assign(frames * static_cast<size_t>(outs), 0.0f);
  std::vector<std::vector<float>> inBufs(static_cast<size_t>(ins > 2 ? ins : 2), std::vector<float>(static_cast<size_t>(block)));
  std::vector<std::vector<float>> outBufs(static_cast<size_t>(outs), std::vector<float>(static_cast<size_t>(block)));
  std::vector<float*> inPtr, outPtr;
  for (auto& b : inBufs) inPtr.push_back(b.data());
  for (auto& b : outBufs) outPtr.push_back(b.data());
  call(fx, effSetSampleRate, 0, 0, nullptr, static_cast<float>(in.rate));
  call(fx, effSetBlockSize, 0, block);
  call(fx, effMainsChanged, 0, 1);
  for (size_t pos = 0; pos < frames; pos += static_cast<size_t>(block)) {
    int n = static_cast<int>(frames - pos < static_cast<size_t>(block) ? frames - pos : static_cast<size_t>(block));
    for (size_t c = 0; c < inBufs.size(); ++c)
      for (int i = 0; i < n; ++i) {
        size_t src = c < static_cast<size_t>(in.channels) && (stereoIn || c == 0) ? c : 0;
        inBufs[c][static_cast<size_t>(i)] = in.samples[(pos + static_cast<size_t>(i)) * static_cast<size_t>(in.channels) + src];
      }
    fx->processReplacing(fx, inPtr.data(), outPtr.data(), n);
    for (int c = 0; c < outs; ++c)
      for (int i = 0; i < n; ++i)
        out.samples[(pos + static_cast<size_t>(i)) * static_cast<size_t>(outs) + static_cast<size_t>(c)] = outBufs[static_cast<size_t>(c)][static_cast<size_t>(i)];
  }
  call(fx, effMainsChanged, 0, 0);
  return out;
}

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
  double bass = 0;
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
    else if (a == "--stereo") stereo = true;
    else if (a == "--pcm16") pcm16 = true;
    else return usage();
  }
  if (block < 1 || rate < 1) return usage();

  std::string error;
  Entry entry = loadEntry(plugin, error);
  if (!entry) {
    std::fprintf(stderr, "vsthost: %s\n", error.c_str());
    return 1;
  }
  AEffect* fx = entry(hostCallback);
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
    Levels li = levels(in.samples, in.channels, 0), lo = levels(out.samples, out.channels, 0);
    std::printf("rendered %zu frames at %d Hz in blocks of %d: %s\n", in.frames(), in.rate, block, outPath.c_str());
    std::printf("input  channel 1: peak %.1f dBFS, rms %.1f dBFS\n", dB(li.peak), dB(li.rms));
    for (int c = 0; c < out.channels; ++c) {
      Levels l = levels(out.samples, out.channels, c);
      std::printf("output channel %d: peak %.1f dBFS, rms %.1f dBFS\n", c + 1, dB(l.peak), dB(l.rms));
    }
    (void)lo;
    if (!wavWrite(outPath, out, pcm16, error)) {
      std::fprintf(stderr, "vsthost: %s\n", error.c_str());
      status = 1;
    }
  }
  call(fx, effClose);
  return status;
}
