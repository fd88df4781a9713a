#include "PowerPlot.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <string>

namespace spectrum {
namespace {

constexpr double kPi = 3.14159265358979323846;

// In-place radix-2 transform; `x.size()` is a power of two.
void fft(std::vector<std::complex<double>>& x) {
  const size_t n = x.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> step = std::polar(1.0, -2 * kPi / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        const std::complex<double> a = x[i + k], b = x[i + k + len / 2] * w;
        x[i + k] = a + b;
        x[i + k + len / 2] = a - b;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Drawing: a 5 x 7 pixel font for the labels, lines and the plot's frame.

struct Colour {
  uint8_t r, g, b;
};

constexpr Colour kBackground{24, 26, 30}, kGrid{58, 62, 70}, kAxis{150, 155, 165}, kInput{90, 160, 240},
    kOutput{250, 150, 50}, kMarker{220, 220, 120};

// Rows top first, five pixels each; '#' is ink.
const char* glyph(char c) {
  switch (c) {
    case '0': return ".###.#...##..###.#.###..##...#.###.";
    case '1': return "..#...##....#....#....#....#...###.";
    case '2': return ".###.#...#....#...#...#...#...#####";
    case '3': return "#####...#...#.....#.....##...#.###.";
    case '4': return "...#...##..#.#.#..#.#####...#....#.";
    case '5': return "######....####.....#....##...#.###.";
    case '6': return "..##..#...#....####.#...##...#.###.";
    case '7': return "#####....#...#...#...#....#....#...";
    case '8': return ".###.#...##...#.###.#...##...#.###.";
    case '9': return ".###.#...##...#.####....#...#..##..";
    case 'k': return "#....#....#..#.#.#..##...#.#..#..#.";
    case 'H': return "#...##...##...#######...##...##...#";
    case 'z': return "..........#####...#...#...#...#####";
    case 'd': return "....#....#.##.##..###...##...#.####";
    case 'B': return "####.#...##...#####.#...##...#####.";
    case 'f': return "..##..#..#.#...###...#....#....#...";
    case 'i': return "..#........##....#....#....#...###.";
    case 'n': return "..........#.##.##..##...##...##...#";
    case 'p': return "..........####.#...#####.#....#....";
    case 'u': return "..........#...##...##...##..##.##.#";
    case 't': return ".#....#...###...#....#....#..#..##.";
    case 'o': return "...........###.#...##...##...#.###.";
    case '-': return "...............#####...............";
    default: return nullptr;  // a space
  }
}

struct Canvas {
  kvpic::Image& image;

  void dot(int x, int y, Colour c, int alpha = 255) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
    uint8_t* p = image.at(x, y);
    auto mix = [alpha](uint8_t under, uint8_t over) { return static_cast<uint8_t>((over * alpha + under * (255 - alpha)) / 255); };
    p[0] = mix(p[0], c.b);
    p[1] = mix(p[1], c.g);
    p[2] = mix(p[2], c.r);
    p[3] = 255;
  }
  void rect(int x0, int y0, int x1, int y1, Colour c, int alpha = 255) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) dot(x, y, c, alpha);
  }
  // A line `thick` pixels wide, stepped along its longer extent.
  void line(double x0, double y0, double x1, double y1, Colour c, int thick) {
    const int steps = static_cast<int>(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))) + 1;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      const int x = static_cast<int>(std::lround(x0 + (x1 - x0) * t)), y = static_cast<int>(std::lround(y0 + (y1 - y0) * t));
      rect(x - thick / 2, y - thick / 2, x - thick / 2 + thick, y - thick / 2 + thick, c);
    }
  }
  // Text at `scale` times the font's size; returns the width drawn.
  int text(int x, int y, const std::string& s, Colour c, int scale = 2) {
    for (size_t i = 0; i < s.size(); ++i) {
      const char* g = glyph(s[i]);
      for (int r = 0; g && r < 7; ++r)
        for (int col = 0; col < 5; ++col)
          if (g[r * 5 + col] == '#') rect(x + 6 * scale * static_cast<int>(i) + col * scale, y + r * scale,
                                           x + 6 * scale * static_cast<int>(i) + (col + 1) * scale, y + (r + 1) * scale, c);
    }
    return 6 * scale * static_cast<int>(s.size());
  }
};

