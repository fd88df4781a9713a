#include "KV/Effect/Freqmul.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "KV/Effect/Lanes.h"

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

namespace {

// The longest whole number of samples that is not beyond the look-back: a length is beyond it
// exactly when it exceeds the look-back's floor. A negative look-back has every length beyond
// it; one past any length the ring holds (or not a number) none.
int64_t guardedLength(long double lookBack) {
  if (lookBack < 0.0L) return -1;
  if (!(lookBack < static_cast<long double>(KV_Effect_Tolvar::RING))) return INT64_MAX;
  return static_cast<int64_t>(lookBack);
}

}  // namespace

void KV_Effect_Tolvar::retime(int32_t clk, uint32_t step) {
  timing = {clk, step, tolvarLag(clk, lagTime, step), guardedLength(static_cast<long double>(clk) * lagTime)};
}

inline const KV_Effect_Tolvar::Timing& KV_Effect_Tolvar::timingOf(int32_t clk, uint32_t step) {
  if (clk != timing.clock || step != timing.k) [[unlikely]] retime(clk, step);
  return timing;
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
// h - 1. s is the crossing x plus the sample before it, and t = s - b is the reversed period
// negated and lifted so that it starts at x.
// The formulas are the extended-precision ones, (i m + (count - i) t) / count and
// t - s i / count, evaluated exactly: their numerators are whole numbers below 2^48.
void KV_Effect_Tolvar::writeCopies(int32_t s, uint32_t h, uint32_t factor) {
  const uint32_t count = (h - periodStart) & MASK;
  // Copies that fit beside their period never overwrite what a later copy reads.
  if (uint64_t{count} * factor <= RING) {
    writeCopiesApart(s, h, factor, count);
    return;
  }
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
  double raised;  // the reciprocal as the four-lane quotient takes it

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

inline __m128d pairOf(const int32_t* p) {
  return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
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
// Four samples of the straight period from m on.
KV_AVX2_FMA inline __m128i straight4(const int32_t* m) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(m)); }

// Four samples of a copy from i on, rev = s - b being the reversed period at them and m the
// straight period (which the ramp does not read). The numerators are whole numbers below 2^47
// and so are their products and sums: fused or not, they come out exact.
template <bool Crossfade>
KV_AVX2_FMA inline __m128i copyLanes(const CopyFormula& f, __m256d i, __m128i rev, __m128i m) {
  const __m256d n = _mm256_set1_pd(f.n), t = _mm256_cvtepi32_pd(rev);
  __m256d numerator;
  if constexpr (Crossfade) {
    numerator = _mm256_fmadd_pd(i, _mm256_cvtepi32_pd(m), _mm256_mul_pd(_mm256_sub_pd(n, i), t));
  } else {
    numerator = _mm256_fmsub_pd(t, n, _mm256_mul_pd(_mm256_set1_pd(f.s), i));
  }
  return KV_truncatedQuotient4(numerator, _mm256_set1_pd(f.raised));
}

// The address of the sample `count` places before p, formed as a number: a masked load from it
// reads only the lanes inside the ring, though the address itself may lie before the ring.
inline const int* samplesBefore(const int32_t* p, size_t count) {
  return reinterpret_cast<const int*>(reinterpret_cast<uintptr_t>(p) - count * sizeof(int32_t));
}

// copyRun eight samples at a time in AVX2 lanes; t counts the samples done, w[t], m[t] and
// b[-t] being the next ones.
template <bool Crossfade>
KV_AVX2_FMA void copyRunAvx2(const CopyFormula f, uint32_t i0, uint32_t len, int32_t* w, const int32_t* m,
                             const int32_t* b) {
  const __m256i s = _mm256_set1_epi32(f.s);
  const __m256d four = _mm256_set1_pd(4.0);
  __m256d i = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(i0)), _mm256_setr_pd(0.0, 1.0, 2.0, 3.0));
  size_t t = 0;
  for (; t + 8 <= len; t += 8) {
    // s - b[-t], s - b[-t - 1], ..., s - b[-t - 7]
    const __m256i back = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b - t - 7));
    const __m256i rev = _mm256_sub_epi32(s, KV_reverse8(back));
    const __m128i low = copyLanes<Crossfade>(f, i, _mm256_castsi256_si128(rev), straight4(m + t));
    i = _mm256_add_pd(i, four);
    const __m128i high = copyLanes<Crossfade>(f, i, _mm256_extracti128_si256(rev, 1), straight4(m + t + 4));
    i = _mm256_add_pd(i, four);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(w + t), _mm256_set_m128i(high, low));
  }
  // The last one to seven samples, four lanes at a time; lanes past the run's end are neither
  // read nor written.
  for (; t < len; t += 4) {
    const __m128i keep = _mm_cmpgt_epi32(_mm_set1_epi32(static_cast<int32_t>(len - t)), _mm_setr_epi32(0, 1, 2, 3));
    const __m128i back = _mm_maskload_epi32(samplesBefore(b, t + 3), _mm_shuffle_epi32(keep, 0x1B));
    const __m128i rev = _mm_sub_epi32(_mm256_castsi256_si128(s), _mm_shuffle_epi32(back, 0x1B));
    const __m128i straight = Crossfade ? _mm_maskload_epi32(m + t, keep) : __m128i{};
    _mm_maskstore_epi32(w + t, keep, copyLanes<Crossfade>(f, i, rev, straight));
    i = _mm256_add_pd(i, four);
  }
}
#endif

