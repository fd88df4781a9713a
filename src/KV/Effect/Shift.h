// Effects that change the time base of a signal: Oversam interpolates to eight times the
// sample rate; Nshift and Shift shift the pitch with two crossfaded taps sweeping through a
// short delay, Shift with a normalised crossfade and feedback that cancels the taps' comb.
#pragma once

#include <cstdint>

#include "KV/Effect/Effect.h"

struct KV_Effect_Oversam : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  int32_t k = 1;  // stored and answered; the factor stays 8
  int32_t y0 = 0, y1 = 0, y2 = 0;  // the last three input samples / 8
  int32_t t1 = 0, t2 = 0;          // slopes at y0 and y1 per output step

  void process() override;
  void reset() override { y0 = y1 = y2 = t1 = t2 = 0; }
  void restart() override {
    reset();
    KV_Effect::restart();
  }
};

constexpr int32_t KV_SHIFT_RING = 8192;
constexpr int32_t KV_SHIFT_UNIT = 16384;          // delays and speeds in 1/16384 sample
constexpr int32_t KV_SHIFT_MAX_WINDOW = 1 << 30;  // phase + window stays inside 32 bits

// The state the two pitch shifters share.
struct KV_Effect_Pitch : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  int32_t position = 0;            // ring slot of the newest input sample
  KV_Shared<int32_t> phase{0};     // delay of the first tap; the audio thread's, and option p's
  int32_t inputRing[KV_SHIFT_RING] = {};
  int32_t outputRing[KV_SHIFT_RING] = {};  // Shift only
  KV_Shared<int32_t> speed{0};       // phase change per sample; pitch x (1 - speed / 16384)
  KV_Shared<int32_t> window{8388608};  // sweep length P: 512 samples at 48000 Hz

  void clockChanged() override;
  void reset() override;

  // Speeds of 16384 and more would stop or reverse the pitch (and divide by zero in Shift's
  // lag): they are refused.
  void setSpeed(int32_t s) {
    if (s < KV_SHIFT_UNIT) speed = s;
  }
  void restart() override;
  // Moves the phase by the speed and folds it back by one window.
  void advancePhase() { phase = advancePhase(phase, speed, window); }
  static int32_t advancePhase(int32_t phase, int32_t speed, int32_t window);
  // The two crossfade weights, sin^2 of the phase and of the phase plus a window.
  void weights(double& w1, double& w2) const { weights(phase, window, w1, w2); }
  static void weights(int32_t phase, int32_t window, double& w1, double& w2);
};

struct KV_Effect_Nshift : KV_Effect_Pitch {
  void process() override;
};

struct KV_Effect_Shift : KV_Effect_Pitch {
  void process() override;
};

KV_API extern const KV_option KV_Effect_Oversam_options[];
KV_API extern const KV_option KV_Effect_Nshift_options[];
KV_API extern const KV_option KV_Effect_Shift_options[];
