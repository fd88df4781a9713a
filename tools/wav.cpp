#include "wav.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void put32(std::vector<unsigned char>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<unsigned char>(x >> (8 * i)));
}
void put16(std::vector<unsigned char>& v, uint16_t x) {
  v.push_back(static_cast<unsigned char>(x));
  v.push_back(static_cast<unsigned char>(x >> 8));
}

float decode(const unsigned char* p, int format, int bits) {
  if (format == 3 && bits == 32) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
  }
  if (format == 3 && bits == 64) {
    double d;
    std::memcpy(&d, p, 8);
    return static_cast<float>(d);
  }
  switch (bits) {
    case 8: return (p[0] - 128) / 128.0f;
    case 16: return static_cast<int16_t>(le16(p)) / 32768.0f;
    case 24: {
      int32_t v = static_cast<int32_t>((p[0] << 8) | (p[1] << 16) | (uint32_t{p[2]} << 24)) >> 8;
      return static_cast<float>(v / 8388608.0);
    }
    default: return static_cast<float>(static_cast<int32_t>(le32(p)) / 2147483648.0);
  }
}

}  // namespace

namespace {

// What the fmt and data chunks say. A chunk that claims more bytes than the file holds, a missing
// or short fmt chunk and sizes no player would make are refused rather than guessed at.
struct WavLayout {
  int format = 0, bits = 0;
  uint32_t channels = 0, rate = 0;
  const unsigned char* pcm = nullptr;
  size_t pcmSize = 0;
  bool fmt = false;
};

constexpr uint32_t MAX_RATE = 1u << 24;  // far above any audio rate; 2^31 or 0 is a damaged header

bool readChunks(const unsigned char* data, size_t size, WavLayout& w, std::string& why) {
  for (size_t pos = 12; size - pos >= 8;) {
    const unsigned char* chunk = data + pos;
    size_t chunkSize = le32(chunk + 4);
    size_t body = pos + 8;
    size_t avail = size - body;
    if (!std::memcmp(chunk, "data", 4)) {
      if (chunkSize > avail) {
        why = "its data chunk says " + std::to_string(chunkSize) + " bytes but only " + std::to_string(avail) +
              " follow (truncated?)";
        return false;
      }
      w.pcm = chunk + 8;
      w.pcmSize = chunkSize;
    } else if (chunkSize > avail) {
      break;  // a trailing chunk cut short after the audio does not matter
    } else if (!std::memcmp(chunk, "fmt ", 4) && chunkSize >= 16) {
      w.fmt = true;
      w.format = le16(chunk + 8);
      w.channels = le16(chunk + 10);
      w.rate = le32(chunk + 12);
      w.bits = le16(chunk + 22);
      if (w.format == 0xFFFE && chunkSize >= 40) w.format = le16(chunk + 32);  // extensible
    }
    size_t step = chunkSize + (chunkSize & 1);
    if (step >= avail) break;
    pos = body + step;
  }
  if (!w.fmt) why = "it has no format chunk";
  else if (!w.pcm) why = "it has no data chunk";
  else if (w.channels == 0) why = "its header says 0 channels";
  else if (w.rate == 0 || w.rate > MAX_RATE) why = "its header says a sample rate of " + std::to_string(w.rate) + " Hz";
  else return true;
  return false;
}

}  // namespace

bool wavParse(const unsigned char* data, size_t size, const std::string& name, Wav& wav, std::string& error) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) || std::memcmp(data + 8, "WAVE", 4)) {
    error = name + " is not a WAV file";
    return false;
  }
  WavLayout w;
  std::string why;
  if (!readChunks(data, size, w, why)) {
    error = name + ": damaged WAV: " + why;
    return false;
  }
  bool known = (w.format == 1 && (w.bits == 8 || w.bits == 16 || w.bits == 24 || w.bits == 32)) ||
               (w.format == 3 && (w.bits == 32 || w.bits == 64));
  if (!known) {
    error = name + ": unsupported WAV (PCM 8/16/24/32 or float 32/64 expected)";
    return false;
  }
  wav.channels = static_cast<int>(w.channels);
  wav.rate = static_cast<int>(w.rate);
  size_t step = static_cast<size_t>(w.bits / 8);
  size_t count = w.pcmSize / step / w.channels * w.channels;
  wav.samples.resize(count);
  for (size_t i = 0; i < count; ++i) wav.samples[i] = decode(w.pcm + i * step, w.format, w.bits);
  return true;
}

bool wavRead(const std::string& path, Wav& wav, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot open " + path;
    return false;
  }
  std::vector<unsigned char> data;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    error = "cannot read " + path;
    return false;
  }
  return wavParse(data.data(), data.size(), path, wav, error);
}

bool wavWrite(const std::string& path, const Wav& wav, bool pcm16, std::string& error) {
  int bits = pcm16 ? 16 : 32;
  uint32_t bytes = static_cast<uint32_t>(wav.samples.size() * static_cast<size_t>(bits / 8));
  std::vector<unsigned char> out;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put32(out, 36 + bytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(out, 16);
  put16(out, pcm16 ? 1 : 3);
  put16(out, static_cast<uint16_t>(wav.channels));
  put32(out, static_cast<uint32_t>(wav.rate));
  put32(out, static_cast<uint32_t>(uint64_t{static_cast<uint32_t>(wav.rate)} * static_cast<uint32_t>(wav.channels) * bits / 8));
  put16(out, static_cast<uint16_t>(wav.channels * bits / 8));
  put16(out, static_cast<uint16_t>(bits));
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(out, bytes);
  for (float s : wav.samples) {
    if (pcm16) {
      float c = std::isnan(s) ? 0.0f : (s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s));
      put16(out, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(c * 32767.0f))));
    } else {
      uint32_t u;
      std::memcpy(&u, &s, 4);
      put32(out, u);
    }
  }
  std::string part = path + ".part";
  std::FILE* f = std::fopen(part.c_str(), "wb");
  bool written = f && std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (f && std::fclose(f) != 0) written = false;
#ifdef _WIN32
  if (written) std::remove(path.c_str());  // the C runtime's rename does not replace a file
#endif
  if (!written || std::rename(part.c_str(), path.c_str()) != 0) {
    std::remove(part.c_str());
    error = "cannot write " + path;
    return false;
  }
  return true;
}
