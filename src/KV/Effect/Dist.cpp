#include "KV/Effect/Dist.h"

#include <new>

namespace {

constexpr long double TWO_29 = 536870912.0L;

// ---- Gtzero, Ltzero

// Both write their result whatever the mode.
template <class T, bool Greater>
void limitLoop(T* fx) {
  int32_t n = KV_lengthOf(fx->input);
  if (n <= 0 || !KV_holds(fx->input, n) || !KV_holds(fx->output, n)) return;
  const int32_t* in = fx->view(fx->input);
  int32_t* out = fx->view(fx->output);
  const int32_t lim = fx->limit;
  for (int32_t i = 0; i < n; ++i) {
    int32_t x = in[i];
    if constexpr (Greater) out[i] = x > lim ? x : lim;
    else out[i] = x < lim ? x : lim;
  }
}

template <class T>
KV_value limitOption(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) KV_as<T>(o)->limit = v.asTruncated();
  return KV_value::ofInt(static_cast<int32_t>(KV_as<T>(o)->limit));
}

// ---- Dist

KV_Object* createDist() {
  KV_Effect_Dist* d = new (std::nothrow) KV_Effect_Dist;
  if (d) d->computeLimits();
  return d;
}

KV_value distD(KV_Object* o, KV_value v) {
  KV_Effect_Dist* d = KV_as<KV_Effect_Dist>(o);
  if (KV_isNumber(v)) {
    d->D = KV_truncate32(static_cast<long double>(v.asNumber()) * TWO_29);
    d->computeLimits();
  }
  return KV_value::ofFloat(static_cast<float>(d->D / TWO_29));
}

KV_value distS(KV_Object* o, KV_value v) {
  KV_Effect_Dist* d = KV_as<KV_Effect_Dist>(o);
  if (KV_isNumber(v)) {
    d->s = v.asNumber();
    d->computeLimits();
  }
  return KV_value::ofFloat(static_cast<float>(d->s));
}

KV_value distK(KV_Object* o, KV_value v) {
  KV_Effect_Dist* d = KV_as<KV_Effect_Dist>(o);
  if (KV_isNumber(v)) {
    d->K = static_cast<float>(v.asNumber());
    d->computeRate();
  }
  return KV_value::ofFloat(d->K);
}

KV_value distL(KV_Object* o, KV_value v) {
  KV_Effect_Dist* d = KV_as<KV_Effect_Dist>(o);
  if (KV_isNumber(v)) d->flags = v.asTruncated();
  return KV_value::ofInt(static_cast<int32_t>(d->flags));
}

// (q * e) / (q + |e|), truncated toward zero, 0 for a zero divisor. Inside the ranges that
// the default and every drive below 1.0 produce the product fits 64 bits and is exact; beyond
// them extended precision takes over rather than letting the product wrap.
int64_t compress(int64_t q, int64_t e) {
  int64_t ae = e < 0 ? -e : e;
  int64_t den = q + ae;
  if (den == 0) return 0;
  constexpr int64_t Q_MAX = int64_t{1} << 31, E_MAX = int64_t{1} << 32;
  if (q > -Q_MAX && q < Q_MAX && ae < E_MAX) return (q * e) / den;
  return static_cast<int64_t>(static_cast<long double>(q) * static_cast<long double>(e) /
                              static_cast<long double>(den));
}

// ---- Ampdet

KV_value ampdetF(KV_Object* o, KV_value v, float KV_Effect_Ampdet::*f, KV_Shared<int32_t> KV_Effect_Ampdet::*c) {
  KV_Effect_Ampdet* a = KV_as<KV_Effect_Ampdet>(o);
  if (KV_isNumber(v)) {
    a->*f = static_cast<float>(v.asNumber());
    if (a->clock != 0) {
      const int32_t k = a->coefficient(a->*f);
      a->coefficientChange.write([&] { (a->*c).release(k); });
    }
  }
  return KV_value::ofFloat(a->*f);
}
KV_value ampdetF1(KV_Object* o, KV_value v) { return ampdetF(o, v, &KV_Effect_Ampdet::f1, &KV_Effect_Ampdet::c1); }
KV_value ampdetF2(KV_Object* o, KV_value v) { return ampdetF(o, v, &KV_Effect_Ampdet::f2, &KV_Effect_Ampdet::c2); }

