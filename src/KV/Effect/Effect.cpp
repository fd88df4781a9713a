#include "KV/Effect/Effect.h"

#include <cstring>

const char* const KV_modeWords[KV_MODES] = {"set", "add", "sub", "stn", "adn", "sbn"};

namespace {

bool processorHasAvx2() {
#if KV_AVX2_CLONES
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

bool processorHasFma() {
#if KV_AVX2_CLONES
  __builtin_cpu_init();
  return __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

}  // namespace

bool KV_avx2 = processorHasAvx2();
const bool KV_fma = processorHasFma();

KV_Effect::KV_Effect() {
  if (!KV_currentpipe) return;
  pipe = KV_currentpipe;
  KV_Chain_Item* before = pipe->insertionPoint ? &pipe->insertionPoint->item : nullptr;
  pipe->effects.insert(&item, before);
}

KV_Effect::~KV_Effect() {
  if (item.chain) item.chain->remove(&item);
  if (pipe && pipe->insertionPoint == this) pipe->insertionPoint = nullptr;
}

void KV_Effect::refer(KV_Buffer** field) {
  for (KV_Buffer** f : references)
    if (f == field) return;
  references.push_back(field);
}

void KV_Effect::forget(const KV_Buffer* gone) {
  for (KV_Buffer** f : references)
    if (*f == gone) {
      *f = nullptr;
      ready = false;
    }
}

void KV_Effect::restart() {
  ready = false;
  previousOn = true;
  blockOn = true;
}

namespace {

// main = (main * i + shadow * (n - i)) / n: the fading-out effect's output leaves over the block.
void mergeFadeOut(int32_t* main, const int32_t* shadow, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    main[i] = static_cast<int32_t>((int64_t{main[i]} * i + int64_t{shadow[i]} * (n - i)) / n);
}

// main = (shadow * i + main * (n - i)) / n: the fading-in effect's output arrives over the block.
void mergeFadeIn(int32_t* main, const int32_t* shadow, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    main[i] = static_cast<int32_t>((int64_t{shadow[i]} * i + int64_t{main[i]} * (n - i)) / n);
}

}  // namespace

int32_t* KV_Effect::fadingView(KV_Buffer* b) const {
  if (!b) return nullptr;
  int s = transition();
  if (s != b->viewState) {
    int32_t n = b->length();
    if (n > KV_MAX_BLOCK) n = KV_MAX_BLOCK;
    if (n > 0 && b->main) {
      if (b->viewState == -1) mergeFadeOut(b->main, b->shadow, n);
      else if (b->viewState == 1) mergeFadeIn(b->main, b->shadow, n);
      if (s != 0) std::memcpy(b->shadow, b->main, sizeof(int32_t) * static_cast<size_t>(n));
    }
    b->viewState = s;
  }
  return s == 0 ? b->main : b->shadow;
}

namespace {

KV_Effect* E(KV_Object* o) { return static_cast<KV_Effect*>(o); }

// Moves the effect just before another effect of the current pipe. Anything else (no current
// pipe, a null effect, one of another pipe, itself) changes nothing.
KV_value effectBefore(KV_Object* o, KV_value v) {
  KV_Effect* e = E(o);
  KV_Effect* target = nullptr;
  if (KV_liveRef(v, target)) {
    KV_Soundpipe* p = KV_currentpipe;
    if (p && target && target != e && e->item.chain == &p->effects && target->item.chain == &p->effects) {
      p->effects.remove(&e->item);
      p->effects.insert(&e->item, &target->item);
    }
  }
  KV_Chain_Item* next = e->item.chain ? e->item.next : nullptr;
  return KV_value::ofObject(next && next->owner ? next->owner : nullptr);
}

KV_value effectMode(KV_Object* o, KV_value v) {
  if (v.type == KV_STRING && v.asPointer()) {
    const char* word = static_cast<const char*>(v.asPointer());
    for (int m = KV_MODES - 1; m >= 0; --m)
      if (std::strcmp(word, KV_modeWords[m]) == 0) {
        E(o)->mode = m;
        break;
      }
  }
  return KV_value::ofString(KV_modeWords[static_cast<int32_t>(E(o)->mode)]);
}

KV_value effectClock(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) {
    E(o)->clock = v.asTruncated();
    E(o)->clockChanged();
  }
  return KV_value::ofInt(E(o)->clock);
}

KV_value effectOn(KV_Object* o, KV_value v) {
  if (v.isSet()) E(o)->on = static_cast<uint32_t>(v.val) != 0;
  return KV_value::ofInt(E(o)->on ? 1 : 0);
}

}  // namespace

const KV_option KV_Effect_options[] = {
    KV_opt_creator(nullptr),        KV_opt("before", effectBefore), KV_opt("mode", effectMode),
    KV_opt("clock", effectClock),   KV_opt("on", effectOn),         KV_opt("delete", KV_Object_delete),
    KV_opt_end(KV_Object_options),
};
