// Sign, distortion and envelope effects: Gtzero and Ltzero limit a signal from below or above,
// Dist is a soft clipper whose clipping point drifts with the signal, Ampdet writes the
// rectified input and an envelope with separate attack and release.
#pragma once

#include <cmath>
#include <cstdint>

#include "KV/Effect/Effect.h"

// A floating-point result truncated toward zero into 32 bits; values beyond the range pin to
// its ends and NaN gives 0, so that no conversion is left undefined.
inline int32_t KV_truncate32(long double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0L) return INT32_MAX;
  if (x <= -2147483648.0L) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// The same for 64-bit integers.
inline int32_t KV_saturate32(int64_t x) {
  return x > INT32_MAX ? INT32_MAX : (x < INT32_MIN ? INT32_MIN : static_cast<int32_t>(x));
}

// A buffer reference option: set by an object reference, answered as one.
template <class T, KV_Buffer* T::*Field>
KV_value KV_bufferOption(KV_Object* o, KV_value v) {
  T* t = static_cast<T*>(o);
  if (v.type == KV_OBJECT) t->*Field = static_cast<KV_Buffer*>(v.asPointer());
  return KV_value::ofObject(t->*Field);
}

// True when the buffer exists and holds at least n samples in this block.
inline bool KV_holds(KV_Buffer* b, int32_t n) { return b && b->main && KV_lengthOf(b) >= n; }

// Output samples are max(input, limit): with the limit 0 only the positive part passes.
struct KV_Effect_Gtzero : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  int32_t limit = 0;

  void process() override;
};

// Output samples are min(input, limit): with the limit 0 only the negative part passes.
struct KV_Effect_Ltzero : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  int32_t limit = 0;

  void process() override;
};

struct KV_Effect_Dist : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  int32_t z = 0;            // bias, the state
  int32_t C = 67108864;     // rate coefficient, 2^26 until the clock and K are known
  float K = 0.0f;           // rate of the bias drift, per sample at 48000 Hz
  int32_t D = 16777216;     // drive, 1.0 = 2^29
  int32_t M = 4194304;      // soft range
  int32_t L = 8388608;      // linear limit
  int32_t shift = 1;
  int32_t flags = 0;        // bit 0: asymmetric lower limit
  double s = 0.5;           // softness: the share of the drive given to the soft range

  void process() override;
  void clockChanged() override { computeRate(); }
  void reset() override { z = 0; }

  void computeLimits();
  void computeRate();
  // One sample through the clipper; updates z.
  int32_t clip(int32_t x);
};

struct KV_Effect_Ampdet : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;     // envelope
  KV_Buffer* rectified = nullptr;
  float f1 = 0.0f;                 // attack frequency, Hz
  float f2 = 0.0f;                 // release frequency, Hz
  int32_t c1 = 0;                  // attack coefficient, Q31
  int32_t c2 = 0;                  // release coefficient, Q31
  int32_t e = 0;                   // envelope, the state

  void process() override;
  void clockChanged() override;
  void reset() override { e = 0; }

  // 2^31 * 2*pi*f / (2*pi*f + clock); 2^31 - 1 for f = 0. Only meaningful with a clock.
  int32_t coefficient(float f) const;
};

KV_API extern const KV_option KV_Effect_Gtzero_options[];
KV_API extern const KV_option KV_Effect_Ltzero_options[];
KV_API extern const KV_option KV_Effect_Dist_options[];
KV_API extern const KV_option KV_Effect_Ampdet_options[];
