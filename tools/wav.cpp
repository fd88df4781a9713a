#include "wav.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

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
  std::fclose(f);
  if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) || std::memcmp(data.data() + 8, "WAVE", 4)) {
    error = path + " is not a WAV file";
    return false;
  }
  int format = 0, bits = 0;
  const unsigned char* pcm = nullptr;
  size_t pcmSize = 0;
  for (size_t pos = 12; pos + 8 <= data.size();) {
    const unsigned char* chunk = data.data() + pos;
    size_t size = le32(chunk + 4);
    size_t body = pos + 8;
    size_t avail = data.size() - body;
    if (!std::memcmp(chunk, "fmt ", 4) && size >= 16 && avail >= 16) {
      format = le16(chunk + 8);
      wav.channels = le16(chunk + 10);
      wav.rate = static_cast<int>(le32(chunk + 12));
      bits = le16(chunk + 22);
      if (format == 0xFFFE && size >= 40 && avail >= 40) format = le16(chunk + 32);  // extensible
    } else if (!std::memcmp(chunk, "data", 4)) {
      pcm = chunk + 8;
      pcmSize = size < avail ? size : avail;  // a truncated file gives what it has
    }
    pos = body + size + (size & 1);
  }
  bool known = (format == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
               (format == 3 && (bits == 32 || bits == 64));
  if (!pcm || !known || wav.channels <= 0 || wav.rate <= 0) {
    error = path + ": unsupported or damaged WAV (PCM 8/16/24/32 or float 32/64 expected)";
    return false;
  }
  size_t step = static_cast<size_t>(bits / 8);
  size_t count = pcmSize / step / static_cast<size_t>(wav.channels) * static_cast<size_t>(wav.channels);
  wav.samples.resize(count);
  for (size_t i = 0; i < count; ++i) wav.samples[i] = decode(pcm + i * step, format, bits);
  return true;
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
  put32(out, static_cast<uint32_t>(wav.rate * wav.channels * bits / 8));
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
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size()) {
    if (f) std::fclose(f);
    error = "cannot write " + path;
    return false;
  }
  std::fclose(f);
  return true;
}
