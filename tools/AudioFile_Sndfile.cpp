// The tools' audio files through libsndfile.
#include <sndfile.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "AudioFile.h"

namespace {

constexpr int kMaxRate = 1 << 24;
constexpr sf_count_t kChunkFrames = 4096;

bool endsWith(const std::string& s, const char* tail) {
  const std::string t = tail;
  if (s.size() < t.size()) return false;
  for (size_t i = 0; i < t.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - t.size() + i])) != t[i]) return false;
  return true;
}

// The file format for an output name; 0 for an extension the tools do not write.
int formatFor(const std::string& path, bool pcm16) {
  if (endsWith(path, ".wav")) return SF_FORMAT_WAV | (pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
  if (endsWith(path, ".flac")) return SF_FORMAT_FLAC | (pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
  return 0;
}

// Reads frame blocks until the end; false when the library reports an error on the way.
bool readAll(SNDFILE* file, int channels, std::vector<float>& samples) {
  std::vector<float> chunk(static_cast<size_t>(kChunkFrames) * static_cast<size_t>(channels));
  sf_count_t n;
  while ((n = sf_readf_float(file, chunk.data(), kChunkFrames)) > 0)
    samples.insert(samples.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n * channels));
  return sf_error(file) == SF_ERR_NO_ERROR;
}

// libsndfile reads a WAV or AIFF whose sample chunk claims more than the file holds up to the
// file's end, and says so only in its log ("data : 12000 (should be 5952)"): such a file was cut
// short, and its missing end is not silence to be rendered.
bool cutShort(SNDFILE* file) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
  for (const char* line = log; *line;) {
    const char* end = std::strchr(line, '\n');
    const std::string text(line, end ? static_cast<size_t>(end - line) : std::strlen(line));
    if ((text.rfind("data :", 0) == 0 || text.rfind("SSND :", 0) == 0) && text.find("(should be") != std::string::npos)
      return true;
    if (!end) break;
    line = end + 1;
  }
  return false;
}

}  // namespace

bool audioRead(const std::string& path, Wav& audio, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    error = "cannot read " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  bool ok = false;
  if (info.channels < 1 || info.samplerate < 1 || info.samplerate > kMaxRate) {
    error = path + ": unusable header (" + std::to_string(info.channels) + " channels at " +
            std::to_string(info.samplerate) + " Hz)";
  } else {
    audio = Wav{};
    audio.channels = info.channels;
    audio.rate = info.samplerate;
    if (!readAll(file, info.channels, audio.samples)) {
      error = "cannot read " + path + ": " + sf_strerror(file);
    } else if (cutShort(file) || static_cast<sf_count_t>(audio.frames()) < info.frames) {
      error = path + " is truncated: its header promises more samples than the file holds";
    } else {
      ok = true;
    }
  }
  sf_close(file);
  return ok;
}

bool audioWrite(const std::string& path, const Wav& audio, bool pcm16, std::string& error) {
  SF_INFO info{};
  info.channels = audio.channels;
  info.samplerate = audio.rate;
  info.format = formatFor(path, pcm16);
  if (!info.format) {
    error = "cannot write " + path + ": the output is a .wav or a .flac file";
    return false;
  }
  // Written beside the target and renamed over it once complete.
  const std::string part = path + ".part";
  SNDFILE* file = sf_open(part.c_str(), SFM_WRITE, &info);
  if (!file) {
    error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const auto frames = static_cast<sf_count_t>(audio.frames());
  bool ok = sf_writef_float(file, audio.samples.data(), frames) == frames;
  if (!ok) error = "cannot write " + path + ": " + sf_strerror(file);
  if (sf_close(file) != 0 && ok) {
    ok = false;
    error = "cannot write " + path + ": closing failed";
  }
  if (ok && std::rename(part.c_str(), path.c_str()) != 0) {
    ok = false;
    error = "cannot write " + path + ": cannot rename " + part;
  }
  if (!ok) ::unlink(part.c_str());
  return ok;
}
