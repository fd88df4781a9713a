// Effects that move and combine sample blocks: clear a buffer, copy one with strides, combine
// two sample by sample, combine one with a constant. Factors and quotients take 2^24 as 1.
#pragma once

#include <cstdint>

#include "KV/Effect/Effect.h"

enum KV_Arith : int32_t { KV_ARITH_ADD, KV_ARITH_SUB, KV_ARITH_MUL, KV_ARITH_DIV };
constexpr int KV_ARITH_OPS = 4;

KV_API extern const char* const KV_arithWords[KV_ARITH_OPS];

// (a x b) >> 24 from the signed 64-bit product, saturated when it leaves 32 bits.
inline int32_t KV_mul24(int32_t a, int32_t b) {
  return KV_saturate32((int64_t{a} * b) >> 24);
}

// floor((|a| + 1) x 2^24 / (|b| + 1)) with the given sign, saturated when the quotient
// reaches 2^31. Neither operand's magnitude can be zero, so no division by zero occurs.
inline int32_t KV_div24(int32_t a, int32_t b, bool negative) {
  uint64_t ma = static_cast<uint64_t>(a < 0 ? -int64_t{a} : int64_t{a}) + 1;
  uint64_t mb = static_cast<uint64_t>(b < 0 ? -int64_t{b} : int64_t{b}) + 1;
  if (((ma << 25) >> 32) >= mb) return negative ? INT32_MIN : INT32_MAX;
  int64_t q = static_cast<int64_t>((ma << 24) / mb);
  return static_cast<int32_t>(negative ? -q : q);
}

struct KV_Effect_Zero : KV_Effect {
  KV_Buffer* output = nullptr;

  void process() override;
};

struct KV_Effect_Copy : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  KV_Shared<int32_t> inStride{1};   // every is-th input sample is read; never below 1
  KV_Shared<int32_t> outStride{1};  // every os-th output sample is written; never below 1

  void process() override;
};

struct KV_Effect_Oper : KV_Effect {
  KV_Buffer* input1 = nullptr;
  KV_Buffer* input2 = nullptr;
  KV_Buffer* output = nullptr;
  KV_Shared<int32_t> operation{KV_ARITH_ADD};

  void process() override;
};

struct KV_Effect_Koef : KV_Effect {
  KV_Buffer* input = nullptr;
  KV_Buffer* output = nullptr;
  KV_Shared<int32_t> operation{KV_ARITH_ADD};
  KV_Shared<int32_t> constant{0};  // K, raw sample units

  void process() override;

  // K = trunc(k x (1/127) x 2^31) in extended precision, saturated to 32 bits; NaN is refused.
  void setFactor(long double k);
};

KV_API extern const KV_option KV_Effect_Zero_options[];
KV_API extern const KV_option KV_Effect_Copy_options[];
KV_API extern const KV_option KV_Effect_Oper_options[];
KV_API extern const KV_option KV_Effect_Koef_options[];
