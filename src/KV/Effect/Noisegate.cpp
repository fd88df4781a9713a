#include "KV/Effect/Noisegate.h"

#include <cmath>
#include <initializer_list>
#include <new>

#include "KV/Effect/Deline.h"
#include "KV/Effect/Dist.h"
#include "KV/Effect/Fourier.h"
#include "KV/Spcpp.h"

namespace {

// 1024 / (2^31 - 1): the filter spectra's gain 2097151 back to about 1.0.
constexpr long double FILTER_SCALE = 1024.0L * 4.656612875245797e-10L;
constexpr double SMOOTHING = 0.1;
constexpr double GAIN_SCALE = 2147483647.0 * 0.0009765625;
constexpr int32_t UNIT_GAIN = 0x1FFFFF;

// Builds with no current pipe, and puts the caller's pipe back afterwards.
struct OutsideAnyPipe {
  KV_Soundpipe* saved = KV_currentpipe;
  OutsideAnyPipe() { KV_currentpipe = nullptr; }
  ~OutsideAnyPipe() { KV_currentpipe = saved; }
};

KV_Buffer* newBuffer() {
  KV_Buffer* b = new (std::nothrow) KV_Buffer;
  if (b) {
    b->options = KV_Buffer_options;
    KV_liveOwn(b, true);
    b->setLength(0);
  }
  return b;
}

KV_Fourier_Transform* newTransform(KV_Buffer* input, int32_t s, bool backward, bool sine) {
  KV_Fourier_Transform* t = new (std::nothrow) KV_Fourier_Transform;
  if (!t) return nullptr;
  t->options = KV_Fourier_Transform_options;
  KV_liveOwn(t, true);
  t->input = input;
  t->backward = backward;
  t->window = sine ? 1 : 0;
  if (s >= 0) t->setSize(s);
  return t;
}

// Gives `b` the length of `like`: a buffer that follows its pipe's block follows the same pipe.
void matchLength(KV_Buffer* b, KV_Buffer* like) {
  if (like->lengthSetting == -1 && like->pipe) {
    KV_Soundpipe* saved = KV_currentpipe;
    KV_currentpipe = like->pipe;
    b->setLength(-1);
    KV_currentpipe = saved;
  } else {
    b->setLength(like->lengthSetting);
  }
}

// out_k = X_k conj(F_k) K + D_k conj(E_k) K, for k = 0 ... N - 1.
void filterSpectra(int32_t* out, const int32_t* x, const int32_t* d, const int32_t* f, const int32_t* e, int32_t n) {
  for (int32_t k = 0; k < n; ++k) {
    const double fr = static_cast<double>(f[2 * k] * FILTER_SCALE), fi = static_cast<double>(-f[2 * k + 1] * FILTER_SCALE);
    const double er = static_cast<double>(e[2 * k] * FILTER_SCALE), ei = static_cast<double>(-e[2 * k + 1] * FILTER_SCALE);
    const double xr = x[2 * k], xi = x[2 * k + 1], dr = d[2 * k], di = d[2 * k + 1];
    const double re = (xr * fr - xi * fi) + (dr * er - di * ei);
    const double im = (xr * fi + xi * fr) + (dr * ei + di * er);
    out[2 * k] = KV_truncate32(re);
    out[2 * k + 1] = KV_truncate32(im);
  }
}

}  // namespace

int32_t KV_Noisegate_exponent(int32_t length) {
  int32_t digits = 0;
  for (uint32_t v = length > 0 ? static_cast<uint32_t>(length) : 0u; v; v >>= 1) ++digits;
  return digits - 3;
}

KV_Fourier_Noisegate::KV_Fourier_Noisegate() {
  OutsideAnyPipe outside;
  delayed = newBuffer();
  profile = newBuffer();
  gain = newBuffer();
  gainTransform = newTransform(gain, 5, true, false);
  KV_Buffer* g = gainTransform ? gainTransform->spectrum : nullptr;
  nearFilter = newTransform(g, -1, false, false);
  farFilter = newTransform(g, -1, false, false);
  analysis = newTransform(nullptr, 5, false, true);
  delayedTransform = newTransform(delayed, 5, false, false);
  KV_Object* d = nullptr;
  if (delayed &&
      spcpp(KV_CMD("KV_Effect_Deline -g % -ga 1 -go %o -d % -da 1 -dt 512"), &d, delayed) == KV_OK)
    delay = static_cast<KV_Effect_Deline*>(d);
  if (delay) KV_liveOwn(delay, true);
}

