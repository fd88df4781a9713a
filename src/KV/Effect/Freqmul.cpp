#include "KV/Effect/Freqmul.h"

#include <algorithm>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if KV_AVX2_CLONES
#include <immintrin.h>
#endif

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

uint32_t KV_Effect_Tolvar::blockLag(int32_t clk, uint32_t step) {
  if (clk != lagCache.clock || step != lagCache.k) lagCache = {clk, step, tolvarLag(clk, lagTime, step)};
  return lagCache.lag;
}

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

// Calls f(i, len, w, m, b) for consecutive runs [i, i + len) of 0 ... count - 1 inside which none
// of the ring positions from + i, start + i and back - i wraps: w, m and b point at them.
template <class F>
inline void forRuns(int32_t* ring, uint32_t count, uint32_t from, uint32_t start, uint32_t back, F&& f) {
  constexpr uint32_t RING = KV_Effect_Tolvar::RING, MASK = KV_Effect_Tolvar::MASK;
  for (uint32_t i = 0; i < count;) {
    const uint32_t w = (from + i) & MASK, m = (start + i) & MASK, b = (back - i) & MASK;
    uint32_t len = count - i;
    len = std::min(len, RING - w);
    len = std::min(len, RING - m);
    len = std::min(len, b + 1);
    f(i, len, ring + w, ring + m, ring + b);
    i += len;
  }
}

// The k - 1 copies of the period that ends before h, written from h on. Every copy reads the
// period as the ring holds it at that moment: m forward from the period start, b backward from
// h - 1. t = x + previous - b is the reversed period negated and lifted so that it starts at x.
// The formulas are the extended-precision ones, (i m + (count - i) t) / count and
// t - s i / count, evaluated exactly: their numerators are whole numbers below 2^48.
void KV_Effect_Tolvar::writeCopies(int32_t x, uint32_t h, uint32_t factor) {
  const uint32_t count = (h - periodStart) & MASK;
  // Copies that fit beside their period never overwrite what a later copy reads.
  if (uint64_t{count} * factor <= RING) {
    writeCopiesApart(KV_wrapAdd(x, previous), h, factor, count);
    return;
  }
  const int32_t s = KV_wrapAdd(x, previous);
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
        const int64_t t = KV_wrapSub(s, ring[(h - 1 - i) & MASK]);
        ring[writePos] = toSample(quotient(int64_t{i} * m + (n - i) * t, length));
        writePos = (writePos + 1) & MASK;
      }
    } else {
      // The reversed period with the offset s ramped away, so that it ends near 0.
      for (uint32_t i = 0; i < count; ++i) {
        const int64_t t = KV_wrapSub(s, ring[(h - 1 - i) & MASK]);
        ring[writePos] = toSample(quotient(t * n - int64_t{s} * i, length));
        writePos = (writePos + 1) & MASK;
      }
    }
  }
}

namespace {

// The copies' formulas, run over w[0 ... len) with i = i0 ... and b read backward: a crossfade
// (i m + (n - i) t) / n and a ramp (t n - s i) / n, t = s - b being the lifted reversed period.
// Their numerators are formed exactly in doubles (every product is below 2^47).
struct CopyFormula {
  int32_t s;
  double n, r;  // the period's length and its reciprocal

  static double reversed(int32_t s, int32_t b) { return KV_wrapSub(s, b); }
  double crossfade(double i, double m, double t) const { return i * m + (n - i) * t; }
  double ramp(double i, double t) const { return t * n - static_cast<double>(s) * i; }
};

#if defined(__SSE2__)
// Two samples at a time: numerator / n through KV_truncatedQuotient's steps, in SSE2 lanes. The
// conversion answers INT32_MIN for a magnitude at or beyond 2^31, as the scalar form does.
inline __m128i quotients(__m128d numerator, __m128d reciprocal) {
  const __m128d sign = _mm_set1_pd(-0.0);
  const __m128d magnitude = _mm_add_pd(_mm_mul_pd(_mm_andnot_pd(sign, numerator), reciprocal), _mm_set1_pd(0x1p-17));
  const __m128i whole = _mm_cvttpd_epi32(magnitude);
  const __m128i negative = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmplt_pd(numerator, _mm_setzero_pd())), 0x08);
  return _mm_sub_epi32(_mm_xor_si128(whole, negative), negative);
}

inline __m128d pairOf(const int32_t* p) { return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))); }
// b[0] and b[-1], in that order.
inline __m128i backwardPair(const int32_t* b) {
  return _mm_shuffle_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b - 1)), 0x01);
}
#endif

