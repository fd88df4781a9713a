#include "KV/Effect/Freqmul.h"

#include <new>

namespace {

// A lag in samples, truncated toward zero and kept inside a ring of mask + 1 samples.
inline uint32_t lagInRing(long double samples, uint32_t mask) {
  if (!(samples > 0.0L)) return 0;
  if (samples >= static_cast<long double>(mask)) return mask;
  return static_cast<uint32_t>(samples);
}

// Tolvar reads trunc(clock x lag time x k) samples back.
inline uint32_t tolvarLag(int32_t clock, float lagTime, uint32_t k) {
  return lagInRing(static_cast<long double>(clock) * lagTime * k, KV_Effect_Tolvar::MASK);
}

// Freqmul reads trunc(clock x lag time + n x k) samples back, n being the block's length.
inline uint32_t freqmulLag(int32_t clock, float lagTime, int32_t n, uint32_t k) {
  return lagInRing(static_cast<long double>(clock) * lagTime + static_cast<long double>(n) * k,
                   KV_Effect_Freqmul::MASK);
}

inline int32_t wrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline int32_t wrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The samples of the current block: the input's length, written up to the output's length.
struct Block {
  int32_t n = 0;
  int32_t written = 0;
};

Block blockOf(KV_Buffer* input, KV_Buffer* output) {
  Block b;
  if (!input || !output) return b;
  b.n = KV_lengthOf(input);
  int32_t room = KV_lengthOf(output);
  b.written = b.n < room ? b.n : room;
  return b;
}

}  // namespace

// ---- KV_Effect_Tolvar ----

uint32_t KV_Effect_Tolvar::lag() const { return tolvarLag(clock, lagTime, k); }

bool KV_Effect_Tolvar::fits(uint32_t candidateK) const {
  if (candidateK < 1 || candidateK >= RING) return false;
  return static_cast<long double>(clock) * lagTime * candidateK < static_cast<long double>(RING);
}

void KV_Effect_Tolvar::reset() {
  for (uint32_t i = 0; i < RING; ++i) ring[i] = 0;
  averageSlope = 0.0;
}

void KV_Effect_Tolvar::restart() {
  reset();
  writePos = readPos = periodStart = 0;
  previous = -1;
  KV_Effect::restart();
}

// q / count truncated toward zero, for |q| < 2^48 and 0 < count < 2^15. The double quotient is
// correctly rounded, and a quotient that is not whole lies at least 1/count from the next whole
// number while its rounding error stays below 2^-20, so truncating it gives exactly what the
// extended-precision formula gives, without a long division per sample.
inline int64_t quotient(int64_t q, double count) { return static_cast<int64_t>(static_cast<double>(q) / count); }

inline int32_t toSample(int64_t v) {
  return v >= INT32_MIN && v <= INT32_MAX ? static_cast<int32_t>(v) : INT32_MIN;
}

// The k - 1 copies of the period that ends before h, written from h on. Every copy reads the
// period as the ring holds it at that moment: m forward from the period start, b backward from
// h - 1. t = x + previous - b is the reversed period negated and lifted so that it starts at x.
// The formulas are the extended-precision ones, (i m + (count - i) t) / count and
// t - s i / count, evaluated exactly: their numerators are whole numbers below 2^48.
void KV_Effect_Tolvar::writeCopies(int32_t x, uint32_t h, uint32_t factor) {
  const uint32_t count = (h - periodStart) & MASK;
  const int32_t s = wrapAdd(x, previous);
  const double length = count;
  const int64_t n = count;
  for (uint32_t j = 0; j + 1 < factor; ++j) {
    if (j & 1) {
      // A straight copy.
      for (uint32_t i = 0; i < count; ++i) {
        ring[writePos] = ring[(periodStart + i) & MASK];
        writePos = (writePos + 1) & MASK;
      }
    } else if (j + 2 == factor) {
      // The last copy: a crossfade from the reversed period t to the straight period m.
      for (uint32_t i = 0; i < count; ++i) {
        const int64_t m = ring[(periodStart + i) & MASK];
        const int64_t t = wrapSub(s, ring[(h - 1 - i) & MASK]);
        ring[writePos] = toSample(quotient(int64_t{i} * m + (n - i) * t, length));
        writePos = (writePos + 1) & MASK;
      }
    } else {
      // The reversed period with the offset s ramped away, so that it ends near 0.
      for (uint32_t i = 0; i < count; ++i) {
        const int64_t t = wrapSub(s, ring[(h - 1 - i) & MASK]);
        ring[writePos] = toSample(quotient(t * n - int64_t{s} * i, length));
        writePos = (writePos + 1) & MASK;
      }
    }
  }
}

