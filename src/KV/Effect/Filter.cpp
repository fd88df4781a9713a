#include "KV/Effect/Filter.h"

#include <array>
#include <cmath>
#include <new>
#include <utility>

namespace {

constexpr long double PI = 3.141592653589793238462643383279502884L;

// A long double truncated toward zero into `out` when it lies in [lo, hi]; NaN never does.
template <class T>
bool truncateInto(long double v, long double lo, long double hi, T& out) {
  if (!(v >= lo && v <= hi)) return false;
  out = static_cast<T>(std::trunc(v));
  return true;
}

// The views of an input and an output for the input's block of n samples. False, and nothing
// to process, when a buffer is missing or empty or the output is shorter than the block.
bool viewBlock(const KV_Effect& e, KV_Buffer* input, KV_Buffer* output, const int32_t*& in, int32_t*& out, int32_t& n) {
  if (!input || !output) return false;
  n = KV_lengthOf(input);
  int32_t outLength = KV_lengthOf(output);
  in = e.view(input);
  out = e.view(output);
  return n > 0 && outLength >= n && in && out;
}

bool validMode(int32_t mode) { return mode >= 0 && mode < KV_MODES; }

// ---- one-pole loops

// KV_onepoleStep over in[0 ... n) from the state s, with emit(i, x, s) given each input and new
// state; returns the last state. The chain is carried by the step's difference
// v = (x + 2^31) - s instead of by s: the next one is v + (x_next - x + c / 2) - product, so that
// only the multiply, its shift and one subtraction wait for the previous step. The states
// s = (x + 2^31) - c / 2 - v + product are the same numbers mod 2^32. Each input is read before
// emit writes, so the output may be the input.
// The value as computed: an empty assembler statement that keeps the compiler from regrouping the
// additions after it with those before, which would put them back on the chain.
inline uint32_t settled(uint32_t value) {
  asm("" : "+r"(value));
  return value;
}

template <class Emit>
inline int32_t onepoleRun(const int32_t* in, int32_t n, int32_t state, uint32_t c, Emit&& emit) {
  if (n <= 0) return state;
  const uint32_t half = c >> 1, lift = 0x80000000u - half;
  uint32_t x = KV_u32(in[0]);
  uint32_t v = x + 0x80000000u - KV_u32(state);
  for (int32_t i = 1; i < n; ++i) {
    const uint32_t product = static_cast<uint32_t>((uint64_t{v} * c) >> 32);
    const uint32_t next = KV_u32(in[i]);
    emit(i - 1, static_cast<int32_t>(x), static_cast<int32_t>(x + lift - v + product));
    v = settled(v + (next + half - x)) - product;
    x = next;
  }
  const uint32_t product = static_cast<uint32_t>((uint64_t{v} * c) >> 32);
  const uint32_t s = x + lift - v + product;
  emit(n - 1, static_cast<int32_t>(x), static_cast<int32_t>(s));
  return static_cast<int32_t>(s);
}

template <int Mode>
void lopassLoop(const int32_t* in, int32_t* out, int32_t n, int32_t& state, uint32_t c) {
  state = onepoleRun(in, n, state, c, [out](int32_t i, int32_t, int32_t s) { out[i] = KV_combine<Mode>(out[i], s); });
}

using OnepoleLoop = void (*)(const int32_t*, int32_t*, int32_t, int32_t&, uint32_t);

constexpr auto lopassLoops = KV_loopTable<KV_MODES>([](auto m) -> OnepoleLoop { return &lopassLoop<m()>; });

void hipassLoop(const int32_t* in, int32_t* out, int32_t n, int32_t& state, uint32_t c) {
  state = onepoleRun(in, n, state, c, [out](int32_t i, int32_t x, int32_t s) { out[i] = KV_wrapSub(x, s); });
}

// ---- band-pass loops

struct BapassState {
  int32_t c0, c1, c2, x1, x2, y1, y2;
};

template <int Mode>
void bapassLoop(const int32_t* in, int32_t* out, int32_t n, BapassState& st) {
  BapassState s = st;
  for (int32_t i = 0; i < n; ++i) {
    int32_t x = in[i];
    uint32_t y = KV_u32(KV_mul31(KV_wrapSub(x, s.x2), s.c2)) - KV_u32(s.y2) + KV_u32(KV_mul31(s.y2, s.c1)) +
                 2u * KV_u32(s.y1) - 2u * KV_u32(KV_mul31(s.y1, s.c0));
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = static_cast<int32_t>(y);
    out[i] = KV_combine<Mode>(out[i], s.y1);
  }
  st = s;
}

using BapassLoop = void (*)(const int32_t*, int32_t*, int32_t, BapassState&);

constexpr auto bapassLoops = KV_loopTable<KV_MODES>([](auto m) -> BapassLoop { return &bapassLoop<m()>; });

}  // namespace