template <bool Crossfade>
void copyRun(const CopyFormula& f, uint32_t i0, uint32_t len, int32_t* w, const int32_t* m, const int32_t* b) {
  uint32_t t = 0;
#if defined(__SSE2__)
  const __m128d n = _mm_set1_pd(f.n), r = _mm_set1_pd(f.r), sd = _mm_set1_pd(f.s);
  const __m128i s = _mm_set1_epi32(f.s);
  __m128d i = _mm_set_pd(static_cast<double>(i0) + 1.0, static_cast<double>(i0));
  const __m128d two = _mm_set1_pd(2.0);
  for (; t + 2 <= len; t += 2) {
    const __m128d rev = _mm_cvtepi32_pd(_mm_sub_epi32(s, backwardPair(b - t)));
    __m128d numerator;
    if constexpr (Crossfade) numerator = _mm_add_pd(_mm_mul_pd(i, pairOf(m + t)), _mm_mul_pd(_mm_sub_pd(n, i), rev));
    else numerator = _mm_sub_pd(_mm_mul_pd(rev, n), _mm_mul_pd(sd, i));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(w + t), quotients(numerator, r));
    i = _mm_add_pd(i, two);
  }
#endif
  for (; t < len; ++t) {
    const double i = static_cast<double>(i0 + t);
    const double rev = CopyFormula::reversed(f.s, b[-static_cast<int32_t>(t)]);
    const double numerator = Crossfade ? f.crossfade(i, m[t], rev) : f.ramp(i, rev);
    w[t] = KV_truncatedQuotient(numerator, f.r);
  }
}

#if KV_AVX2_CLONES
// The same four samples at a time in AVX2 lanes. The sign goes back onto the lifted magnitude
// before the conversion: truncation is symmetric, and a magnitude at or beyond 2^31 converts to
// INT32_MIN either way, so the result is KV_truncatedQuotient's.
template <bool Crossfade>
KV_AVX2 void copyRunAvx2(const CopyFormula& f, uint32_t i0, uint32_t len, int32_t* w, const int32_t* m,
                         const int32_t* b) {
  uint32_t t = 0;
  const __m256d n = _mm256_set1_pd(f.n), r = _mm256_set1_pd(f.r), sd = _mm256_set1_pd(f.s);
  const __m256d sign = _mm256_set1_pd(-0.0), lift = _mm256_set1_pd(0x1p-17), four = _mm256_set1_pd(4.0);
  const __m128i s = _mm_set1_epi32(f.s);
  const double i0d = static_cast<double>(i0);
  __m256d i = _mm256_set_pd(i0d + 3.0, i0d + 2.0, i0d + 1.0, i0d);
  for (; t + 4 <= len; t += 4) {
    // b[-t], b[-t - 1], b[-t - 2], b[-t - 3]
    const __m128i back = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b - t - 3)), 0x1B);
    const __m256d rev = _mm256_cvtepi32_pd(_mm_sub_epi32(s, back));
    __m256d numerator;
    if constexpr (Crossfade) {
      const __m256d mt = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m + t)));
      numerator = _mm256_add_pd(_mm256_mul_pd(i, mt), _mm256_mul_pd(_mm256_sub_pd(n, i), rev));
    } else {
      numerator = _mm256_sub_pd(_mm256_mul_pd(rev, n), _mm256_mul_pd(sd, i));
    }
    const __m256d magnitude = _mm256_add_pd(_mm256_mul_pd(_mm256_andnot_pd(sign, numerator), r), lift);
    const __m256d signedMagnitude = _mm256_or_pd(magnitude, _mm256_and_pd(sign, numerator));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w + t), _mm256_cvttpd_epi32(signedMagnitude));
    i = _mm256_add_pd(i, four);
  }
  if (t < len) copyRun<Crossfade>(f, i0 + t, len - t, w + t, m + t, b - t);
}
#endif

// A copy run through the widest form the processor has.
template <bool Crossfade>
void copyRunFast(const CopyFormula& f, uint32_t i0, uint32_t len, int32_t* w, const int32_t* m, const int32_t* b) {
#if KV_AVX2_CLONES
  if (KV_avx2) {
    copyRunAvx2<Crossfade>(f, i0, len, w, m, b);
    return;
  }
#endif
  copyRun<Crossfade>(f, i0, len, w, m, b);
}

}  // namespace