void KV_Effect_Tolvar::take(int32_t x, const Settings& set) {
  const uint32_t h = (writePos + 1) & MASK;
  writePos = h;
  if (previous < 0 && x >= 0) {
    const long double slope = wrapSub(x, previous);
    bool accepted = true;
    if (averageSlope > 0.1) {
      const long double ratio = slope / averageSlope;
      const bool rejected = ratio > 1.0L || ratio < set.rand;
      // A period longer than the lag time is taken whatever its slope.
      const uint32_t sofar = (h - periodStart) & MASK;
      accepted = !rejected || static_cast<long double>(sofar) > set.lookBack;
    }
    if (accepted) {
      writeCopies(x, h, set.k);
      periodStart = writePos;
      averageSlope = static_cast<double>((1.0L - set.stab) * slope + static_cast<long double>(set.stab) * averageSlope);
    }
  }
  ring[writePos] = x;
  previous = x;
}

void KV_Effect_Tolvar::process() {
  const Block b = blockOf(input, output);
  if (b.n <= 0) return;
  const int32_t clk = clock;
  const Settings set{k, rand, stab, static_cast<long double>(clk) * lagTime};
  const int32_t* in = input->main;
  for (int32_t i = 0; i < b.n; ++i) take(in[i], set);

  const int32_t m = mode;
  const uint32_t step = set.k;
  uint32_t index = (readPos - tolvarLag(clk, lagTime, step)) & MASK;
  int32_t* out = output->main;
  if (m == KV_MODE_SET) {
    for (int32_t i = 0; i < b.written; ++i) {
      out[i] = ring[index];
      index = (index + step) & MASK;
    }
  } else if (m == KV_MODE_ADD) {
    for (int32_t i = 0; i < b.written; ++i) {
      out[i] = wrapAdd(out[i], ring[index]);
      index = (index + step) & MASK;
    }
  }
  // The read position follows the whole input, written or not.
  readPos = (readPos + static_cast<uint32_t>(b.n) * step) & MASK;
}

// ---- KV_Effect_Freqmul ----

uint32_t KV_Effect_Freqmul::lag(int32_t n) const { return freqmulLag(clock, lagTime, n, k); }

bool KV_Effect_Freqmul::fits(uint32_t candidateK) const {
  if (candidateK < 1 || candidateK >= RING) return false;
  const long double n = KV_lengthOf(input);
  return static_cast<long double>(clock) * lagTime + n * candidateK < static_cast<long double>(RING);
}

void KV_Effect_Freqmul::restart() {
  for (uint32_t i = 0; i < RING; ++i) ring[i] = 0;
  writePos = readPos = periodStart = 0;
  previous = -1;
  KV_Effect::restart();
}

void KV_Effect_Freqmul::take(int32_t x, uint32_t factor) {
  const uint32_t h = (writePos + 1) & MASK;
  writePos = h;
  if (previous < 0 && x >= 0) {
    const uint32_t count = (h - periodStart) & MASK;
    for (uint32_t j = 0; j + 1 < factor; ++j)
      for (uint32_t i = 0; i < count; ++i) {
        ring[writePos] = ring[(periodStart + i) & MASK];
        writePos = (writePos + 1) & MASK;
      }
    periodStart = writePos;
  }
  ring[writePos] = x;
  previous = x;
}

