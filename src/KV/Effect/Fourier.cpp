#include "KV/Effect/Fourier.h"

#include <cmath>
#include <cstring>
#include <new>

#include "KV/Effect/Dist.h"

namespace {

constexpr double PI = 3.141592653589793;

struct TwiddleTable {
  KV_Fourier_Twiddle pairs[KV_FOURIER_TWIDDLES];
  TwiddleTable() {
    for (int32_t j = 0; j < KV_FOURIER_TWIDDLES; ++j) {
      double angle = PI * j / 2048.0;
      pairs[j].c = static_cast<int32_t>(std::cos(angle) * 2147483647.0);
      pairs[j].s = static_cast<int32_t>(std::sin(angle) * 2147483647.0);
    }
  }
};

// The upper 32 bits of a signed 64-bit product: floor(p / 2^32).
inline uint32_t hi(int64_t a, int32_t b) { return static_cast<uint32_t>((a * b) >> 32); }

}  // namespace

const KV_Fourier_Twiddle* KV_Fourier_twiddles() {
  static const TwiddleTable table;  // initialised once, under the language's guard
  return table.pairs;
}

template <bool Halving>
void KV_Fourier_butterflies(int32_t* z, int32_t s) {
  const KV_Fourier_Twiddle* tw = KV_Fourier_twiddles();
  for (int32_t t = 0; t <= s; ++t) {
    const int32_t h = int32_t{1} << t;
    const int32_t step = int32_t{1} << (KV_FOURIER_MAX_S - t);
    for (int32_t g = (int32_t{1} << (s - t)) - 1; g >= 0; --g) {
      int32_t* base = z + 4 * h * g;
      for (int32_t k = h - 1; k >= 0; --k) {
        int32_t* za = base + 2 * k;
        int32_t* zb = za + 2 * h;
        const KV_Fourier_Twiddle w = tw[k * step];
        const int64_t rb = zb[0], ib = zb[1];
        uint32_t tr = hi(rb, w.c) - hi(ib, w.s);
        uint32_t ti = hi(rb, w.s) + hi(ib, w.c);
        uint32_t ra, ia;
        if constexpr (Halving) {
          ra = static_cast<uint32_t>(za[0] >> 1);
          ia = static_cast<uint32_t>(za[1] >> 1);
        } else {
          tr <<= 1;
          ti <<= 1;
          ra = static_cast<uint32_t>(za[0]);
          ia = static_cast<uint32_t>(za[1]);
        }
        za[0] = static_cast<int32_t>(ra + tr);
        zb[0] = static_cast<int32_t>(ra - tr);
        za[1] = static_cast<int32_t>(ia + ti);
        zb[1] = static_cast<int32_t>(ia - ti);
      }
    }
  }
}

template void KV_Fourier_butterflies<true>(int32_t*, int32_t);
template void KV_Fourier_butterflies<false>(int32_t*, int32_t);

namespace {

// A buffer the transform makes and deletes: commands may read it but not delete it.
KV_Buffer* ownedBuffer() {
  KV_Buffer* b = new (std::nothrow) KV_Buffer;
  if (b) {
    b->options = KV_Buffer_options;
    KV_liveOwn(b, true);
  }
  return b;
}

}  // namespace

KV_Fourier_Transform::KV_Fourier_Transform() { KV_Fourier_twiddles(); }

KV_Fourier_Transform::~KV_Fourier_Transform() {
  delete ring;
  delete spectrum;
}

void KV_Fourier_Transform::setSize(int32_t size) {
  if (size < 0 || size > KV_FOURIER_MAX_S) return;
  const int32_t n = int32_t{2} << size;
  if (!spectrum) spectrum = ownedBuffer();
  if (!ring) ring = ownedBuffer();
  if (spectrum) spectrum->setLength(2 * n);
  if (ring) ring->setLength(n);
  // Without both arrays the transform has no size and does not process.
  s = spectrum && ring && spectrum->main && ring->main ? size : -1;
}