// A copy run through the widest form the processor has.
template <bool Crossfade>
void copyRunFast(const CopyFormula& f, uint32_t i0, uint32_t len, int32_t* w, const int32_t* m, const int32_t* b) {
#if KV_AVX2_CLONES
  // The AVX2 form multiplies and adds in one step.
  if (KV_avx2 && KV_fma) {
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
  const double r = 1.0 / static_cast<double>(count);
  const CopyFormula f{s, static_cast<double>(count), r, KV_raisedReciprocal(r)};
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

void KV_Effect_Tolvar::take(int32_t x, int32_t before, const Settings& set) {
  const uint32_t h = (writePos + 1) & MASK;
  writePos = h;
  const long double slope = KV_wrapSub(x, before);
  bool accepted = true;
  if (averageSlope > 0.1) {
    const long double ratio = slope / averageSlope;
    const bool rejected = ratio > 1.0L || ratio < set.rand;
    // A period longer than the lag time is taken whatever its slope.
    const uint32_t sofar = (h - periodStart) & MASK;
    accepted = !rejected || sofar > set.guarded;
  }
  if (accepted) {
    writeCopies(KV_wrapAdd(x, before), h, set.k);
    periodStart = writePos;
    averageSlope = static_cast<double>((1.0L - set.stab) * slope + static_cast<long double>(set.stab) * averageSlope);
  }
  ring[writePos] = x;
}

namespace {

#if defined(__SSE2__)
// Bit j set where the sample before x[j] is negative and x[j] is not, for j = 0 ... 7, from the
// four samples before each half and the halves themselves: the sign bit of before & ~x.
inline uint32_t marksOf(__m128i before0, __m128i x0, __m128i before4, __m128i x4) {
  const __m128i low = _mm_andnot_si128(x0, before0), high = _mm_andnot_si128(x4, before4);
  return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(low)) | _mm_movemask_ps(_mm_castsi128_ps(high)) << 4);
}

inline __m128i load4(const int32_t* x) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(x)); }

// Bit j set where x[j - 1] < 0 <= x[j], for j = 0 ... 7.
inline uint32_t crossingMarks(const int32_t* x) { return marksOf(load4(x - 1), load4(x), load4(x + 3), load4(x + 4)); }

// crossingMarks of x[0 ... 8) with `before` standing for x[-1].
inline uint32_t firstCrossingMarks(const int32_t* x, int32_t before) {
  const __m128i a = load4(x);
  const __m128i lead = _mm_or_si128(_mm_slli_si128(a, 4), _mm_cvtsi32_si128(before));  // before, x0, x1, x2
  return marksOf(lead, a, load4(x + 3), load4(x + 4));
}
#endif

// The first j in [i, n) with x[j - 1] < 0 <= x[j], or n; 1 <= i. Eight samples at a time, and
// the last few in one look of eight ending at n, its marks before i dropped.
int32_t crossingFrom(const int32_t* x, int32_t i, int32_t n) {
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8)
    if (const uint32_t marks = crossingMarks(x + i)) return i + std::countr_zero(marks);
  if (i < n && n >= 9) {
    const uint32_t marks = crossingMarks(x + n - 8) >> (8 - (n - i));
    return marks ? i + std::countr_zero(marks) : n;
  }
