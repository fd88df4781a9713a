#include "KV/Effect/Shift.h"

#include <cmath>
#include <new>

#include "KV/Effect/Dist.h"

namespace {

constexpr double PI = 3.141592653589793;
constexpr uint32_t RING_MASK = KV_SHIFT_RING - 1;

inline uint32_t slot(int32_t position, int64_t k) {
  return (static_cast<uint32_t>(position) + static_cast<uint32_t>(static_cast<uint64_t>(k))) & RING_MASK;
}

// Shift's tap: a 64-bit interpolation between the two ring samples around delay d.
inline double tapWide(const int32_t* ring, int32_t position, int64_t d) {
  const int64_t k = d / KV_SHIFT_UNIT, f = d % KV_SHIFT_UNIT;
  const uint32_t i0 = slot(position, k);
  const int64_t r0 = ring[i0], r1 = ring[(i0 + 1) & RING_MASK];
  return static_cast<double>((r1 * f + r0 * (KV_SHIFT_UNIT - f)) >> 14);
}

// Nshift's tap: the samples are scaled down first and the sum stays in 32 bits (wrapping).
inline double tapNarrow(const int32_t* ring, int32_t position, int64_t d) {
  const int64_t k = d / KV_SHIFT_UNIT, f = d % KV_SHIFT_UNIT;
  const uint32_t i0 = slot(position, k);
  const uint32_t r0 = static_cast<uint32_t>(ring[i0] >> 14), r1 = static_cast<uint32_t>(ring[(i0 + 1) & RING_MASK] >> 14);
  const uint32_t uf = static_cast<uint32_t>(f);
  return static_cast<int32_t>(r1 * uf + r0 * (static_cast<uint32_t>(KV_SHIFT_UNIT) - uf));
}

}  // namespace

// ---- Oversam

void KV_Effect_Oversam::process() {
  if (!output) return;
  const int32_t L = output->lengthSetting;  // the setting, not the pipe's block
  if (L <= 0 || !output->main || output->count < L) return;
  const int32_t need = static_cast<int32_t>((int64_t{L} + 7) / 8);
  if (!KV_holds(input, need)) return;
  const int32_t* in = view(input);
  int32_t* out = view(output);
  uint32_t a0 = static_cast<uint32_t>(y0), a1 = static_cast<uint32_t>(y1);
  int32_t s1 = t1, s2 = t2, b2 = y2;
  for (int32_t i = 0; i < L; ++i) {
    const uint32_t a = static_cast<uint32_t>(i) & 7u;
    if (a == 0) {
      s1 = s2;
      a0 = a1;
      a1 = static_cast<uint32_t>(b2);
      b2 = in[i / 8] / 8;
      s2 = static_cast<int32_t>(static_cast<uint32_t>(b2) - a0) / 2 / 8;
    }
    const uint32_t lead = (8u - a) * (a0 + a * static_cast<uint32_t>(s1));
    const uint32_t trail = a * (a1 - (8u - a) * static_cast<uint32_t>(s2));
    out[i] = static_cast<int32_t>(lead + trail);
  }
  y0 = static_cast<int32_t>(a0);
  y1 = static_cast<int32_t>(a1);
  y2 = b2;
  t1 = s1;
  t2 = s2;
}

// ---- Nshift, Shift

void KV_Effect_Pitch::clockChanged() {
  // Without a usable rate the window stays as it was.
  const int32_t clk = clock;
  if (clk <= 0) return;
  const long double p = static_cast<long double>(clk) * 8388608.0L * (1.0L / 48000.0L);
  window = p >= KV_SHIFT_MAX_WINDOW ? KV_SHIFT_MAX_WINDOW : (p < 1.0L ? 1 : static_cast<int32_t>(p));
}

void KV_Effect_Pitch::reset() {
  for (int32_t i = 0; i < KV_SHIFT_RING; ++i) inputRing[i] = outputRing[i] = 0;
}

void KV_Effect_Pitch::restart() {
  reset();
  position = 0;
  phase = 0;
  KV_Effect::restart();
}

int32_t KV_Effect_Pitch::advancePhase(int32_t phase, int32_t speed, int32_t window) {
  phase = KV_wrapAdd(phase, speed);
  if (phase < 0) phase = KV_wrapAdd(phase, window);
  else if (static_cast<uint32_t>(phase) >= static_cast<uint32_t>(window)) phase = KV_wrapSub(phase, window);
  return phase;
}

