// The project's VST 2.4 host: loads a plug-in binary, talks to it through its effect record, and
// renders audio through it. Used by the vsthost command and by the end-to-end tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "vst/aeffect.h"
#include "wav.h"

using VstEntry = AEffect* (VSTCALLBACK*)(audioMasterCallback);

// The host's callback: answers the version query (2400) and accepts a window size request.
VstIntPtr VSTCALLBACK vsthostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float);

// Loads the binary and finds VSTPluginMain (or main); null with a reason in `error`.
VstEntry loadEntry(const std::string& path, std::string& error);

VstIntPtr call(AEffect* fx, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0);
// A text answer (name, label, display...), read from a zeroed buffer.
std::string text(AEffect* fx, VstInt32 op, VstInt32 index = 0);
void listPlugin(AEffect* fx);
// "INDEX=VALUE" or "NAME=VALUE" (a name prefix as the plug-in gives it); false when none matches.
bool setParam(AEffect* fx, const std::string& setting);
// A bass line of `seconds` at `rate`, mono.
Wav bassClip(double seconds, int rate);

struct Levels {
  double peak = 0, rms = 0;
};
Levels levels(const std::vector<float>& x, int channels, int channel);
double dB(double v);

// Told the frames done and the total after each host block.
using RenderProgress = std::function<void(size_t done, size_t total)>;

// Sets the rate and block size, resumes, runs the whole input in host blocks, suspends.
Wav render(AEffect* fx, const Wav& in, int block, bool stereoIn, const RenderProgress& progress = {});
// The same with host blocks of the given sizes in turn (repeated as needed).
Wav renderSchedule(AEffect* fx, const Wav& in, const std::vector<int>& blocks, bool stereoIn,
                   const RenderProgress& progress = {});

// The x87 control word, and a host that runs it at 53-bit precision as many 32-bit hosts do.
unsigned hostFpuWord();
void hostSetPrecision53();

// The level (dBFS of a sine's amplitude) at `hz` over frames [from, to) of one channel.
double toneLevel(const std::vector<float>& x, int channels, int channel, int rate, double hz, size_t from, size_t to);
