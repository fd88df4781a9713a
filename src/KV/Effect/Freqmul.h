// The frequency multipliers: period-copying effects that find the periods of a monophonic
// signal at its rising zero crossings, write each period k times into a ring and read the ring
// k samples at a time, so that every period comes out k times, each copy k times shorter.
// KV_Effect_Tolvar guards its crossings with a running average slope and joins the copies with
// reversed, negated, ramped and crossfaded periods; KV_Effect_Freqmul copies straight.
// Both read and write the buffers' main arrays directly: their switching is not faded.
#pragma once

#include <cstdint>

#include "KV/Effect/Effect.h"

// The look-back and read lag of both multipliers, in seconds: the single-precision 0.02
// (bit pattern 0x3CA3D70A), as the slope guard and the read lag use it.
constexpr float KV_FREQMUL_LAG_TIME = 0.02f;

// numerator / d truncated toward zero, for a whole numerator below 2^48 in magnitude, 0 < d < 2^15
// and reciprocal = 1.0 / d rounded; a quotient outside the 32-bit range gives INT32_MIN. The
// product's error stays below 2^-20 wherever the result is in range, and a quotient that is not
// whole lies at least 1/d > 2^-15 from the next whole number: lifting the magnitude by 2^-17
// before truncating lands every quotient, whole or not, on the exact truncation.
inline int32_t KV_truncatedQuotient(double numerator, double reciprocal) {
  const double magnitude = (numerator < 0 ? -numerator : numerator) * reciprocal + 0x1p-17;
  const int32_t whole = magnitude < 2147483648.0 ? static_cast<int32_t>(magnitude) : INT32_MIN;
  return numerator < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(whole)) : whole;
}

struct KV_Effect_Tolvar : KV_Effect {
  static constexpr uint32_t RING = 32768;
  static constexpr uint32_t MASK = RING - 1;

  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  KV_Shared<uint32_t> k{2};
  float lagTime = KV_FREQMUL_LAG_TIME;
  uint32_t writePos = 0;
  uint32_t readPos = 0;
  uint32_t periodStart = 0;
  int32_t ring[RING] = {};
  int32_t previous = -1;
  double averageSlope = 0.0;
  KV_Shared<double> rand{0.6};  // lowest accepted ratio of a crossing's slope to the average
  KV_Shared<double> stab{0.7};  // weight of the old average when a slope is averaged in

  void process() override;
  // Clears the ring and the average slope; the positions and the previous sample stay.
  void reset() override;
  // Clears the ring, the average slope, the positions and the previous sample.
  void restart() override;

  // The read lag of a block at the current clock and k, kept inside the ring.
  uint32_t lag() const;
  // Whether k fits: 1 <= k < ring size, and clock x lag time x k below the ring size.
  bool fits(uint32_t candidateK) const;

 private:
  // What a block needs of the clock and k, computed again only when either changes (the audio
  // thread's own): the read lag, and the longest period the slope guard may still reject (a
  // whole number of samples: a period is longer than the look-back, clock x lag time, exactly
  // when its length exceeds this).
  struct Timing {
    int32_t clock = -1;
    uint32_t k = 0;
    uint32_t lag = 0;
    int64_t guarded = 0;
  } timing;
  const Timing& timingOf(int32_t clk, uint32_t step);
  [[gnu::noinline]] void retime(int32_t clk, uint32_t step);

  // The options as one block sees them, read once at its start.
  struct Settings {
    uint32_t k;
    double rand, stab;
    int64_t guarded;
  };
  // The block's input into the ring, period by period.
  void write(const int32_t* in, int32_t n, uint32_t step);
  // The same from the first crossing c on, or for a block that runs over the ring's end.
  void writeCrossings(const int32_t* in, int32_t n, int32_t c, uint32_t step);
  // The crossing x, `before` being the sample before it.
  void take(int32_t x, int32_t before, const Settings& set);
  void append(const int32_t* x, uint32_t len);
  void writeCopies(int32_t s, uint32_t h, uint32_t factor);
  void writeCopiesApart(int32_t s, uint32_t h, uint32_t factor, uint32_t count);
};

struct KV_Effect_Freqmul : KV_Effect {
  static constexpr uint32_t RING = 16384;
  static constexpr uint32_t MASK = RING - 1;

  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  KV_Shared<uint32_t> k{2};
  float lagTime = KV_FREQMUL_LAG_TIME;
  uint32_t writePos = 0;
  uint32_t readPos = 0;
  uint32_t periodStart = 0;
  int32_t ring[RING] = {};
  int32_t previous = -1;

  void process() override;
  // Clears the ring, the positions and the previous sample.
  void restart() override;

  // The read lag of a block of n samples at the current clock and k, kept inside the ring.
  uint32_t lag(int32_t n) const;
  // Whether k fits: 1 <= k < ring size, and the lag of a block of the input's current length
  // below the ring size.
  bool fits(uint32_t candidateK) const;

 private:
  void take(int32_t x, uint32_t factor);
};

KV_API extern const KV_option KV_Effect_Tolvar_options[];
KV_API extern const KV_option KV_Effect_Freqmul_options[];
