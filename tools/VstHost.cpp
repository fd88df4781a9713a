#include "VstHost.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif


VstIntPtr VSTCALLBACK vsthostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float) {
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterSizeWindow:
      std::printf("host: size window %d x %d\n", index, static_cast<int>(value));
      return 1;
    default: return 0;
  }
}

VstEntry loadEntry(const std::string& path, std::string& error) {
#if defined(_WIN32)
  HMODULE lib = LoadLibraryA(path.c_str());
  if (!lib) {
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  FARPROC p = GetProcAddress(lib, "VSTPluginMain");
  if (!p) p = GetProcAddress(lib, "main");
  VstEntry entry = reinterpret_cast<VstEntry>(reinterpret_cast<void*>(p));
#else
  std::string full = path.find('/') == std::string::npos ? "./" + path : path;
  void* lib = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    error = dlerror();
    return nullptr;
  }
  void* p = dlsym(lib, "VSTPluginMain");
  if (!p) p = dlsym(lib, "main");
  VstEntry entry = reinterpret_cast<VstEntry>(p);
#endif
  if (!entry) error = path + " exports neither VSTPluginMain nor main";
  return entry;
}

VstIntPtr call(AEffect* fx, VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return fx->dispatcher(fx, op, index, value, ptr, opt);
}

std::string text(AEffect* fx, VstInt32 op, VstInt32 index) {
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

bool setParam(AEffect* fx, const std::string& setting) {
  size_t eq = setting.find('=');
  if (eq == std::string::npos) return false;
  std::string key = setting.substr(0, eq);
  float value = std::strtof(setting.c_str() + eq + 1, nullptr);
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

Wav render(AEffect* fx, const Wav& in, int block, bool stereoIn, const RenderProgress& progress) {
  return renderSchedule(fx, in, std::vector<int>{block}, stereoIn, progress);
}

Wav renderSchedule(AEffect* fx, const Wav& in, const std::vector<int>& blocks, bool stereoIn, const RenderProgress& progress) {
  int ins = fx->numInputs, outs = fx->numOutputs;
  int largest = 1;
  for (int b : blocks) largest = b > largest ? b : largest;
  size_t frames = in.frames();
  Wav out;
  out.channels = outs;
  out.rate = in.rate;
  out.samples.assign(frames * static_cast<size_t>(outs), 0.0f);
  std::vector<std::vector<float>> inBufs(static_cast<size_t>(ins > 2 ? ins : 2), std::vector<float>(static_cast<size_t>(largest)));
  std::vector<std::vector<float>> outBufs(static_cast<size_t>(outs), std::vector<float>(static_cast<size_t>(largest)));
  std::vector<float*> inPtr, outPtr;
  for (auto& b : inBufs) inPtr.push_back(b.data());
  for (auto& b : outBufs) outPtr.push_back(b.data());
  call(fx, effSetSampleRate, 0, 0, nullptr, static_cast<float>(in.rate));
  call(fx, effSetBlockSize, 0, largest);
  call(fx, effMainsChanged, 0, 1);
  size_t turn = 0;
  for (size_t pos = 0; pos < frames;) {
    size_t want = static_cast<size_t>(blocks[turn++ % blocks.size()] > 0 ? blocks[(turn - 1) % blocks.size()] : 1);
    int n = static_cast<int>(frames - pos < want ? frames - pos : want);
    for (size_t c = 0; c < inBufs.size(); ++c)
      for (int i = 0; i < n; ++i) {
        size_t src = c < static_cast<size_t>(in.channels) && (stereoIn || c == 0) ? c : 0;
        inBufs[c][static_cast<size_t>(i)] = in.samples[(pos + static_cast<size_t>(i)) * static_cast<size_t>(in.channels) + src];
      }
    fx->processReplacing(fx, inPtr.data(), outPtr.data(), n);
    for (int c = 0; c < outs; ++c)
      for (int i = 0; i < n; ++i)
        out.samples[(pos + static_cast<size_t>(i)) * static_cast<size_t>(outs) + static_cast<size_t>(c)] =
            outBufs[static_cast<size_t>(c)][static_cast<size_t>(i)];
    pos += static_cast<size_t>(n);
    if (progress) progress(pos, frames);
  }
  call(fx, effMainsChanged, 0, 0);
  return out;
}


unsigned hostFpuWord() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned short cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw;
#else
  return 0;
#endif
}

void hostSetPrecision53() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned short cw = static_cast<unsigned short>((hostFpuWord() & ~0x0300u) | 0x0200u);
  __asm__ volatile("fldcw %0" : : "m"(cw));
#endif
}

double toneLevel(const std::vector<float>& x, int channels, int channel, int rate, double hz, size_t from, size_t to) {
  // Goertzel over the window, Hann-weighted so that neighbouring tones do not leak in.
  size_t frames = x.size() / static_cast<size_t>(channels);
  if (to > frames) to = frames;
  if (to <= from) return -INFINITY;
  const double pi = 3.14159265358979323846;
  double w = 2 * pi * hz / rate, c = 2 * std::cos(w), s1 = 0, s2 = 0, gain = 0;
  size_t n = to - from;
  for (size_t i = 0; i < n; ++i) {
    double win = 0.5 - 0.5 * std::cos(2 * pi * static_cast<double>(i) / static_cast<double>(n - 1 ? n - 1 : 1));
    double s0 = win * x[(from + i) * static_cast<size_t>(channels) + static_cast<size_t>(channel)] + c * s1 - s2;
    s2 = s1;
    s1 = s0;
    gain += win;
  }
  double power = s1 * s1 + s2 * s2 - c * s1 * s2;
  double amplitude = 2 * std::sqrt(power > 0 ? power : 0) / gain;
  return dB(amplitude);
}
