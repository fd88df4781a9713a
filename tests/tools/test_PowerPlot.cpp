// The spectrum behind vsthost's picture: a sine's level and frequency are where they should be.
#include <gtest/gtest.h>

#include <cmath>

#include "PowerPlot.h"

namespace {

TEST(Spectrum, ASineOnABinHasItsAmplitudeAndIsTheStrongest) {
  const int rate = 48000, size = 16384, bin = 341;  // 999.02 Hz
  const double hz = static_cast<double>(bin) * rate / size;
  Wav w;
  w.channels = 2;  // the second channel is silence and must not count
  w.rate = rate;
  for (int i = 0; i < rate; ++i) {
    w.samples.push_back(static_cast<float>(0.5 * std::sin(2 * 3.14159265358979323846 * hz * i / rate)));
    w.samples.push_back(0.0f);
  }
  const std::vector<double> levels = spectrum::average(w, 0, size);
  ASSERT_EQ(levels.size(), static_cast<size_t>(size / 2 + 1));
  EXPECT_NEAR(levels[bin], 20 * std::log10(0.5), 0.05);
  EXPECT_LT(levels[bin + 8], levels[bin] - 60);  // a Hann window's leakage falls off fast
  EXPECT_DOUBLE_EQ(spectrum::strongest(levels, rate, 25, 5000), hz);
  EXPECT_LE(spectrum::average(w, 1, size)[bin], spectrum::kFloorDb);
}

}  // namespace
