// The effect base: membership in a pipe, the shared options, the five operations the pipe
// calls, and the buffer view that fades an effect in or out over one block.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "KV/Effect/Soundpipe.h"
#include "KV/Live.h"
#include "KV/Shared.h"

// Output modes: how a computed sample r combines with the output sample o already there.
enum KV_Mode : int32_t { KV_MODE_SET, KV_MODE_ADD, KV_MODE_SUB, KV_MODE_STN, KV_MODE_ADN, KV_MODE_SBN };
constexpr int KV_MODES = 6;

extern const char* const KV_modeWords[KV_MODES];

// A table of a sample loop's instances, one for each index 0 … N-1, built at compile time:
// `pick` turns an index (a std::integral_constant) into the instance for it, for example
// `[](auto m) { return &copyLoop<m()>; }`.
template <size_t N, class Pick>
constexpr auto KV_loopTable(Pick pick) {
  return [pick]<size_t... I>(std::index_sequence<I...>) {
    return std::array{pick(std::integral_constant<int, static_cast<int>(I)>{})...};
  }
  (std::make_index_sequence<N>{});
}

// A sample's bits as unsigned, for arithmetic that wraps around in 32-bit two's complement.
inline uint32_t KV_u32(int32_t v) { return static_cast<uint32_t>(v); }
inline int32_t KV_wrapAdd(int32_t a, int32_t b) { return static_cast<int32_t>(KV_u32(a) + KV_u32(b)); }
inline int32_t KV_wrapSub(int32_t a, int32_t b) { return static_cast<int32_t>(KV_u32(a) - KV_u32(b)); }

// Bits 31 ... 62 of the signed 64-bit product: a floor division by 2^31 kept to 32 bits.
inline int32_t KV_mul31(int32_t a, int32_t b) { return static_cast<int32_t>((int64_t{a} * b) >> 31); }

// The combination wraps around in 32-bit two's complement.
template <int Mode>
inline int32_t KV_combine(int32_t o, int32_t r) {
  uint32_t uo = static_cast<uint32_t>(o), ur = static_cast<uint32_t>(r);
  uint32_t out;
  if constexpr (Mode == KV_MODE_SET) out = ur;
  else if constexpr (Mode == KV_MODE_ADD) out = uo + ur;
  else if constexpr (Mode == KV_MODE_SUB) out = uo - ur;
  else if constexpr (Mode == KV_MODE_STN) out = 0u - ur;
  else if constexpr (Mode == KV_MODE_ADN) out = 0u - (uo + ur);
  else out = ur - uo;
  return static_cast<int32_t>(out);
}

// The options a command may change while the pipe runs (mode, clock, on, and whatever clears
// `ready`) are KV_Shared; the audio thread owns previousOn and blockOn.
struct KV_Effect : KV_Object {
  KV_Chain_Item item{this};
  KV_Shared<bool> ready{false};
  KV_Shared<int32_t> mode{KV_MODE_SET};
  KV_Shared<int32_t> clock{0};
  bool previousOn = true;
  KV_Shared<bool> on{true};
  bool blockOn = true;  // the on flag as the pipe took it for the current block
  KV_Soundpipe* pipe = nullptr;

  KV_Effect();
  ~KV_Effect() override;

  virtual void process() {}
  virtual void prepare() { ready = true; }
  virtual void clockChanged() {}
  virtual void reset() {}
  // Returns every memory of the effect to that of one just built, at its current clock and
  // options: ready clear, no fade pending. Subclasses clear their own state and call this.
  virtual void restart();

  // +1 just switched on, -1 just switched off, 0 steady.
  int transition() const { return blockOn == previousOn ? 0 : (blockOn ? 1 : -1); }

  // The array this effect reads and writes for `buffer` in the current block; null for null.
  int32_t* view(KV_Buffer* buffer) const {
    if (buffer && buffer->viewState == 0 && blockOn == previousOn) return buffer->main;
    return fadingView(buffer);
  }

  // The fields through which this effect refers to buffers, noted by the options that set them,
  // so that a buffer being destroyed is dropped from every effect still referring to it.
  std::vector<KV_Buffer**> references;
  void refer(KV_Buffer** field);
  // Clears every noted field holding `gone`; the effect prepares again before it next runs.
  void forget(const KV_Buffer* gone);

 private:
  // view() where a fade starts, runs or ends: merges and copies the arrays as the fade needs.
  int32_t* fadingView(KV_Buffer* buffer) const;
};

extern const KV_option KV_Effect_options[];

// The effective length of a buffer, as its -l option answers it; 0 for null.
inline int32_t KV_lengthOf(KV_Buffer* buffer) { return buffer ? buffer->length() : 0; }

// A buffer reference option: set by a reference to a live buffer (or null), answered as one.
template <class T, KV_Buffer* T::*Field>
KV_value KV_bufferOption(KV_Object* o, KV_value v) {
  T* t = static_cast<T*>(o);
  KV_Buffer* b;
  if (KV_liveRef(v, b)) {
    t->*Field = b;
    t->refer(&(t->*Field));
  }
  return KV_value::ofObject(t->*Field);
}

// True when the buffer exists and holds at least n samples in this block.
inline bool KV_holds(KV_Buffer* b, int32_t n) { return b && b->main && KV_lengthOf(b) >= n; }

// The busiest sample loops have a second form in AVX2 lanes in x86 builds, taken where the
// processor has AVX2; both forms give the same samples.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KV_AVX2_CLONES 1
#define KV_AVX2 __attribute__((target("avx2")))
#else
#define KV_AVX2_CLONES 0
#endif
// Whether the AVX2 forms run: set at load from the processor; a test switches it to compare.
KV_API extern bool KV_avx2;
// Whether the processor also multiplies and adds in one step (the AVX2 forms that do so need it).
extern const bool KV_fma;

// Block lengths the fades handle.
constexpr int32_t KV_MAX_BLOCK = 65535;