#endif
  for (; i < n; ++i)
    if (x[i - 1] < 0 && x[i] >= 0) return i;
  return n;
}

// The first j in [0, n) with x[j - 1] < 0 <= x[j], `before` standing for x[-1], or n; 1 <= n.
int32_t firstCrossing(const int32_t* x, int32_t n, int32_t before) {
#if defined(__SSE2__)
  if (n >= 8) {
    if (const uint32_t marks = firstCrossingMarks(x, before)) return std::countr_zero(marks);
    return crossingFrom(x, 8, n);
  }
#endif
  if (before < 0 && x[0] >= 0) return 0;
  return crossingFrom(x, 1, n);
}

#if KV_AVX2_CLONES
// marksOf for sixteen samples, in two halves of eight.
KV_AVX2 inline uint32_t marksOf16(__m256i before0, __m256i x0, __m256i before8, __m256i x8) {
  const __m256i low = _mm256_andnot_si256(x0, before0), high = _mm256_andnot_si256(x8, before8);
  return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(low)) |
                               _mm256_movemask_ps(_mm256_castsi256_ps(high)) << 8);
}

KV_AVX2 inline __m256i load8(const int32_t* x) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x)); }

// crossingMarks of x[0 ... 16).
KV_AVX2 inline uint32_t crossingMarks16(const int32_t* x) {
  return marksOf16(load8(x - 1), load8(x), load8(x + 7), load8(x + 8));
}

// crossingMarks16 of x[0 ... 16) with `before` standing for x[-1].
KV_AVX2 inline uint32_t firstCrossingMarks16(const int32_t* x, int32_t before) {
  const __m256i a = load8(x);
  const __m256i shifted = _mm256_permutevar8x32_epi32(a, _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6));
  const __m256i lead = _mm256_blend_epi32(shifted, _mm256_set1_epi32(before), 0x01);  // before, x0 ... x6
  return marksOf16(lead, a, load8(x + 7), load8(x + 8));
}

// x[0 ... 16) to `to`.
KV_AVX2 inline void copy16(int32_t* to, const int32_t* x) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), load8(x));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 8), load8(x + 8));
}

// crossingFrom sixteen samples at a time. With Copy (and 16 <= i), the samples of every look
// that finds no crossing also go to `to` + their place: all of x[i ... n) when there is none.
template <bool Copy = false>
KV_AVX2 inline int32_t crossingFromAvx2(const int32_t* x, int32_t i, int32_t n, int32_t* to = nullptr) {
  for (; i + 16 <= n; i += 16) {
    if (const uint32_t marks = crossingMarks16(x + i)) return i + std::countr_zero(marks);
    if constexpr (Copy) copy16(to + i, x + i);
  }
  if (i == n) return n;
  if (n >= 17) {
    const uint32_t marks = crossingMarks16(x + n - 16) >> (16 - (n - i));
    if (marks) return i + std::countr_zero(marks);
    if constexpr (Copy) copy16(to + n - 16, x + n - 16);
    return n;
  }
  return crossingFrom(x, i, n);
}
#endif

// crossingFrom through the widest form the processor has.
int32_t crossingFromFast(const int32_t* x, int32_t i, int32_t n) {
#if KV_AVX2_CLONES
  if (KV_avx2) return crossingFromAvx2(x, i, n);
#endif
  return crossingFrom(x, i, n);
}

}  // namespace

// Samples without a crossing go into the ring one after another.
void KV_Effect_Tolvar::append(const int32_t* x, uint32_t len) {
  uint32_t at = (writePos + 1) & MASK;
  writePos = (writePos + len) & MASK;
  while (len > 0) {
    const uint32_t piece = std::min(len, RING - at);
    std::memcpy(ring + at, x, sizeof(int32_t) * piece);
    x += piece;
    len -= piece;
    at = 0;
  }
}

