// WAV files: reading 8/16/24/32-bit PCM and 32/64-bit float, writing 32-bit float or 16-bit PCM.
#pragma once

#include <string>
#include <vector>

struct Wav {
  int channels = 0;
  int rate = 0;
  std::vector<float> samples;  // interleaved

  size_t frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// Returns false with a reason in `error`.
bool wavRead(const std::string& path, Wav& wav, std::string& error);
// The same over a file's bytes already in memory; `error` names the file as `name`.
bool wavParse(const unsigned char* data, size_t size, const std::string& name, Wav& wav, std::string& error);
// Writes the whole file under a temporary name and renames it into place, so that a failed write
// leaves no partial file at `path`.
bool wavWrite(const std::string& path, const Wav& wav, bool pcm16, std::string& error);
