// Sample buffers and the sound pipe: the ordered chain of effects and the buffers they use.
// Samples are signed 32-bit fixed point, 1.0 = 2^30.
#pragma once

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "KV/Shared.h"
#include "KV/KV.h"

struct KV_Soundpipe;
struct KV_Effect;

constexpr int32_t KV_ONE = 1 << 30;  // full scale

// A host float as a sample: clipped to -1 … 1 (a NaN to -1), scaled by 2^30, truncated.
inline int32_t KV_sampleOf(float x) {
  if (x > 1.0f) x = 1.0f;
  else if (!(x >= -1.0f)) x = -1.0f;
  float scaled = x * 1073741824.0f;
  return static_cast<int32_t>(scaled);
}

// KV_sampleOf over n floats, four at a time where SSE2 is there: the lanes' maximum answers its
// second operand, -1, for a NaN, as the clip does.
inline void KV_samplesOf(const float* x, int32_t* out, int32_t n) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128 low = _mm_set1_ps(-1.0f), high = _mm_set1_ps(1.0f), scale = _mm_set1_ps(1073741824.0f);
  for (; i + 4 <= n; i += 4) {
    const __m128 clipped = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(x + i), low), high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_cvttps_epi32(_mm_mul_ps(clipped, scale)));
  }
#endif
  for (; i < n; ++i) out[i] = KV_sampleOf(x[i]);
}

// A sample as a host float: exactly s x 2^-30, rounded once to float. Scaling by a power of two
// commutes with the rounding, so s is rounded to float first and then scaled.
inline float KV_floatOf(int32_t s) { return static_cast<float>(s) * (1.0f / 1073741824.0f); }

// The pipe that new buffers and effects join; null when none is current.
extern KV_Soundpipe* KV_currentpipe;

struct KV_Buffer : KV_Object {
  int32_t lengthSetting = -1;  // -1: follow the pipe's block length
  int32_t count = 0;           // samples in each array
  void* name = nullptr;
  int32_t nameType = KV_STRING;  // the type the name was given with
  int32_t* main = nullptr;
  int32_t* shadow = nullptr;   // second half of the one allocation
  int32_t position = 0;
  int32_t limit = 0x3FFFFFFF;
  KV_Soundpipe* pipe = nullptr;
  int32_t viewState = 0;
  KV_Chain_Item item{this};

  KV_Buffer();
  ~KV_Buffer() override;

  // The number of samples of the current block.
  inline int32_t length() const;
  void setLength(int32_t setting);
  // Zeroes both arrays and the position, as a new buffer of this length has them.
  void clear();
  // The first sample whose magnitude exceeds the limit, or -1.
  int32_t firstBeyondLimit() const;
};

struct KV_Soundpipe : KV_Object {
  // Set by whoever runs the pipe, between its blocks; other threads may read it.
  KV_Shared<int32_t> blockLength{0};
  KV_Chain effects;
  KV_Effect* insertionPoint = nullptr;
  KV_Chain buffers;

  ~KV_Soundpipe() override;

  // Runs one block through every effect in chain order. Returns 0.
  KV_API int process();
  // Zeroes every buffer and resets every effect.
  void reset();
  // Returns the whole graph to the state of one just built, at the current clock and options:
  // both arrays and the position of every buffer zeroed, every effect restarted. Runs on the
  // thread that runs the pipe, between blocks.
  void restart();
  // The first buffer (in chain order) holding a sample beyond its limit, or null: the
  // diagnosis of a block gone wrong.
  KV_Buffer* bufferBeyondLimit() const;
};

inline int32_t KV_Buffer::length() const {
  if (lengthSetting != -1) return lengthSetting;
  int32_t n = pipe ? static_cast<int32_t>(pipe->blockLength) : 0;
  // A block longer than the arrays would run past them: the effects see only what exists.
  if (n > count) n = count;
  return n < 0 ? 0 : n;
}

extern const KV_option KV_Soundpipe_options[];
extern const KV_option KV_Buffer_options[];

KV_value KV_Buffer_l(KV_Object* obj, KV_value v);