// Plot area inside the picture.
constexpr int kWidth = 900, kHeight = 460, kLeft = 70, kTop = 40, kRight = 20, kBottom = 50;
constexpr double kTopDb = 0;

std::string hzLabel(double hz) { return hz >= 1000 ? std::to_string(static_cast<int>(hz / 1000)) + "k" : std::to_string(static_cast<int>(hz)); }

// The level at frequency `hz`, interpolated between bins in dB.
double levelAt(const std::vector<double>& levels, double binHz, double hz) {
  const double k = hz / binHz;
  const size_t i = static_cast<size_t>(k);
  if (i + 1 >= levels.size()) return levels.back();
  const double t = k - static_cast<double>(i);
  return levels[i] * (1 - t) + levels[i + 1] * t;
}

// One curve: per pixel column, the highest bin in the column's band (or the interpolated level
// where the band holds no bin), joined by lines.
void curve(Canvas& canvas, const std::vector<double>& levels, int rate, double highHz, Colour c) {
  const int w = kWidth - kLeft - kRight, h = kHeight - kTop - kBottom;
  const double binHz = static_cast<double>(rate) / (2.0 * static_cast<double>(levels.size() - 1));
  const double ratio = std::log(highHz / kLowHz);
  double lastY = -1;
  for (int x = 0; x < w; ++x) {
    const double f0 = kLowHz * std::exp(ratio * x / w), f1 = kLowHz * std::exp(ratio * (x + 1) / w);
    double level = -1e9;
    for (size_t k = static_cast<size_t>(std::ceil(f0 / binHz)); static_cast<double>(k) * binHz < f1 && k < levels.size(); ++k)
      level = std::max(level, levels[k]);
    if (level < -1e8) level = levelAt(levels, binHz, 0.5 * (f0 + f1));
    level = std::clamp(level, kFloorDb, kTopDb);
    const double y = kTop + (kTopDb - level) / (kTopDb - kFloorDb) * h;
    if (lastY >= 0) canvas.line(kLeft + x - 1, lastY, kLeft + x, y, c, 2);
    lastY = y;
  }
}

void frame(Canvas& canvas, double highHz) {
  const int w = kWidth - kLeft - kRight, h = kHeight - kTop - kBottom;
  for (double decade = 10; decade <= highHz; decade *= 10)
    for (int m = 1; m <= 9; ++m) {
      const double hz = decade * m;
      if (hz < kLowHz || hz > highHz) continue;
      const int x = kLeft + xOf(hz, highHz, w);
      canvas.rect(x, kTop, x + 1, kTop + h, kGrid);
      if (m == 1 || m == 2 || m == 5) {
        const std::string label = hzLabel(hz);
        canvas.text(x - 6 * static_cast<int>(label.size()), kTop + h + 8, label, kAxis);
      }
    }
  for (int db = 0; db >= kFloorDb; db -= 20) {
    const int y = kTop + static_cast<int>((kTopDb - db) / (kTopDb - kFloorDb) * h);
    canvas.rect(kLeft, y, kLeft + w, y + 1, kGrid);
    const std::string label = std::to_string(db);
    canvas.text(kLeft - 8 - 12 * static_cast<int>(label.size()), y - 7, label, kAxis);
  }
  canvas.text(kLeft + w - 24, kTop + h + 28, "Hz", kAxis);
  canvas.text(8, kTop - 30, "dB", kAxis);
  canvas.rect(kLeft, kTop, kLeft + w, kTop + 1, kAxis);
  canvas.rect(kLeft, kTop + h, kLeft + w, kTop + h + 1, kAxis);
  canvas.rect(kLeft, kTop, kLeft + 1, kTop + h, kAxis);
  canvas.rect(kLeft + w - 1, kTop, kLeft + w, kTop + h, kAxis);
  // The legend.
  int x = kLeft + 60;
  canvas.rect(x, kTop - 22, x + 24, kTop - 18, kInput);
  x += 32 + canvas.text(x + 32, kTop - 27, "input", kAxis) + 30;
  canvas.rect(x, kTop - 22, x + 24, kTop - 18, kOutput);
  canvas.text(x + 32, kTop - 27, "output", kAxis);
}

