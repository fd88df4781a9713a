// Fixed-point filters: the one-pole low-pass, its complement the high-pass, and a two-pole
// band-pass given by a centre frequency and a band ratio. All sample arithmetic wraps mod 2^32.
#pragma once

#include <cstdint>

#include "KV/Effect/Effect.h"

// What the low-pass and the high-pass share: buffers, corner frequency, coefficient and state.
struct KV_Effect_Onepole : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  int32_t frequency = 0;                // whole Hz
  KV_Shared<uint32_t> coefficient{0};  // alpha x 2^32
  int32_t state = 0;                    // the low-pass value s

  void clockChanged() override { recompute(); }
  void reset() override { state = 0; }
  void restart() override {
    state = 0;
    KV_Effect::restart();
  }

  // alpha x 2^32 with alpha = 2 pi F / (2 pi F + clock); kept as it was unless F and the clock
  // are non-zero and the result is a 32-bit fraction.
  void recompute();
};

// One step of the one-pole low-pass: s moves by (x - s) x c / 2^32 without a signed multiply.
// The sum is taken as (x + 2^31) - s and (s - c / 2) + product, so that only the subtraction, the
// multiply and the last addition wait for the previous step; x + 2^31 is written as the sign
// flip it is, which the compiler leaves outside the chain.
inline int32_t KV_onepoleStep(int32_t x, int32_t s, uint32_t c) {
  const uint32_t u = (static_cast<uint32_t>(x) ^ 0x80000000u) - static_cast<uint32_t>(s);
  const uint32_t base = static_cast<uint32_t>(s) - (c >> 1);
  return static_cast<int32_t>(base + static_cast<uint32_t>((uint64_t{u} * c) >> 32));
}

struct KV_Effect_Lopass : KV_Effect_Onepole {
  void process() override;
};

// Input minus the low-pass. It always overwrites its output, whatever the mode.
struct KV_Effect_Hipass : KV_Effect_Onepole {
  void process() override;
};

struct KV_Effect_Bapass : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  float frequency = 0.0f;  // centre f, Hz
  float ratio = 0.0f;      // q: the band edges are f x q and f / q
  KV_Shared<int32_t> c0{0}, c1{0}, c2{0};
  KV_Sequence coefficientChange;  // c0, c1 and c2 change together
  int32_t x1 = 0, x2 = 0;
  int32_t y1 = 0, y2 = 0;

  void process() override;
  void clockChanged() override { recompute(); }
  void reset() override { x1 = x2 = y1 = y2 = 0; }
  void restart() override {
    reset();
    KV_Effect::restart();
  }

  // Kept as they were unless q is neither 0 nor 1, f and the clock are non-zero, and all three
  // coefficients fit in 32 bits.
  void recompute();

 private:
  int32_t used[3] = {0, 0, 0};  // the coefficients the blocks run with, taken whole from c0 … c2
};

KV_API extern const KV_option KV_Effect_Lopass_options[];
KV_API extern const KV_option KV_Effect_Hipass_options[];
KV_API extern const KV_option KV_Effect_Bapass_options[];
