// Sample arithmetic in AVX2 lanes, eight 32-bit samples at a time, for the loops' AVX2 forms.
#pragma once

#include "KV/Effect/Effect.h"

#if KV_AVX2_CLONES
#include <immintrin.h>

// KV_combine of eight samples.
template <int Mode>
KV_AVX2 inline __m256i KV_combine8(__m256i o, __m256i r) {
  if constexpr (Mode == KV_MODE_SET) return r;
  else if constexpr (Mode == KV_MODE_ADD) return _mm256_add_epi32(o, r);
  else if constexpr (Mode == KV_MODE_SUB) return _mm256_sub_epi32(o, r);
  else if constexpr (Mode == KV_MODE_STN) return _mm256_sub_epi32(_mm256_setzero_si256(), r);
  else if constexpr (Mode == KV_MODE_ADN) return _mm256_sub_epi32(_mm256_setzero_si256(), _mm256_add_epi32(o, r));
  else return _mm256_sub_epi32(r, o);
}

// Bits Shift ... Shift + 31 of the eight signed 64-bit products x k: the even and the odd lanes'
// products shifted, their low halves put back together. A logical shift leaves the same low 32
// bits as an arithmetic one.
template <int Shift>
KV_AVX2 inline __m256i KV_mulShift8(__m256i x, __m256i k) {
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epi32(x, k), Shift);
  const __m256i odd = _mm256_srli_epi64(_mm256_mul_epi32(_mm256_srli_epi64(x, 32), k), Shift);
  return _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xAA);
}

// Eight samples in the opposite order.
KV_AVX2 inline __m256i KV_reverse8(__m256i v) {
  return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

// Loops that also multiply and add in one step; they run where the processor has both.
#define KV_AVX2_FMA __attribute__((target("avx2,fma")))

// Four numerators / d truncated toward zero, as KV_truncatedQuotient gives them: whole
// numerators below 2^48 in magnitude, 0 < d < 2^15, reciprocal = 1.0 / d rounded, INT32_MIN for a
// quotient outside the 32-bit range. One fused step gives numerator x reciprocal + 2^-17, with
// the numerator's sign on the 2^-17, rounded once: q = numerator / d, the reciprocal is
// 1/d (1 + e) with |e| <= 2^-53, so below 2^31 the exact product is within |q| 2^-53 < 2^-22
// of q, and the one rounding moves a sum below 2^31 + 1 by at most 2^-22 more. The magnitude
// comes out within 2^-21 of |q| + 2^-17: a whole |q| lands between |q| and |q| + 2^-16, and a
// |q| that is not whole lies at least 1/d > 2^-15 from the next whole number, so the truncation
// is that of |q| either way, and a |q| below 2^31 stays below it. A |q| at or beyond 2^31
// gives a sum at or beyond 2^31, which converts to INT32_MIN, as does -2^31 itself.
KV_AVX2_FMA inline __m128i KV_truncatedQuotient4(__m256d numerator, __m256d reciprocal) {
  const __m256d lift = _mm256_or_pd(_mm256_set1_pd(0x1p-17), _mm256_and_pd(_mm256_set1_pd(-0.0), numerator));
  return _mm256_cvttpd_epi32(_mm256_fmadd_pd(numerator, reciprocal, lift));
}
#endif
