// The tools' audio files through libsndfile: every channel comes back as written, the format
// follows the extension, and a bad input or an unwritable output fails with one line and leaves
// no file behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "AudioFile.h"

namespace {

Wav threeChannels() {
  Wav w;
  w.channels = 3;
  w.rate = 48000;
  for (int i = 0; i < 1000; ++i)
    for (int c = 0; c < 3; ++c) w.samples.push_back(static_cast<float>(0.9 * std::sin(0.01 * i * (c + 1))));
  return w;
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

TEST(AudioFile, WavAndFlacKeepEveryChannel) {
  const Wav w = threeChannels();
  for (const char* name : {"af-float.wav", "af-24.flac", "af-16.wav"}) {
    const bool pcm16 = std::string(name) == "af-16.wav";
    std::string error;
    ASSERT_TRUE(audioWrite(name, w, pcm16, error)) << error;
    EXPECT_FALSE(exists(std::string(name) + ".part"));
    Wav back;
    ASSERT_TRUE(audioRead(name, back, error)) << error;
    EXPECT_EQ(back.channels, 3);
    EXPECT_EQ(back.rate, 48000);
    ASSERT_EQ(back.samples.size(), w.samples.size()) << name;
    // Float WAV is exact; 24-bit and 16-bit keep their quantisation step.
    const double step = pcm16 ? 1.0 / 32767 : std::string(name) == "af-24.flac" ? 1.0 / 8388607 : 0;
    for (size_t i = 0; i < w.samples.size(); ++i) ASSERT_NEAR(back.samples[i], w.samples[i], step) << name << " at " << i;
  }
  std::ifstream flac("af-24.flac", std::ios::binary);
  char magic[4] = {};
  flac.read(magic, 4);
  EXPECT_EQ(std::string(magic, 4), "fLaC");
}

TEST(AudioFile, BadFilesFailWithOneLineAndLeaveNothing) {
  {
    std::ofstream("af-text.wav") << "RIFF this is not audio at all";
  }
  std::string error;
  Wav w;
  EXPECT_FALSE(audioRead("af-text.wav", w, error));
  EXPECT_NE(error.find("af-text.wav"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;

  // A WAV cut short in its samples: the header promises more than the file has.
  std::string full;
  ASSERT_TRUE(audioWrite("af-whole.wav", threeChannels(), false, error)) << error;
  {
    std::ifstream in("af-whole.wav", std::ios::binary);
    full.assign(std::istreambuf_iterator<char>(in), {});
    std::ofstream("af-cut.wav", std::ios::binary).write(full.data(), static_cast<std::streamsize>(full.size() / 2));
  }
  EXPECT_FALSE(audioRead("af-cut.wav", w, error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;

  std::remove("af-out.ogg");
  EXPECT_FALSE(audioWrite("af-out.ogg", threeChannels(), false, error));
  EXPECT_FALSE(exists("af-out.ogg"));
  EXPECT_FALSE(audioWrite("no-such-folder/af.wav", threeChannels(), false, error));
  EXPECT_FALSE(exists("no-such-folder/af.wav.part"));
}

}  // namespace
