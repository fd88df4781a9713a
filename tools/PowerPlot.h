// What an effect does to a spectrum, as a picture: the input's and the output's average spectra
// on a logarithmic frequency axis in dB, with the fundamental and its harmonics marked.
#pragma once

#include <vector>

#include "kvpicture.h"
#include "wav.h"

namespace spectrum {

// The average spectrum of one channel: Hann-windowed transforms of `size` frames (a power of
// two), half overlapping, power averaged. Entry k is the level, in dBFS of a sine's amplitude,
// at k * rate / size Hz, for k = 0 ... size / 2.
std::vector<double> average(const Wav& audio, int channel, int size);

// The strongest frequency of a spectrum between `lo` and `hi` Hz: the fundamental of a bass line.
double strongest(const std::vector<double>& levels, int rate, double lo, double hi);

// The horizontal position of `hz` in a plot of `width` pixels from kLowHz to `highHz`.
int xOf(double hz, double highHz, int width);

constexpr double kLowHz = 20;
constexpr double kFloorDb = -120;

// The picture: input and output spectra (the first channel of each), the fundamental (found in
// the input when `fundamentalHz` is 0) and its harmonics marked up to the top of the plot.
kvpic::Image draw(const Wav& in, const Wav& out, double fundamentalHz);

}  // namespace spectrum
