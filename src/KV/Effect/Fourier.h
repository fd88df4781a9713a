// The radix-2 fixed-point Fourier transform on 32-bit integers. Forward, the most recent N
// input samples (optionally sin^2-windowed) become N complex points scaled by 1/N; backward,
// N complex points are taken straight from the input and transformed without scaling. Both
// directions use the exponent e^(+2 pi i nk/N), so forward then backward reverses time.
#pragma once

#include <cstdint>

#include "KV/Effect/Effect.h"

// Sizes: N = 2^(s+1) points for s = 0 ... 11, limited by the shared quarter-circle table.
constexpr int32_t KV_FOURIER_MAX_S = 11;
constexpr int32_t KV_FOURIER_TWIDDLES = 2048;

struct KV_Fourier_Twiddle {
  int32_t c, s;  // cos and sin of pi j / 2048, scaled by 2^31 - 1
};

// The process-wide table, filled on first use (thread-safe) and never changed.
const KV_Fourier_Twiddle* KV_Fourier_twiddles();

struct KV_Fourier_Transform : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* ring = nullptr;      // owned: the last N input samples, position = write index
  KV_Buffer* spectrum = nullptr;  // owned: 2N samples, real at 2k, imaginary at 2k + 1
  int32_t s = -1;                 // no size until -s
  KV_Shared<bool> backward{false};
  KV_Shared<int32_t> window{0};   // 0 none, 1 sin^2

  KV_Fourier_Transform();
  ~KV_Fourier_Transform() override;

  void process() override;
  // Clears the ring, its position and the spectrum.
  void restart() override;

  int32_t points() const { return s < 0 ? 0 : int32_t{2} << s; }
  // Gives the transform N = 2^(s+1) points; sizes outside 0 ... 11 change nothing.
  void setSize(int32_t size);
  // Appends n samples to the ring and transforms the last N of them into the spectrum.
  void forward(const int32_t* samples, int32_t n);
  // Transforms the N complex points at `points` into the spectrum.
  void inverse(const int32_t* points);
};

// rev(i) over s + 1 bits, the number whose bit (s - b) is bit b of i, stepped from rev(i) to
// rev(i + 1) for a transform of N points: adding one from the top bit down.
inline uint32_t KV_Fourier_nextReversed(uint32_t r, uint32_t N) {
  uint32_t bit = N >> 1;
  while (r & bit) {
    r ^= bit;
    bit >>= 1;
  }
  return r | bit;
}

// The butterflies over N = 2^(s+1) complex values in bit-reversed order; Halving divides by 2
// at every stage (forward) so that no stage can leave 32 bits.
template <bool Halving>
void KV_Fourier_butterflies(int32_t* z, int32_t s);

KV_API extern const KV_option KV_Fourier_Transform_options[];