// Operations: bit 0 a rectified output is written, bit 1 an envelope output is written.
enum { AMP_RECT = 1, AMP_ENV = 2, AMP_OPERATIONS = 4 };

template <int Op, int Mode>
int32_t ampdetLoop(const int32_t* in, int32_t* env, int32_t* rect, int32_t n, int32_t e, int32_t c1,
                   int32_t c2) {
  for (int32_t i = 0; i < n; ++i) {
    uint32_t x = static_cast<uint32_t>(in[i]);
    uint32_t a = static_cast<int32_t>(x) < 0 ? 0u - x : x;  // |-2^31| stays 0x80000000
    if constexpr ((Op & AMP_RECT) != 0) rect[i] = static_cast<int32_t>(a);
    if constexpr ((Op & AMP_ENV) != 0) {
      int32_t d = static_cast<int32_t>(a - static_cast<uint32_t>(e));
      uint32_t attack = 0u - static_cast<uint32_t>(a >= static_cast<uint32_t>(e));
      int32_t c = static_cast<int32_t>((static_cast<uint32_t>(c1) & attack) | (static_cast<uint32_t>(c2) & ~attack));
      int32_t step = KV_mul31(d, c);
      e = KV_wrapAdd(e, step);
      env[i] = KV_combine<Mode>(env[i], e);
    }
  }
  return e;
}

using AmpdetLoop = int32_t (*)(const int32_t*, int32_t*, int32_t*, int32_t, int32_t, int32_t, int32_t);

// Indexed by operation x 6 + mode.
const AmpdetLoop ampdetLoops[AMP_OPERATIONS * KV_MODES] = {
#define KV_AMP_ROW(op) ampdetLoop<op, 0>, ampdetLoop<op, 1>, ampdetLoop<op, 2>, ampdetLoop<op, 3>, ampdetLoop<op, 4>, ampdetLoop<op, 5>
    KV_AMP_ROW(0), KV_AMP_ROW(1), KV_AMP_ROW(2), KV_AMP_ROW(3),
#undef KV_AMP_ROW
};

}  // namespace

void KV_Effect_Gtzero::process() { limitLoop<KV_Effect_Gtzero, true>(this); }
void KV_Effect_Ltzero::process() { limitLoop<KV_Effect_Ltzero, false>(this); }

void KV_Effect_Dist::computeLimits() {
  const int32_t l = KV_truncate32(static_cast<long double>(D) * (1.0L - static_cast<long double>(s)));
  const int32_t m = KV_saturate32((int64_t{D} - l) / 2);
  limitsChange.write([&] {
    L.release(l);
    M.release(m);
  });
}

void KV_Effect_Dist::computeRate() {
  const int32_t clk = clock;
  if (clk == 0) return;
  C = KV_truncate32(static_cast<long double>(static_cast<double>(K) * 48000.0 / clk * 2147483647.0));
}

KV_Effect_Dist::Settings KV_Effect_Dist::settings() {
  limitsChange.take({&L, &M}, used);
  return Settings{used[0], used[1], C, flags, shift};
}