// A block with a rising zero crossing, its first at in[c] (or one that runs over the ring's end,
// c = n): the samples up to each crossing go into the ring, then the crossing is taken.
void KV_Effect_Tolvar::writeCrossings(const int32_t* in, int32_t n, int32_t c, uint32_t step) {
  const Settings set{step, rand, stab, timing.guarded};
  int32_t i = 0;
  for (;;) {
    append(in + i, static_cast<uint32_t>(c - i));
    if (c == n) return;
    take(in[c], c > 0 ? in[c - 1] : previous, set);
    i = c + 1;
    c = crossingFromFast(in, i, n);
  }
}

namespace {

// The first crossing of in[0 ... n), `before` standing for in[-1], or n; the usual block, one
// without a crossing that fits (at `to`), is copied there too.
inline int32_t copyUsual(int32_t* to, bool fits, const int32_t* in, int32_t n, int32_t before) {
  const int32_t c = firstCrossing(in, n, before);
  if (c == n && fits) std::memcpy(to, in, sizeof(int32_t) * static_cast<size_t>(n));
  return c;
}

#if KV_AVX2_CLONES
// copyUsual sixteen samples at a time in AVX2 lanes, copying as it looks: the looks before the
// first crossing go where they would go anyway, and a block without one is in whole.
KV_AVX2 int32_t copyUsualAvx2(int32_t* to, bool fits, const int32_t* in, int32_t n, int32_t before) {
  if (n < 16) return copyUsual(to, fits, in, n, before);
  if (const uint32_t marks = firstCrossingMarks16(in, before)) return std::countr_zero(marks);
  if (!fits) return crossingFromAvx2(in, 16, n);
  copy16(to, in);
  return crossingFromAvx2<true>(in, 16, n, to);
}
#endif

// copyUsual through the widest form the processor has.
inline int32_t copyUsualFast(int32_t* to, bool fits, const int32_t* in, int32_t n, int32_t before) {
#if KV_AVX2_CLONES
  if (KV_avx2) return copyUsualAvx2(to, fits, in, n, before);
#endif
  return copyUsual(to, fits, in, n, before);
}

}  // namespace

// A rising zero crossing is a sample at or above zero after a negative one; the sample before
// in[0] is the last of the block before. The usual block has none and fits before the ring's
// end: it goes in whole.
inline void KV_Effect_Tolvar::write(const int32_t* in, int32_t n, uint32_t step) {
  const uint32_t at = (writePos + 1) & MASK;
  const bool fits = at + static_cast<uint32_t>(n) <= RING;
  const int32_t c = copyUsualFast(ring + at, fits, in, n, previous);
  if (c == n && fits) writePos = (writePos + static_cast<uint32_t>(n)) & MASK;
  else writeCrossings(in, n, c, step);
  previous = in[n - 1];
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

// The reads of a run stop short of the ring's end: reading groups of g = 4 or 8 takes g Step
// samples, of which the last Step - 1 may lie past the last read. The runs' first len - 1
// reads leave room for a whole group after them.
constexpr int32_t wholeGroups(uint32_t index, uint32_t step, int32_t len) {
  return index + static_cast<uint32_t>(len) * step <= KV_Effect_Tolvar::RING ? len : len - 1;
}

// out[t] combined with ring[index + t step] for t < len, every read inside the ring.
template <int Mode, uint32_t Step>
void readRun(const int32_t* ring, uint32_t index, uint32_t step, int32_t* out, int32_t len) {
  int32_t t = 0;
#if defined(__SSE2__)
  if constexpr (Step != 0) {
    const int32_t whole = wholeGroups(index, Step, len);
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

#if KV_AVX2_CLONES
// p[0], p[Step], ..., p[7 Step] in one vector, from the 8 Step samples at p.
template <uint32_t Step>
KV_AVX2 inline __m256i everyStep8(const int32_t* p) {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 8));
  if constexpr (Step == 2) {
    // a0 a2 b0 b2 | a4 a6 b4 b6, its pairs then put in order.
    const __m256 even = _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0));
    return _mm256_permute4x64_epi64(_mm256_castps_si256(even), _MM_SHUFFLE(3, 1, 2, 0));
  } else {
    static_assert(Step == 3, "steps of 2 and 3 only");
    // a0 b1 c2 a3 b4 c5 a6 b7 = p0 p9 p18 p3 p12 p21 p6 p15, then in order.
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16));
    const __m256i mixed = _mm256_blend_epi32(_mm256_blend_epi32(a, b, 0x92), c, 0x24);
    return _mm256_permutevar8x32_epi32(mixed, _mm256_setr_epi32(0, 3, 6, 1, 4, 7, 2, 5));
  }
}