void KV_Fourier_Transform::restart() {
  if (ring) ring->clear();
  if (spectrum) spectrum->clear();
  KV_Effect::restart();
}

void KV_Fourier_Transform::forward(const int32_t* samples, int32_t n) {
  const int32_t N = points();
  const uint32_t mask = static_cast<uint32_t>(N - 1);
  const bool windowed = window != 0;
  int32_t* r = ring->main;
  uint32_t pos = static_cast<uint32_t>(ring->position) & mask;
  for (int32_t i = 0; i < n; ++i) {
    r[pos] = samples[i];
    pos = (pos + 1) & mask;
  }
  ring->position = static_cast<int32_t>(pos);

  int32_t* z = view(spectrum);
  uint32_t k = 0;
  for (int32_t i = 0; i < N; ++i, k = KV_Fourier_nextReversed(k, static_cast<uint32_t>(N))) {
    double x = r[(pos + static_cast<uint32_t>(i)) & mask];
    if (windowed) {
      double w = std::sin(PI * i / N);
      x *= w * w;
    }
    z[2 * k] = static_cast<int32_t>(x);  // |x| never exceeds the sample's own magnitude
    z[2 * k + 1] = 0;
  }
  KV_Fourier_butterflies<true>(z, s);
}

void KV_Fourier_Transform::inverse(const int32_t* p) {
  const int32_t N = points();
  int32_t* z = view(spectrum);
  uint32_t k = 0;
  for (int32_t i = 0; i < N; ++i, k = KV_Fourier_nextReversed(k, static_cast<uint32_t>(N))) {
    z[2 * k] = p[2 * i];
    z[2 * k + 1] = p[2 * i + 1];
  }
  KV_Fourier_butterflies<false>(z, s);
}

void KV_Fourier_Transform::process() {
  const int32_t N = points();
  if (N == 0 || !spectrum || !spectrum->main || !ring || !ring->main || !input) return;
  if (static_cast<bool>(backward)) {
    if (!KV_holds(input, 2 * N)) return;
    inverse(view(input));
    return;
  }
  const int32_t n = KV_lengthOf(input);
  if (n > 0 && !input->main) return;
  forward(view(input), n);
}

namespace {

KV_Fourier_Transform* F(KV_Object* o) { return static_cast<KV_Fourier_Transform*>(o); }

KV_value transformW(KV_Object* o, KV_value) { return KV_value::ofObject(F(o)->spectrum); }

bool isWord(KV_value v, const char* word) {
  return v.type == KV_STRING && v.asPointer() && std::strcmp(static_cast<const char*>(v.asPointer()), word) == 0;
}

KV_value transformD(KV_Object* o, KV_value v) {
  if (isWord(v, "forward")) F(o)->backward = false;
  else if (isWord(v, "backward")) F(o)->backward = true;
  return KV_value::ofString(F(o)->backward ? "backward" : "forward");
}

KV_value transformWin(KV_Object* o, KV_value v) {
  if (isWord(v, "none")) F(o)->window = 0;
  else if (isWord(v, "sin")) F(o)->window = 1;
  return KV_value::ofString(static_cast<int32_t>(F(o)->window) ? "sin" : "none");
}

KV_value transformS(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) F(o)->setSize(v.asTruncated());
  return KV_value::ofInt(F(o)->s);
}

}  // namespace

const KV_option KV_Fourier_Transform_options[] = {
    KV_opt_creator(KV_create<KV_Fourier_Transform>),
    KV_opt("i", KV_bufferOption<KV_Fourier_Transform, &KV_Fourier_Transform::input>),
    KV_opt("w", transformW),
    KV_opt("d", transformD),
    KV_opt("win", transformWin),
    KV_opt("s", transformS),
    KV_opt("delete", KV_Object_delete),
    KV_opt_end(KV_Effect_options),
};
