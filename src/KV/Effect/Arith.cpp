#include "KV/Effect/Arith.h"

#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "KV/Effect/Lanes.h"

const char* const KV_arithWords[KV_ARITH_OPS] = {"add", "sub", "mul", "div"};

namespace {

inline int32_t saturatedAdd(int32_t a, int32_t b) { return KV_saturate32(int64_t{a} + b); }

// a op b between two buffers: add saturates, sub wraps; a div is negative when exactly one
// operand is negative.
template <int Op>
inline int32_t operate(int32_t a, int32_t b) {
  if constexpr (Op == KV_ARITH_ADD) return saturatedAdd(a, b);
  else if constexpr (Op == KV_ARITH_SUB) return KV_wrapSub(a, b);
  else if constexpr (Op == KV_ARITH_MUL) return KV_mul24(a, b);
  else return KV_div24(a, b, (a < 0) != (b < 0));
}

// x op K with the constant: add and sub wrap; a div is negative when exactly one of x and K
// is zero or negative.
template <int Op>
inline int32_t operateConstant(int32_t x, int32_t k) {
  if constexpr (Op == KV_ARITH_ADD) return KV_wrapAdd(x, k);
  else if constexpr (Op == KV_ARITH_SUB) return KV_wrapSub(x, k);
  else if constexpr (Op == KV_ARITH_MUL) return KV_mul24(x, k);
  else return KV_div24(x, k, (x <= 0) != (k <= 0));
}

// ---- loops, one per operation x 6 + mode

template <int Op, int Mode>
void operLoop(const int32_t* a, const int32_t* b, int32_t* out, int32_t n) {
  for (int32_t i = 0; i < n; ++i) out[i] = KV_combine<Mode>(out[i], operate<Op>(a[i], b[i]));
}

template <int Op, int Mode>
void koefLoop(const int32_t* x, int32_t k, int32_t* out, int32_t n) {
  for (int32_t i = 0; i < n; ++i) out[i] = KV_combine<Mode>(out[i], operateConstant<Op>(x[i], k));
}

#if KV_AVX2_CLONES
// A product held within -2^55 ... 2^55 - 1, where bits 24 ... 55 are KV_mul24's saturated result.
KV_AVX2 inline __m256i within55(__m256i p) {
  const __m256i high = _mm256_set1_epi64x((INT64_C(1) << 55) - 1), low = _mm256_set1_epi64x(-(INT64_C(1) << 55));
  p = _mm256_blendv_epi8(p, high, _mm256_cmpgt_epi64(p, high));
  return _mm256_blendv_epi8(p, low, _mm256_cmpgt_epi64(low, p));
}

// KV_mul24 of eight samples and k: the even and the odd lanes' 64-bit products, each held and
// shifted, their low halves put back together.
KV_AVX2 inline __m256i mul24x8(__m256i x, __m256i k) {
  const __m256i even = _mm256_srli_epi64(within55(_mm256_mul_epi32(x, k)), 24);
  const __m256i odd = _mm256_srli_epi64(within55(_mm256_mul_epi32(_mm256_srli_epi64(x, 32), k)), 24);
  return _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xAA);
}

// Koef's multiplication eight samples at a time, where AVX2 has the signed 32 x 32 -> 64 products.
template <int Mode>
KV_AVX2 void koefMulLoopAvx2(const int32_t* x, int32_t k, int32_t* out, int32_t n) {
  const __m256i kv = _mm256_set1_epi32(k);
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256i* o = reinterpret_cast<__m256i*>(out + i);
    const __m256i r = mul24x8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + i)), kv);
    _mm256_storeu_si256(o, KV_combine8<Mode>(_mm256_loadu_si256(o), r));
  }
  for (; i < n; ++i) out[i] = KV_combine<Mode>(out[i], KV_mul24(x[i], k));
}
#endif

template <int Mode>
void copyLoop(const int32_t* in, int32_t* out, int32_t count, int32_t is, int32_t os) {
  for (int32_t j = 0; j < count; ++j) out[j * os] = KV_combine<Mode>(out[j * os], in[j * is]);
}

using OperLoop = void (*)(const int32_t*, const int32_t*, int32_t*, int32_t);
using KoefLoop = void (*)(const int32_t*, int32_t, int32_t*, int32_t);
using CopyLoop = void (*)(const int32_t*, int32_t*, int32_t, int32_t, int32_t);

// Indexed by operation * KV_MODES + mode.
constexpr auto operLoops =
    KV_loopTable<KV_ARITH_OPS * KV_MODES>([](auto i) -> OperLoop { return &operLoop<i() / KV_MODES, i() % KV_MODES>; });
constexpr auto koefLoops =
    KV_loopTable<KV_ARITH_OPS * KV_MODES>([](auto i) -> KoefLoop { return &koefLoop<i() / KV_MODES, i() % KV_MODES>; });
#if KV_AVX2_CLONES
constexpr auto koefMulLoopsAvx2 = KV_loopTable<KV_MODES>([](auto m) -> KoefLoop { return &koefMulLoopAvx2<m()>; });
#endif

// The loop of a Koef: a multiplication in AVX2 lanes where the processor has them.
KoefLoop koefLoopOf(int loop) {
#if KV_AVX2_CLONES
  if (KV_avx2 && loop / KV_MODES == KV_ARITH_MUL) return koefMulLoopsAvx2[static_cast<size_t>(loop % KV_MODES)];
#endif
  return koefLoops[static_cast<size_t>(loop)];
}
constexpr auto copyLoops = KV_loopTable<KV_MODES>([](auto m) -> CopyLoop { return &copyLoop<m()>; });