// readRun eight reads at a time.
template <int Mode, uint32_t Step>
KV_AVX2 void readRunAvx2(const int32_t* ring, uint32_t index, int32_t* out, int32_t len) {
  const int32_t whole = wholeGroups(index, Step, len);
  int32_t t = 0;
  for (; t + 8 <= whole; t += 8) {
    __m256i* o = reinterpret_cast<__m256i*>(out + t);
    const __m256i r = everyStep8<Step>(ring + index + static_cast<uint32_t>(t) * Step);
    _mm256_storeu_si256(o, KV_combine8<Mode>(_mm256_loadu_si256(o), r));
  }
  if (t < len) readRun<Mode, Step>(ring, index + static_cast<uint32_t>(t) * Step, Step, out + t, len - t);
}
#endif

// readRun in the form asked for, where there is one.
template <int Mode, uint32_t Step, bool Avx2>
inline void readRunIn(const int32_t* ring, uint32_t index, uint32_t step, int32_t* out, int32_t len) {
#if KV_AVX2_CLONES
  if constexpr (Avx2 && Step != 0) {
    readRunAvx2<Mode, Step>(ring, index, out, len);
    return;
  }
#endif
  readRun<Mode, Step>(ring, index, step, out, len);
}

template <int Mode, uint32_t Step, bool Avx2>
void readRing(const int32_t* ring, uint32_t index, uint32_t step, int32_t* out, int32_t n) {
  constexpr uint32_t MASK = KV_Effect_Tolvar::MASK;
  if constexpr (Step != 0) step = Step;
  // Most blocks read inside the ring in one run.
  if (index + uint64_t{step} * static_cast<uint32_t>(n - 1) <= MASK) {
    readRunIn<Mode, Step, Avx2>(ring, index, step, out, n);
    return;
  }
  for (int32_t i = 0; i < n;) {
    // The reads left before the index passes the end of the ring.
    const uint32_t before = (MASK - index) / step + 1;
    const int32_t len = static_cast<int32_t>(std::min<uint32_t>(before, static_cast<uint32_t>(n - i)));
    readRunIn<Mode, Step, Avx2>(ring, index, step, out + i, len);
    index = (index + static_cast<uint32_t>(len) * step) & MASK;
    i += len;
  }
}

// The read for the mode, with the steps the product uses (2 and 3) written out.
template <int Mode>
void readRing(const int32_t* ring, uint32_t index, uint32_t step, int32_t* out, int32_t n) {
#if KV_AVX2_CLONES
  if (KV_avx2 && (step == 2 || step == 3)) {
    if (step == 2) readRing<Mode, 2, true>(ring, index, step, out, n);
    else readRing<Mode, 3, true>(ring, index, step, out, n);
    return;
  }
#endif
  if (step == 2) readRing<Mode, 2, false>(ring, index, step, out, n);
  else if (step == 3) readRing<Mode, 3, false>(ring, index, step, out, n);
  else readRing<Mode, 0, false>(ring, index, step, out, n);
}

// Every step-th sample of the ring from index on, set or added to out[0 ... n).
inline void readBlock(bool added, const int32_t* ring, uint32_t index, uint32_t step, int32_t* out, int32_t n) {
  if (added) readRing<KV_MODE_ADD>(ring, index, step, out, n);
  else readRing<KV_MODE_SET>(ring, index, step, out, n);
}

}  // namespace

void KV_Effect_Tolvar::process() {
  const Block b = blockOf(input, output);
  if (b.n <= 0) return;
  const uint32_t step = k;
  const Timing& tm = timingOf(clock, step);
  write(input->main, b.n, step);

  const int32_t m = mode;
  const uint32_t index = (readPos - tm.lag) & MASK;
  int32_t* out = output->main;
  // Set or added; the other modes write nothing.
  if (static_cast<uint32_t>(m) <= KV_MODE_ADD) readBlock(m == KV_MODE_ADD, ring, index, step, out, b.written);
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
