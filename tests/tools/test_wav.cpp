// The tools' WAV reader on files that lie: each is refused with its reason, none is read past
// its end, and a write leaves either the whole file or none.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "wav.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Byte by byte: GCC 12 misreads a four-byte range insert into a new vector as an overflow.
void put(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(tag[i]));
}
void put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<unsigned char>(v));
  b.push_back(static_cast<unsigned char>(v >> 8));
}

// A 16-bit PCM file with `frames` frames; `dataSize` is what its data chunk claims.
Bytes wavFile(uint16_t channels, uint32_t rate, uint32_t frames, uint32_t dataSize) {
  Bytes b;
  put(b, "RIFF");
  put32(b, 0);
  put(b, "WAVE");
  put(b, "fmt ");
  put32(b, 16);
  put16(b, 1);
  put16(b, channels);
  put32(b, rate);
  put32(b, rate * channels * 2);
  put16(b, static_cast<uint16_t>(channels * 2));
  put16(b, 16);
  put(b, "data");
  put32(b, dataSize);
  for (uint32_t i = 0; i < frames * channels; ++i) put16(b, static_cast<uint16_t>(i * 1000));
  return b;
}

std::string refusal(const Bytes& b) {
  Wav wav;
  std::string error;
  EXPECT_FALSE(wavParse(b.data(), b.size(), "f.wav", wav, error));
  EXPECT_TRUE(wav.samples.empty());
  return error;
}

TEST(Wav, ReadsWhatTheHeaderSays) {
  Bytes b = wavFile(2, 48000, 3, 12);
  Wav wav;
  std::string error;
  ASSERT_TRUE(wavParse(b.data(), b.size(), "f.wav", wav, error)) << error;
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.rate, 48000);
  ASSERT_EQ(wav.samples.size(), 6u);
  EXPECT_EQ(wav.samples[5], 5000 / 32768.0f);
}

TEST(Wav, DamagedHeadersAreRefusedWithTheirReason) {
  EXPECT_EQ(refusal(Bytes{'a', 'b', 'c'}), "f.wav is not a WAV file");
  EXPECT_EQ(refusal(wavFile(0, 44100, 2, 0)), "f.wav: damaged WAV: its header says 0 channels");
  EXPECT_EQ(refusal(wavFile(1, 0, 2, 4)), "f.wav: damaged WAV: its header says a sample rate of 0 Hz");
  EXPECT_EQ(refusal(wavFile(1, 0x80000000u, 2, 4)),
            "f.wav: damaged WAV: its header says a sample rate of 2147483648 Hz");
  EXPECT_EQ(refusal(wavFile(1, 44100, 2, 400)),
            "f.wav: damaged WAV: its data chunk says 400 bytes but only 4 follow (truncated?)");
  Bytes cut = wavFile(1, 44100, 4, 8);
  cut.resize(cut.size() - 3);
  EXPECT_NE(refusal(cut).find("truncated"), std::string::npos);
  Bytes noFormat;
  put(noFormat, "RIFF");
  put32(noFormat, 0);
  put(noFormat, "WAVE");
  put(noFormat, "data");
  put32(noFormat, 0);
  EXPECT_EQ(refusal(noFormat), "f.wav: damaged WAV: it has no format chunk");
}

TEST(Wav, ChunkSizeNearTheTopEndsTheWalk) {
  // A chunk whose size wraps a 32-bit position back to the start must not be walked again.
  Bytes b = wavFile(1, 44100, 2, 4);
  Bytes huge;
  put(huge, "junk");
  put32(huge, 0xFFFFFFF4u);
  b.insert(b.begin() + 12, huge.begin(), huge.end());
  EXPECT_EQ(refusal(b), "f.wav: damaged WAV: it has no format chunk");
}

TEST(Wav, FailedWriteLeavesNoFile) {
  Wav wav;
  wav.channels = 1;
  wav.rate = 44100;
  wav.samples = {0.5f, -0.5f};
  std::string error;
  EXPECT_FALSE(wavWrite("no-such-folder/out.wav", wav, false, error));
  EXPECT_EQ(error, "cannot write no-such-folder/out.wav");
  ASSERT_TRUE(wavWrite("wav-written.wav", wav, true, error)) << error;
  Wav back;
  ASSERT_TRUE(wavRead("wav-written.wav", back, error)) << error;
  EXPECT_EQ(back.samples.size(), 2u);
  EXPECT_EQ(std::fopen("wav-written.wav.part", "rb"), nullptr);
  std::remove("wav-written.wav");
}

}  // namespace