// ---- KV_Effect_Onepole

void KV_Effect_Onepole::recompute() {
  if (frequency == 0 || clock == 0) return;
  long double f = frequency;
  long double c = f * 4294967296.0L * PI / (f * PI + static_cast<long double>(clock) * 0.5L);
  uint32_t alpha;
  if (truncateInto(c, 0.0L, 4294967295.0L, alpha)) coefficient = alpha;
}

void KV_Effect_Lopass::process() {
  const int32_t* in;
  int32_t* out;
  int32_t n;
  const int32_t m = mode;
  if (!viewBlock(*this, input, output, in, out, n) || !validMode(m)) return;
  lopassLoops[static_cast<size_t>(m)](in, out, n, state, coefficient);
}

void KV_Effect_Hipass::process() {
  const int32_t* in;
  int32_t* out;
  int32_t n;
  if (!viewBlock(*this, input, output, in, out, n)) return;
  hipassLoop(in, out, n, state, coefficient);
}

// ---- KV_Effect_Bapass

void KV_Effect_Bapass::recompute() {
  if (ratio == 0.0f || ratio == 1.0f || frequency == 0.0f || clock == 0) return;
  long double f = frequency, q = ratio, clk = clock;
  long double wa = f * q * 2.0L * PI;
  long double wb = (f / q) * 2.0L * PI;
  long double P = (wb - wa) / (wb * wa);
  long double Q = 1.0L / (wb * wa);
  long double A = clk * P * 0.5L;
  long double B = clk * Q * clk;
  constexpr long double lo = -2147483648.0L, hi = 2147483647.0L;
  int32_t n0, n1, n2;
  if (truncateInto((2.0L * A + 1.0L) / (A + B) * 32768.0L * 65536.0L * 0.5L, lo, hi, n0) &&
      truncateInto(2.0L * A / (A + B) * 32768.0L * 65536.0L, lo, hi, n1) &&
      truncateInto(A / (A + B) * 32768.0L * 65536.0L, lo, hi, n2)) {
    coefficientChange.write([&] {
      c0.release(n0);
      c1.release(n1);
      c2.release(n2);
    });
  }
}

void KV_Effect_Bapass::process() {
  const int32_t* in;
  int32_t* out;
  int32_t n;
  const int32_t m = mode;
  if (!viewBlock(*this, input, output, in, out, n) || !validMode(m)) return;
  coefficientChange.take({&c0, &c1, &c2}, used);
  BapassState s{used[0], used[1], used[2], x1, x2, y1, y2};
  bapassLoops[static_cast<size_t>(m)](in, out, n, s);
  x1 = s.x1;
  x2 = s.x2;
  y1 = s.y1;
  y2 = s.y2;
}

// ---- options

namespace {

KV_value onepoleF(KV_Object* o, KV_value v) {
  auto* e = static_cast<KV_Effect_Onepole*>(o);
  if (KV_isNumber(v)) {
    e->frequency = v.asTruncated();
    e->recompute();
  }
  return KV_value::ofInt(e->frequency);
}

KV_value bapassF(KV_Object* o, KV_value v) {
  auto* e = static_cast<KV_Effect_Bapass*>(o);
  if (KV_isNumber(v)) {
    e->frequency = static_cast<float>(v.asNumber());
    e->recompute();
  }
  return KV_value::ofFloat(e->frequency);
}

KV_value bapassQ(KV_Object* o, KV_value v) {
  auto* e = static_cast<KV_Effect_Bapass*>(o);
  if (KV_isNumber(v)) {
    e->ratio = static_cast<float>(v.asNumber());
    e->recompute();
  }
  return KV_value::ofFloat(e->ratio);
}

}  // namespace

const KV_option KV_Effect_Lopass_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Lopass>),
    KV_opt("i", KV_bufferOption<KV_Effect_Onepole, &KV_Effect_Onepole::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Onepole, &KV_Effect_Onepole::output>),
    KV_opt("f", onepoleF),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Hipass_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Hipass>),
    KV_opt("i", KV_bufferOption<KV_Effect_Onepole, &KV_Effect_Onepole::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Onepole, &KV_Effect_Onepole::output>),
    KV_opt("f", onepoleF),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Bapass_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Bapass>),
    KV_opt("i", KV_bufferOption<KV_Effect_Bapass, &KV_Effect_Bapass::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Bapass, &KV_Effect_Bapass::output>),
    KV_opt("f", bapassF),
    KV_opt("q", bapassQ),
    KV_opt_end(KV_Effect_options),
};