KV_Fourier_Noisegate::~KV_Fourier_Noisegate() {
  delete delay;
  delete delayedTransform;
  delete analysis;
  delete farFilter;
  delete nearFilter;
  delete gainTransform;
  delete gain;
  delete profile;
  delete delayed;
  // Outputs given with -o1 or -o2 are the noise gate's from then on.
  if (output2 != output1) delete output2;
  delete output1;
}

bool KV_Fourier_Noisegate::complete() const {
  return delayed && profile && gain && analysis && delayedTransform && gainTransform && nearFilter && farFilter &&
         delay;
}

bool KV_Fourier_Noisegate::size(KV_Buffer* spectrum) {
  if (!complete() || !spectrum) return false;
  const int32_t L = spectrum->lengthSetting > 0 ? spectrum->lengthSetting : KV_lengthOf(spectrum);
  const int32_t q = KV_Noisegate_exponent(L);
  if (q < 0 || q > KV_FOURIER_MAX_S) return false;
  OutsideAnyPipe outside;
  profile->setLength(L / 4 + 1);
  gain->setLength(L);
  for (int32_t i = 0; gain->main && i + 1 < gain->count; i += 2) {
    gain->main[i] = UNIT_GAIN;
    gain->main[i + 1] = 0;
  }
  for (KV_Fourier_Transform* t : {gainTransform, nearFilter, farFilter, analysis, delayedTransform}) t->setSize(q);
  return true;
}

void KV_Fourier_Noisegate::setSource(KV_Buffer* b) {
  source = b;
  refer(&source);
  if (!complete()) return;
  analysis->input = b;
  analysis->refer(&analysis->input);
  delay->input = b;
  delay->refer(&delay->input);
  delay->ready = false;
  if (b) matchLength(delayed, b);
}

void KV_Fourier_Noisegate::setOutput(KV_Buffer*& slot, bool& made, KV_Buffer* b) {
  if (b == slot) return;
  KV_Buffer* other = &slot == &output1 ? output2 : output1;
  // A buffer that another object already owns would be deleted twice.
  if (b && b != other && KV_isLive(b, KV_LIVE_OWNED)) return;
  if (slot != other) {
    if (made) delete slot;
    else if (slot) KV_liveOwn(slot, false);
  }
  slot = b;
  made = false;
  if (b) KV_liveOwn(b, true);
}

KV_Buffer* KV_Fourier_Noisegate::output(KV_Buffer*& slot, bool& made) {
  if (slot || !input) return slot;
  const int32_t L = input->lengthSetting > 0 ? input->lengthSetting : KV_lengthOf(input);
  KV_Buffer* b = new (std::nothrow) KV_Buffer;  // joins the current pipe, as a reader's input
  if (b) {
    b->options = KV_Buffer_options;
    KV_liveOwn(b, true);
    b->setLength(L);
  }
  made = b != nullptr;
  return slot = b;
}

void KV_Fourier_Noisegate::restart() {
  if (delayed) delayed->clear();
  if (gain) gain->clear();
  for (KV_Effect* e : std::initializer_list<KV_Effect*>{delay, analysis, delayedTransform, gainTransform, nearFilter,
                                                        farFilter})
    if (e) e->restart();
  KV_Effect::restart();
}

