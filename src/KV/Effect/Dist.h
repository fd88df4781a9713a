// Sign, distortion and envelope effects: Gtzero and Ltzero limit a signal from below or above,
// Dist is a soft clipper whose clipping point drifts with the signal, Ampdet writes the
// rectified input and an envelope with separate attack and release.
#pragma once

#include <cmath>
#include <cstdint>

#include "KV/Effect/Effect.h"

// Output samples are max(input, limit): with the limit 0 only the positive part passes.
struct KV_Effect_Gtzero : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  KV_Shared<int32_t> limit{0};

  void process() override;
};

// Output samples are min(input, limit): with the limit 0 only the negative part passes.
struct KV_Effect_Ltzero : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  KV_Shared<int32_t> limit{0};

  void process() override;
};

struct KV_Effect_Dist : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  int32_t z = 0;                     // bias, the state
  KV_Shared<int32_t> C{67108864};    // rate coefficient, 2^26 until the clock and K are known
  float K = 0.0f;                    // rate of the bias drift, per sample at 48000 Hz
  int32_t D = 16777216;              // drive, 1.0 = 2^29
  KV_Shared<int32_t> M{4194304};     // soft range
  KV_Shared<int32_t> L{8388608};     // linear limit
  KV_Sequence limitsChange;          // L and M change together
  int32_t shift = 1;
  KV_Shared<int32_t> flags{0};       // bit 0: asymmetric lower limit
  double s = 0.5;                    // softness: the share of the drive given to the soft range

  // The clipper's settings as one block takes them.
  struct Settings {
    int32_t L, M, C, flags, shift;
  };

  void process() override;
  void clockChanged() override { computeRate(); }
  void reset() override { z = 0; }
  void restart() override {
    z = 0;
    KV_Effect::restart();
  }
  void computeLimits();
  void computeRate();
  // The settings now, L and M taken whole (those of the last block while they are being changed).
  Settings settings();
  // One sample through the clipper; updates z.
  int32_t clip(int32_t x) { return clip(x, settings()); }
  int32_t clip(int32_t x, const Settings& set);

 private:
  int32_t used[2] = {8388608, 4194304};  // L and M as the blocks run with them
};

struct KV_Effect_Ampdet : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;     // envelope
  KV_Buffer* rectified = nullptr;
  float f1 = 0.0f;                 // attack frequency, Hz
  float f2 = 0.0f;                 // release frequency, Hz
  KV_Shared<int32_t> c1{0};        // attack coefficient, Q31
  KV_Shared<int32_t> c2{0};        // release coefficient, Q31
  KV_Sequence coefficientChange;   // a new clock changes c1 and c2 together
  int32_t e = 0;                   // envelope, the state

  void process() override;
  void clockChanged() override;
  void reset() override { e = 0; }
  void restart() override {
    e = 0;
    KV_Effect::restart();
  }

  // 2^31 * 2*pi*f / (2*pi*f + clock); 2^31 - 1 for f = 0. Only meaningful with a clock.
  int32_t coefficient(float f) const;

 private:
  int32_t used[2] = {0, 0};  // c1 and c2 as the blocks run with them
};

KV_API extern const KV_option KV_Effect_Gtzero_options[];
KV_API extern const KV_option KV_Effect_Ltzero_options[];
KV_API extern const KV_option KV_Effect_Dist_options[];
KV_API extern const KV_option KV_Effect_Ampdet_options[];
