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

// 1.0 / d rounded, raised by a factor 1 + 2^-48: what KV_truncatedQuotient4 multiplies by.
inline double KV_raisedReciprocal(double reciprocal) { return reciprocal * (1.0 + 0x1p-48); }

// Four numerators / d truncated toward zero, as KV_truncatedQuotient gives them: whole
// numerators below 2^48 in magnitude, 0 < d < 2^15, raised = KV_raisedReciprocal(1.0 / d
// rounded), INT32_MIN for a quotient outside the 32-bit range. q = numerator / d; the three
// roundings (1 / d, the raise, the product) each stay within 2^-53 of their exact values, so the
// product is q (1 + h) with 2^-48 - 2^-51 < h < 2^-48 + 2^-51: its magnitude lies above |q|
// (or is 0) by less than 2^31 2^-47 = 2^-16 wherever |q| < 2^31. A whole |q| then truncates to
// itself, and a |q| that is not whole lies at least 1/d > 2^-15 below the next whole number,
// so it truncates as |q| does, the sign coming along. A |q| at or beyond 2^31 gives a product
// beyond 2^31, which converts to INT32_MIN.
KV_AVX2_FMA inline __m128i KV_truncatedQuotient4(__m256d numerator, __m256d raised) {
  return _mm256_cvttpd_epi32(_mm256_mul_pd(numerator, raised));
}
#endif