void KV_Fourier_Noisegate::process() {
  if (!complete() || !source || !input || !output1 || !output2) return;
  const int32_t N = nearFilter->points();
  const int32_t P = KV_lengthOf(profile);
  // Every transform of one size, every spectrum of 2N samples, every bin inside the gains.
  for (KV_Fourier_Transform* t : {gainTransform, farFilter, analysis, delayedTransform})
    if (t->points() != N) return;
  if (N < 2 || P < 1 || P > N || !gain->main || gain->count < 2 * N || (P > 1 && gain->count < 4 * P - 4)) return;
  if (!KV_holds(input, 2 * N) || !KV_holds(output1, 2 * N) || !KV_holds(output2, 2 * N)) return;
  if (output1 == input || output2 == input) return;
  const int32_t n = KV_lengthOf(source);
  if (n > 0 && !source->main) return;

  // 1-2: the source delayed by 512 samples, and its spectrum D.
  if (!delay->ready) delay->prepare();
  if (delay->ready) delay->process();
  delayedTransform->process();

  const int32_t* x = view(input);
  int32_t* o1 = view(output1);
  int32_t* o2 = view(output2);
  const int32_t* d = delayedTransform->spectrum->main;
  int32_t* F = nearFilter->spectrum->main;
  int32_t* E = farFilter->spectrum->main;

  // 3: output 1 with the previous block's filter.
  filterSpectra(o1, x, d, F, E, N);

  // 4-5: the source's windowed spectrum, the profile and the gains by spectral subtraction.
  analysis->process();
  const int32_t* S = analysis->spectrum->main;
  int32_t* profileBins = profile->main;
  int32_t* g = gain->main;
  const bool learning = learn;
  for (int32_t k = 0; k < P; ++k) {
    const double re = S[2 * k], im = S[2 * k + 1];
    double m = std::sqrt(re * re + im * im);
    const double p = profileBins[k];
    if (learning) profileBins[k] = KV_truncate32((m - p) * SMOOTHING + p);
    if (m < p) m = p;
    const double gk = m == 0.0 ? 1.0 : (m - p) / m;
    const int32_t v = KV_truncate32(gk * GAIN_SCALE);
    g[2 * k] = v;
    g[2 * k + 1] = 0;
    if (k > 0) {
      const int32_t mirror = 2 * (P - 1) - k;
      g[2 * mirror] = v;
      g[2 * mirror + 1] = 0;
    }
  }

  // 6-7: the impulse response of the gains, repacked into two zero-padded real halves.
  gainTransform->process();
  int32_t* G = gainTransform->spectrum->main;
  for (int32_t i = 0; i < N; ++i) {
    if (i < N / 2) {
      G[i] = G[2 * i];
      G[N + i] = G[N + 2 * i];
    } else {
      G[i] = 0;
      G[N + i] = 0;
    }
  }

  // 8: the near filter from the first half, the far filter from the second.
  nearFilter->forward(G, N);
  farFilter->forward(G + N, N);

  // 9: output 2 with this block's filter.
  filterSpectra(o2, x, d, F, E, N);
}

namespace {

KV_Fourier_Noisegate* G(KV_Object* o) { return static_cast<KV_Fourier_Noisegate*>(o); }

KV_value noisegateI(KV_Object* o, KV_value v) {
  KV_Buffer* b;
  if (KV_liveRef(v, b) && G(o)->size(b)) {
    G(o)->input = b;
    G(o)->refer(&G(o)->input);
  }
  return KV_value::ofObject(G(o)->input);
}

KV_value noisegateO1(KV_Object* o, KV_value v) {
  KV_Fourier_Noisegate* g = G(o);
  KV_Buffer* b;
  if (KV_liveRef(v, b)) g->setOutput(g->output1, g->made1, b);
  return KV_value::ofObject(g->output(g->output1, g->made1));
}

KV_value noisegateO2(KV_Object* o, KV_value v) {
  KV_Fourier_Noisegate* g = G(o);
  KV_Buffer* b;
  if (KV_liveRef(v, b)) g->setOutput(g->output2, g->made2, b);
  return KV_value::ofObject(g->output(g->output2, g->made2));
}

KV_value noisegateS(KV_Object* o, KV_value v) {
  KV_Buffer* b;
  if (KV_liveRef(v, b)) G(o)->setSource(b);
  return KV_value::ofObject(G(o)->source);
}

KV_value noisegateA(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) G(o)->learn = v.asTruncated() != 0;
  return KV_value::ofInt(G(o)->learn ? 1 : 0);
}

KV_value noisegateW(KV_Object* o, KV_value) { return KV_value::ofObject(G(o)->profile); }

}  // namespace

const KV_option KV_Fourier_Noisegate_options[] = {
    KV_opt_creator(KV_create<KV_Fourier_Noisegate>),
    KV_opt("i", noisegateI),
    KV_opt("o1", noisegateO1),
    KV_opt("o2", noisegateO2),
    KV_opt("s", noisegateS),
    KV_opt("a", noisegateA),
    KV_opt("w", noisegateW),
    KV_opt("delete", KV_Object_delete),
    KV_opt_end(KV_Effect_options),
};