// The clipper in 64-bit intermediates: inside the ranges the defaults produce it is the 32-bit
// computation exactly; where 4 x M, q + |e| or 4 x y would leave 32 bits, the values saturate
// instead of wrapping, so an overdriven clipper stays at its rail rather than flipping sign.
int32_t KV_Effect_Dist::clip(int32_t x, const Settings& set) {
  const int32_t L = set.L, M = set.M, C = set.C, flags = set.flags, shift = set.shift;
  const int64_t v = ((int64_t{x >> 1}) - z) >> 1;  // within +-3 x 2^29
  const int64_t upper = L;
  int64_t lower = -int64_t{L};
  if (flags & 1) {
    int64_t zl = z < upper ? z : upper;
    int64_t floor = -int64_t{L} - M;
    lower = floor > zl ? floor : zl;
  }
  int64_t c = v < upper ? v : upper;
  c = c > lower ? c : lower;
  const int64_t e = v - c;
  const int64_t m4 = 4 * int64_t{M};
  const int64_t h = m4 >> shift;
  int64_t g = m4 - h;
  if (flags & 1) g >>= 3;
  const int64_t q = e > 0 ? h : g;
  const int64_t t = e == 0 ? 0 : compress(q, e);
  const int64_t y = c + t;
  const int64_t drift = (int64_t{KV_saturate32(v - y)} * C) >> 32;
  z = KV_saturate32(int64_t{z} + drift);
  return KV_saturate32(4 * y);
}

void KV_Effect_Dist::process() {
  int32_t n = KV_lengthOf(input);
  if (n <= 0 || !KV_holds(input, n) || !KV_holds(output, n)) return;
  const int32_t* in = view(input);
  int32_t* out = view(output);
  const Settings set = settings();
  for (int32_t i = 0; i < n; ++i) out[i] = clip(in[i], set);
}

int32_t KV_Effect_Ampdet::coefficient(float f) const {
  if (f == 0.0f) return 2147483647;
  const double pi = 3.141592653589793;
  double fd = f;
  return KV_truncate32(fd * 2147483648.0 * pi / (fd * pi + clock * 0.5));
}

void KV_Effect_Ampdet::clockChanged() {
  if (clock == 0) return;
  const int32_t k1 = coefficient(f1), k2 = coefficient(f2);
  coefficientChange.write([&] {
    c1.release(k1);
    c2.release(k2);
  });
}

void KV_Effect_Ampdet::process() {
  int32_t n = KV_lengthOf(input);
  if (n <= 0 || !KV_holds(input, n)) return;
  // An output that is set but too short for the block stops the effect; one not set is skipped.
  if ((output && !KV_holds(output, n)) || (rectified && !KV_holds(rectified, n))) return;
  int op = (rectified ? AMP_RECT : 0) | (output ? AMP_ENV : 0);
  if (op == 0) return;
  const int32_t* in = view(input);
  int32_t* env = view(output);
  int32_t* rect = view(rectified);
  const int32_t mo = mode;
  const int m = mo >= 0 && mo < KV_MODES ? mo : KV_MODE_SET;
  coefficientChange.take({&c1, &c2}, used);
  e = ampdetLoops[op * KV_MODES + m](in, env, rect, n, e, used[0], used[1]);
}

const KV_option KV_Effect_Gtzero_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Gtzero>),
    KV_opt("i", KV_bufferOption<KV_Effect_Gtzero, &KV_Effect_Gtzero::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Gtzero, &KV_Effect_Gtzero::output>),
    KV_opt("l", limitOption<KV_Effect_Gtzero>),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Ltzero_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Ltzero>),
    KV_opt("i", KV_bufferOption<KV_Effect_Ltzero, &KV_Effect_Ltzero::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Ltzero, &KV_Effect_Ltzero::output>),
    KV_opt("l", limitOption<KV_Effect_Ltzero>),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Dist_options[] = {
    KV_opt_creator(createDist),
    KV_opt("i", KV_bufferOption<KV_Effect_Dist, &KV_Effect_Dist::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Dist, &KV_Effect_Dist::output>),
    KV_opt("d", distD),
    KV_opt("s", distS),
    KV_opt("k", distK),
    KV_opt("l", distL),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Ampdet_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Ampdet>),
    KV_opt("i", KV_bufferOption<KV_Effect_Ampdet, &KV_Effect_Ampdet::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Ampdet, &KV_Effect_Ampdet::output>),
    KV_opt("a", KV_bufferOption<KV_Effect_Ampdet, &KV_Effect_Ampdet::rectified>),
    KV_opt("f1", ampdetF1),
    KV_opt("f2", ampdetF2),
    KV_opt_end(KV_Effect_options),
};