// The same copies when all of them fit in the ring beside the period: written run by run,
// divided through the reciprocal.
void KV_Effect_Tolvar::writeCopiesApart(int32_t s, uint32_t h, uint32_t factor, uint32_t count) {
  const CopyFormula f{s, static_cast<double>(count), 1.0 / static_cast<double>(count)};
  for (uint32_t j = 0; j + 1 < factor; ++j) {
    const uint32_t from = (writePos + j * count) & MASK;
    forRuns(ring, count, from, periodStart, h - 1,
            [&](uint32_t i0, uint32_t len, int32_t* w, const int32_t* m, const int32_t* b) {
              if (j & 1) std::memcpy(w, m, sizeof(int32_t) * len);
              else if (j + 2 == factor) copyRunFast<true>(f, i0, len, w, m, b);
              else copyRunFast<false>(f, i0, len, w, m, b);
            });
  }
  writePos = (writePos + (factor - 1) * count) & MASK;
}

void KV_Effect_Tolvar::take(int32_t x, const Settings& set) {
  const uint32_t h = (writePos + 1) & MASK;
  writePos = h;
  if (previous < 0 && x >= 0) {
    const long double slope = KV_wrapSub(x, previous);
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

namespace {

#if defined(__SSE2__)
// Whether any of x[0 ... 8) is at or above zero after a negative sample (x[-1] being the first
// one before): a sign bit in x[j - 1] & ~x[j] marks a crossing.
inline bool crossingMarks(const int32_t* x) {
  const __m128i* p = reinterpret_cast<const __m128i*>(x);
  const __m128i* q = reinterpret_cast<const __m128i*>(x - 1);
  const __m128i marks = _mm_or_si128(_mm_andnot_si128(_mm_loadu_si128(p), _mm_loadu_si128(q)),
                                     _mm_andnot_si128(_mm_loadu_si128(p + 1), _mm_loadu_si128(q + 1)));
  return _mm_movemask_ps(_mm_castsi128_ps(marks)) != 0;
}
#endif

// The first sample at or after i that follows a negative sample with one at or above zero (the
// sample before in[0] being `before`), or n.
int32_t nextCrossing(const int32_t* in, int32_t i, int32_t n, int32_t before) {
  if (i >= n || (before < 0 && in[i] >= 0)) return i;
  ++i;
  // Whole groups of 8 without a crossing are passed over first.
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8)
    if (crossingMarks(in + i)) break;
  // Past the groups, the last 8 samples in one look: without a mark among them none of the rest
  // crosses.
  if (i < n && i + 8 > n && n >= 9 && !crossingMarks(in + n - 8)) return n;
#endif
  for (; i < n; ++i)
    if (in[i - 1] < 0 && in[i] >= 0) return i;
  return n;
}

}  // namespace

// Samples without a crossing go into the ring one after another.
void KV_Effect_Tolvar::append(const int32_t* x, int32_t len) {
  if (len <= 0) return;
  uint32_t done = 0;
  while (done < static_cast<uint32_t>(len)) {
    const uint32_t at = (writePos + 1) & MASK;
    const uint32_t piece = std::min(static_cast<uint32_t>(len) - done, RING - at);
    std::memcpy(ring + at, x + done, sizeof(int32_t) * piece);
    writePos = (writePos + piece) & MASK;
    done += piece;
  }
  previous = x[len - 1];
}

namespace {

#if defined(__SSE2__)
// p[0], p[Step], p[2 Step], p[3 Step] in one vector, from the 4 Step samples at p.
template <uint32_t Step>
inline __m128i everyStep(const int32_t* p) {
  const __m128 a = _mm_loadu_ps(reinterpret_cast<const float*>(p));
  const __m128 b = _mm_loadu_ps(reinterpret_cast<const float*>(p + 4));
  if constexpr (Step == 2) return _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128 c = _mm_loadu_ps(reinterpret_cast<const float*>(p + 8));
  const __m128 later = _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 1, 2, 2));            // p6, p6, p9, p9
  return _mm_castps_si128(_mm_shuffle_ps(a, later, _MM_SHUFFLE(2, 0, 3, 0)));  // p0, p3, p6, p9
}

template <int Mode>
inline __m128i combine4(__m128i o, __m128i r) {
  static_assert(Mode == KV_MODE_SET || Mode == KV_MODE_ADD, "the multiplier reads in these modes only");
  if constexpr (Mode == KV_MODE_SET) return r;
  else return _mm_add_epi32(o, r);
}
#endif

