// The host with a plug-in it did not come with: DISTRHO's 3-band equaliser from Debian.
#include <gtest/gtest.h>

#include "VstHost.h"

namespace {

const char* kEqualiser = "/usr/lib/vst/3BandEQ-vst.so";

AEffect* openEqualiser() {
  std::string error;
  VstEntry entry = loadEntry(kEqualiser, error);
  EXPECT_NE(entry, nullptr) << error;
  AEffect* fx = entry ? entry(vsthostCallback) : nullptr;
  if (fx) call(fx, effOpen);
  return fx;
}

TEST(ThirdParty, ListsAndSetsParametersByName) {
  AEffect* fx = openEqualiser();
  ASSERT_NE(fx, nullptr);
  EXPECT_NE(text(fx, effGetEffectName).find("Band"), std::string::npos);
  ASSERT_GE(fx->numParams, 4);
  EXPECT_EQ(text(fx, effGetParamName, 0), "Low");
  EXPECT_TRUE(setParam(fx, "Low=0.25"));
  EXPECT_FLOAT_EQ(fx->getParameter(fx, 0), 0.25f);
  EXPECT_TRUE(setParam(fx, "1=0.75"));
  EXPECT_FLOAT_EQ(fx->getParameter(fx, 1), 0.75f);
  EXPECT_FALSE(setParam(fx, "Nothing=0.5"));
  call(fx, effClose);
}

TEST(ThirdParty, CuttingTheLowBandLowersABassClip) {
  Wav in = bassClip(1.0, 44100);
  AEffect* flat = openEqualiser();
  ASSERT_NE(flat, nullptr);
  Wav same = render(flat, in, 512, false);
  call(flat, effClose);
  AEffect* cut = openEqualiser();
  ASSERT_NE(cut, nullptr);
  cut->setParameter(cut, 0, 0.0f);
  Wav lower = render(cut, in, 512, false);
  call(cut, effClose);
  double inLevel = toneLevel(in.samples, 1, 0, 44100, 55, 0, 22050);
  EXPECT_NEAR(toneLevel(same.samples, same.channels, 0, 44100, 55, 0, 22050), inLevel, 0.5);
  EXPECT_LT(toneLevel(lower.samples, lower.channels, 0, 44100, 55, 0, 22050), inLevel - 8);
}

}  // namespace