void KV_Effect_Freqmul::process() {
  const Block b = blockOf(input, output);
  if (b.n <= 0) return;
  const uint32_t step = k;
  const int32_t* in = input->main;
  for (int32_t i = 0; i < b.n; ++i) take(in[i], step);

  // Every output sample is overwritten, whatever the mode.
  const int32_t clk = clock;
  uint32_t index = (readPos - freqmulLag(clk, lagTime, b.n, step)) & MASK;
  int32_t* out = output->main;
  for (int32_t i = 0; i < b.written; ++i) {
    out[i] = ring[index];
    index = (index + step) & MASK;
  }
  readPos = (readPos + static_cast<uint32_t>(b.n) * step) & MASK;
}

// ---- options ----

namespace {

template <class T>
T* As(KV_Object* o) {
  return static_cast<T*>(o);
}

template <class T>
KV_value optInput(KV_Object* o, KV_value v) {
  KV_Buffer* b;
  if (KV_liveRef(v, b)) {
    As<T>(o)->input = b;
    As<T>(o)->refer(&As<T>(o)->input);
  }
  return KV_value::ofObject(As<T>(o)->input);
}

template <class T>
KV_value optOutput(KV_Object* o, KV_value v) {
  KV_Buffer* b;
  if (KV_liveRef(v, b)) {
    As<T>(o)->output = b;
    As<T>(o)->refer(&As<T>(o)->output);
  }
  return KV_value::ofObject(As<T>(o)->output);
}

// A k that does not fit (below 1, or a lag reaching the ring at the current clock) is refused
// and the old k stays.
template <class T>
KV_value optK(KV_Object* o, KV_value v) {
  T* e = As<T>(o);
  if (v.type == KV_INT || v.type == KV_FLOAT) {
    const int32_t wanted = v.asTruncated();
    if (wanted >= 1 && e->fits(static_cast<uint32_t>(wanted))) e->k = static_cast<uint32_t>(wanted);
  }
  return KV_value::ofInt(static_cast<int32_t>(static_cast<uint32_t>(e->k)));
}

KV_value tolvarRand(KV_Object* o, KV_value v) {
  KV_Effect_Tolvar* e = As<KV_Effect_Tolvar>(o);
  if (v.type == KV_INT || v.type == KV_FLOAT) e->rand = v.asNumber();
  return KV_value::ofFloat(static_cast<float>(e->rand));
}

KV_value tolvarStab(KV_Object* o, KV_value v) {
  KV_Effect_Tolvar* e = As<KV_Effect_Tolvar>(o);
  if (v.type == KV_INT || v.type == KV_FLOAT) e->stab = v.asNumber();
  return KV_value::ofFloat(static_cast<float>(e->stab));
}

KV_Object* createTolvar() { return new (std::nothrow) KV_Effect_Tolvar; }
KV_Object* createFreqmul() { return new (std::nothrow) KV_Effect_Freqmul; }

}  // namespace

const KV_option KV_Effect_Tolvar_options[] = {
    KV_opt_creator(createTolvar),
    KV_opt("i", optInput<KV_Effect_Tolvar>),
    KV_opt("o", optOutput<KV_Effect_Tolvar>),
    KV_opt("k", optK<KV_Effect_Tolvar>),
    KV_opt("rand", tolvarRand),
    KV_opt("stab", tolvarStab),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Freqmul_options[] = {
    KV_opt_creator(createFreqmul),
    KV_opt("i", optInput<KV_Effect_Freqmul>),
    KV_opt("o", optOutput<KV_Effect_Freqmul>),
    KV_opt("k", optK<KV_Effect_Freqmul>),
    KV_opt_end(KV_Effect_options),
};