// out[t] combined with ring[index + t step] for t < len, every read inside the ring.
template <int Mode, uint32_t Step>
void readRun(const int32_t* ring, uint32_t index, uint32_t step, int32_t* out, int32_t len) {
  int32_t t = 0;
#if defined(__SSE2__)
  if constexpr (Step != 0) {
    // Four reads take 4 Step samples: the groups stop short of the ring's end.
    constexpr uint32_t RING = KV_Effect_Tolvar::RING;
    const int32_t whole = index + static_cast<uint32_t>(len) * Step <= RING ? len : len - 1;
    for (; t + 4 <= whole; t += 4) {
      __m128i* o = reinterpret_cast<__m128i*>(out + t);
      const __m128i r = everyStep<Step>(ring + index + static_cast<uint32_t>(t) * Step);
      _mm_storeu_si128(o, combine4<Mode>(_mm_loadu_si128(o), r));
    }
  }
#endif
  if constexpr (Step != 0) step = Step;
  for (; t < len; ++t) out[t] = KV_combine<Mode>(out[t], ring[index + static_cast<uint32_t>(t) * step]);
}

template <int Mode, uint32_t Step>
void readRing(const int32_t* ring, uint32_t index, uint32_t step, int32_t* out, int32_t n) {
  constexpr uint32_t MASK = KV_Effect_Tolvar::MASK;
  for (int32_t i = 0; i < n;) {
    // The reads left before the index passes the end of the ring.
    const uint32_t before = (MASK - index) / step + 1;
    const int32_t len = static_cast<int32_t>(std::min<uint32_t>(before, static_cast<uint32_t>(n - i)));
    readRun<Mode, Step>(ring, index, step, out + i, len);
    index = (index + static_cast<uint32_t>(len) * step) & MASK;
    i += len;
  }
}

// The read for the mode, with the steps the product uses (2 and 3) written out.
template <int Mode>
void readRing(const int32_t* ring, uint32_t index, uint32_t step, int32_t* out, int32_t n) {
  if (step == 2) readRing<Mode, 2>(ring, index, step, out, n);
  else if (step == 3) readRing<Mode, 3>(ring, index, step, out, n);
  else readRing<Mode, 0>(ring, index, step, out, n);
}

}  // namespace

void KV_Effect_Tolvar::process() {
  const Block b = blockOf(input, output);
  if (b.n <= 0) return;
  const int32_t clk = clock;
  const Settings set{k, rand, stab, static_cast<long double>(clk) * lagTime};
  const int32_t* in = input->main;
  for (int32_t i = 0; i < b.n;) {
    const int32_t c = nextCrossing(in, i, b.n, i == 0 ? previous : in[i - 1]);
    append(in + i, c - i);
    if (c == b.n) break;
    take(in[c], set);
    i = c + 1;
  }

  const int32_t m = mode;
  const uint32_t step = set.k;
  const uint32_t index = (readPos - blockLag(clk, step)) & MASK;
  int32_t* out = output->main;
  if (m == KV_MODE_SET) readRing<KV_MODE_SET>(ring, index, step, out, b.written);
  else if (m == KV_MODE_ADD) readRing<KV_MODE_ADD>(ring, index, step, out, b.written);
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

// A k that does not fit (below 1, or a lag reaching the ring at the current clock) is refused
// and the old k stays.
template <class T>
KV_value optK(KV_Object* o, KV_value v) {
  T* e = KV_as<T>(o);
  if (KV_isNumber(v)) {
    const int32_t wanted = v.asTruncated();
    if (wanted >= 1 && e->fits(static_cast<uint32_t>(wanted))) e->k = static_cast<uint32_t>(wanted);
  }
  return KV_value::ofInt(static_cast<int32_t>(static_cast<uint32_t>(e->k)));
}

KV_value tolvarRand(KV_Object* o, KV_value v) {
  KV_Effect_Tolvar* e = KV_as<KV_Effect_Tolvar>(o);
  if (KV_isNumber(v)) e->rand = v.asNumber();
  return KV_value::ofFloat(static_cast<float>(e->rand));
}

KV_value tolvarStab(KV_Object* o, KV_value v) {
  KV_Effect_Tolvar* e = KV_as<KV_Effect_Tolvar>(o);
  if (KV_isNumber(v)) e->stab = v.asNumber();
  return KV_value::ofFloat(static_cast<float>(e->stab));
}

}  // namespace

const KV_option KV_Effect_Tolvar_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Tolvar>),
    KV_opt("i", KV_bufferOption<KV_Effect_Tolvar, &KV_Effect_Tolvar::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Tolvar, &KV_Effect_Tolvar::output>),
    KV_opt("k", optK<KV_Effect_Tolvar>),
    KV_opt("rand", tolvarRand),
    KV_opt("stab", tolvarStab),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Freqmul_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Freqmul>),
    KV_opt("i", KV_bufferOption<KV_Effect_Freqmul, &KV_Effect_Freqmul::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Freqmul, &KV_Effect_Freqmul::output>),
    KV_opt("k", optK<KV_Effect_Freqmul>),
    KV_opt_end(KV_Effect_options),
};