void KV_Effect_Pitch::weights(int32_t phase, int32_t window, double& w1, double& w2) {
  const double scale = PI / (2.0 * window);
  const double a = std::sin(phase * scale), b = std::sin((static_cast<double>(phase) + window) * scale);
  w1 = a * a;
  w2 = b * b;
}

void KV_Effect_Nshift::process() {
  const int32_t n = KV_lengthOf(input);
  if (n <= 0 || !KV_holds(input, n) || !KV_holds(output, n)) return;
  const int32_t* in = view(input);
  int32_t* out = view(output);
  const int32_t sp = speed, win = window, start = phase;
  int32_t ph = start;
  for (int32_t i = 0; i < n; ++i) {
    position = static_cast<int32_t>((static_cast<uint32_t>(position) - 1u) & RING_MASK);
    inputRing[position] = in[i];
    ph = advancePhase(ph, sp, win);
    double w1, w2;
    weights(ph, win, w1, w2);
    const double v = tapNarrow(inputRing, position, ph) * w1 + tapNarrow(inputRing, position, int64_t{ph} + win) * w2;
    out[i] = KV_truncate32(v);
  }
  phase.replace(start, ph);
}

void KV_Effect_Shift::process() {
  const int32_t n = KV_lengthOf(input);
  if (n <= 0 || !KV_holds(input, n) || !KV_holds(output, n)) return;
  const int32_t* in = view(input);
  int32_t* out = view(output);
  const int32_t sp = speed, win = window, start = phase;
  int32_t ph = start;
  // The speed is below 16384 (refused otherwise), so the pitch factor is at least 2^-14.
  const int32_t v = sp < KV_SHIFT_UNIT ? sp : KV_SHIFT_UNIT - 1;
  const int64_t lag = static_cast<int64_t>(win / (1.0 - v * (1.0 / KV_SHIFT_UNIT)));
  for (int32_t i = 0; i < n; ++i) {
    position = static_cast<int32_t>((static_cast<uint32_t>(position) - 1u) & RING_MASK);
    inputRing[position] = in[i];
    ph = advancePhase(ph, sp, win);
    double w1, w2;
    weights(ph, win, w1, w2);
    double y = tapWide(inputRing, position, ph) * w1 + tapWide(inputRing, position, int64_t{ph} + win) * w2;
    double ratio, gain;
    if (w1 < w2) {
      ratio = w1 / w2;
      gain = 1.0 / w2;
    } else {
      ratio = w2 / w1;
      gain = 1.0 / w1;
    }
    y = gain * y - ratio * tapWide(outputRing, position, lag);
    const int32_t r = KV_truncate32(y);
    outputRing[position] = r;
    out[i] = r;
  }
  phase.replace(start, ph);
}

namespace {

KV_value oversamK(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) KV_as<KV_Effect_Oversam>(o)->k = v.asTruncated();
  return KV_value::ofInt(KV_as<KV_Effect_Oversam>(o)->k);
}

KV_value pitchS(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) KV_as<KV_Effect_Pitch>(o)->setSpeed(v.asTruncated());
  return KV_value::ofInt(static_cast<int32_t>(KV_as<KV_Effect_Pitch>(o)->speed));
}

KV_value pitchP(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) KV_as<KV_Effect_Pitch>(o)->phase = v.asTruncated();
  return KV_value::ofInt(static_cast<int32_t>(KV_as<KV_Effect_Pitch>(o)->phase));
}

}  // namespace

const KV_option KV_Effect_Oversam_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Oversam>),
    KV_opt("i", KV_bufferOption<KV_Effect_Oversam, &KV_Effect_Oversam::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Oversam, &KV_Effect_Oversam::output>),
    KV_opt("k", oversamK),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Nshift_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Nshift>),
    KV_opt("i", KV_bufferOption<KV_Effect_Pitch, &KV_Effect_Pitch::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Pitch, &KV_Effect_Pitch::output>),
    KV_opt("s", pitchS),
    KV_opt("p", pitchP),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Shift_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Shift>),
    KV_opt("i", KV_bufferOption<KV_Effect_Pitch, &KV_Effect_Pitch::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Pitch, &KV_Effect_Pitch::output>),
    KV_opt("s", pitchS),
    KV_opt("p", pitchP),
    KV_opt_end(KV_Effect_options),
};