void markers(Canvas& canvas, double fundamentalHz, double highHz) {
  const int w = kWidth - kLeft - kRight, h = kHeight - kTop - kBottom;
  int labelEnd = 0;  // labels that would run into the one before are left out
  for (int n = 1; fundamentalHz * n <= highHz && n <= 8; ++n) {
    const int x = kLeft + xOf(fundamentalHz * n, highHz, w);
    for (int y = kTop + 1; y < kTop + h; y += 6) canvas.rect(x, y, x + 1, y + 3, kMarker, 200);
    const std::string label = n == 1 ? "f" : std::to_string(n) + "f";
    if (x + 4 > labelEnd) labelEnd = x + 4 + canvas.text(x + 4, kTop + 6, label, kMarker) + 4;
  }
}

}  // namespace

std::vector<double> average(const Wav& audio, int channel, int size) {
  const size_t n = static_cast<size_t>(size), frames = audio.frames();
  std::vector<double> window(n), power(n / 2 + 1, 0.0);
  double gain = 0;
  for (size_t i = 0; i < n; ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / static_cast<double>(n));
    gain += window[i];
  }
  std::vector<std::complex<double>> x(n);
  size_t count = 0;
  // At least one transform: a clip shorter than `size` is padded with silence.
  for (size_t start = 0; count == 0 || start + n <= frames; start += n / 2, ++count) {
    for (size_t i = 0; i < n; ++i) {
      const size_t f = start + i;
      const double v = f < frames ? audio.samples[f * static_cast<size_t>(audio.channels) + static_cast<size_t>(channel)] : 0.0;
      x[i] = v * window[i];
    }
    fft(x);
    for (size_t k = 0; k <= n / 2; ++k) power[k] += std::norm(x[k]);
  }
  std::vector<double> levels(n / 2 + 1);
  for (size_t k = 0; k <= n / 2; ++k) {
    const double amplitude = 2 * std::sqrt(power[k] / static_cast<double>(count)) / gain;
    levels[k] = amplitude > 0 ? 20 * std::log10(amplitude) : kFloorDb;
  }
  return levels;
}

double strongest(const std::vector<double>& levels, int rate, double lo, double hi) {
  const double binHz = static_cast<double>(rate) / (2.0 * static_cast<double>(levels.size() - 1));
  size_t best = 0;
  for (size_t k = static_cast<size_t>(std::ceil(lo / binHz)); k < levels.size() && static_cast<double>(k) * binHz <= hi; ++k)
    if (best == 0 || levels[k] > levels[best]) best = k;
  return static_cast<double>(best) * binHz;
}

int xOf(double hz, double highHz, int width) {
  return static_cast<int>(std::lround(std::log(hz / kLowHz) / std::log(highHz / kLowHz) * width));
}

kvpic::Image draw(const Wav& in, const Wav& out, double fundamentalHz) {
  // About 2.7 Hz per bin at 44.1 kHz: a bass line's harmonics stand apart.
  int size = 1;
  while (size < in.rate / 3) size <<= 1;
  const std::vector<double> input = average(in, 0, size), output = average(out, 0, size);
  const double highHz = std::min(20000.0, in.rate / 2.0);
  if (fundamentalHz <= 0) fundamentalHz = strongest(input, in.rate, 25, 1000);

  kvpic::Image image(kWidth, kHeight);
  Canvas canvas{image};
  canvas.rect(0, 0, kWidth, kHeight, kBackground);
  frame(canvas, highHz);
  curve(canvas, input, in.rate, highHz, kInput);
  curve(canvas, output, out.rate, highHz, kOutput);
  if (fundamentalHz > 0) markers(canvas, fundamentalHz, highHz);
  return image;
}

}  // namespace spectrum