// The loop index of an operation and a mode, or -1 when either is out of range.
int loopIndex(int32_t op, int32_t mode) {
  if (op < 0 || op >= KV_ARITH_OPS || mode < 0 || mode >= KV_MODES) return -1;
  return op * KV_MODES + mode;
}

}  // namespace

void KV_Effect_Zero::process() {
  int32_t n = KV_lengthOf(output);
  int32_t* out = view(output);
  if (n > 0 && out) std::memset(out, 0, sizeof(int32_t) * static_cast<size_t>(n));
}

void KV_Effect_Copy::process() {
  const int32_t is = inStride, os = outStride, m = mode;
  if (!input || !output || is < 1 || os < 1 || m < 0 || m >= KV_MODES) return;
  int32_t n = KV_lengthOf(input);
  int32_t outLength = KV_lengthOf(output);
  const int32_t* in = view(input);
  int32_t* out = view(output);
  if (!in || !out || n <= 0 || outLength <= 0) return;
  if (in == out && m == KV_MODE_SET) return;
  // Only the samples that land inside the output are copied. Strides of 1 need no division, and
  // the compiler must not fold `n / 1` back into one: a division costs more than the rest here.
  int32_t count = n, fit = outLength;
  if (is != 1) [[unlikely]] count = n / is;
  if (os != 1) [[unlikely]] fit = (outLength - 1) / os + 1;
  if (count > fit) count = fit;
  copyLoops[static_cast<size_t>(m)](in, out, count, is, os);
}

void KV_Effect_Oper::process() {
  int loop = loopIndex(operation, mode);
  if (!input1 || !input2 || !output || loop < 0) return;
  int32_t n = KV_lengthOf(input1);
  if (KV_lengthOf(input2) < n || KV_lengthOf(output) < n) return;
  const int32_t* a = view(input1);
  const int32_t* b = view(input2);
  int32_t* out = view(output);
  if (n > 0 && a && b && out) operLoops[static_cast<size_t>(loop)](a, b, out, n);
}

void KV_Effect_Koef::process() {
  int loop = loopIndex(operation, mode);
  if (!input || !output || loop < 0) return;
  int32_t n = KV_lengthOf(input);
  if (KV_lengthOf(output) < n) return;
  const int32_t* x = view(input);
  int32_t* out = view(output);
  const int32_t k = constant;
  if (n > 0 && x && out) koefLoopOf(loop)(x, k, out, n);
}

void KV_Effect_Koef::setFactor(long double k) {
  long double K = k * (1.0L / 127.0L) * 2147483648.0L;
  if (K == K) constant = KV_truncate32(K);
}

// ---- options

namespace {

// A stride below 1 (a float below 1 truncates to 0) would stand still or walk backwards: refused.
template <KV_Shared<int32_t> KV_Effect_Copy::*Field>
KV_value strideOption(KV_Object* o, KV_value v) {
  auto* e = static_cast<KV_Effect_Copy*>(o);
  if (KV_isNumber(v)) {
    int32_t s = v.asTruncated();
    if (s >= 1) e->*Field = s;
  }
  return KV_value::ofInt(static_cast<int32_t>(e->*Field));
}

// The operation word, tried from the last word of the list to the first; no match, no change.
template <class T>
KV_value operOption(KV_Object* o, KV_value v) {
  T* e = static_cast<T*>(o);
  if (v.type == KV_STRING && v.asPointer()) {
    const char* word = static_cast<const char*>(v.asPointer());
    for (int op = KV_ARITH_OPS - 1; op >= 0; --op)
      if (std::strcmp(word, KV_arithWords[op]) == 0) {
        e->operation = op;
        break;
      }
  }
  int32_t op = e->operation;
  return KV_value::ofString(op >= 0 && op < KV_ARITH_OPS ? KV_arithWords[op] : "");
}

KV_value koefK(KV_Object* o, KV_value v) {
  auto* e = static_cast<KV_Effect_Koef*>(o);
  if (v.type == KV_FLOAT) e->setFactor(static_cast<long double>(v.asFloat()));
  else if (v.type == KV_INT) e->setFactor(static_cast<long double>(v.asInt()));
  return KV_value::ofInt(e->constant);
}

}  // namespace

const KV_option KV_Effect_Zero_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Zero>),
    KV_opt("o", KV_bufferOption<KV_Effect_Zero, &KV_Effect_Zero::output>),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Copy_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Copy>),
    KV_opt("i", KV_bufferOption<KV_Effect_Copy, &KV_Effect_Copy::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Copy, &KV_Effect_Copy::output>),
    KV_opt("is", strideOption<&KV_Effect_Copy::inStride>),
    KV_opt("os", strideOption<&KV_Effect_Copy::outStride>),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Oper_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Oper>),
    KV_opt("i1", KV_bufferOption<KV_Effect_Oper, &KV_Effect_Oper::input1>),
    KV_opt("i2", KV_bufferOption<KV_Effect_Oper, &KV_Effect_Oper::input2>),
    KV_opt("o", KV_bufferOption<KV_Effect_Oper, &KV_Effect_Oper::output>),
    KV_opt("oper", operOption<KV_Effect_Oper>),
    KV_opt_end(KV_Effect_options),
};

const KV_option KV_Effect_Koef_options[] = {
    KV_opt_creator(KV_create<KV_Effect_Koef>),
    KV_opt("i", KV_bufferOption<KV_Effect_Koef, &KV_Effect_Koef::input>),
    KV_opt("o", KV_bufferOption<KV_Effect_Koef, &KV_Effect_Koef::output>),
    KV_opt("oper", operOption<KV_Effect_Koef>),
    KV_opt("k", koefK),
    KV_opt_end(KV_Effect_options),
};
