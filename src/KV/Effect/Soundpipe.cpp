#include "KV/Effect/Soundpipe.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "KV/Effect/Effect.h"

KV_Soundpipe* KV_currentpipe = nullptr;

// ---- KV_Buffer

KV_Buffer::KV_Buffer() {
  setLength(-1);
  if (KV_currentpipe) KV_currentpipe->buffers.insert(&item);
}

KV_Buffer::~KV_Buffer() {
  KV_forEachLive(
      [](KV_Object* o, void* gone) {
        if (auto* e = dynamic_cast<KV_Effect*>(o)) e->forget(static_cast<KV_Buffer*>(gone));
      },
      this);
  if (item.chain) item.chain->remove(&item);
  delete[] main;
}

void KV_Buffer::setLength(int32_t setting) {
  delete[] main;
  main = shadow = nullptr;
  count = 0;
  pipe = nullptr;
  if (setting < -1) setting = 0;
  int32_t n = setting;
  if (setting == -1) {
    pipe = KV_currentpipe;
    n = pipe ? static_cast<int32_t>(pipe->blockLength) : 0;
  }
  if (n > 0) main = new (std::nothrow) int32_t[2 * static_cast<size_t>(n)];
  if (!main) {
    lengthSetting = 0;
    pipe = nullptr;
    return;
  }
  lengthSetting = setting;
  shadow = main + n;
  count = n;
  position %= count;
  std::memset(main, 0, sizeof(int32_t) * 2 * static_cast<size_t>(n));
}

void KV_Buffer::clear() {
  if (main) std::memset(main, 0, sizeof(int32_t) * 2 * static_cast<size_t>(count));
  position = 0;
  viewState = 0;
}

int32_t KV_Buffer::firstBeyondLimit() const {
  for (int32_t i = 0; i < count; ++i) {
    int64_t s = main[i];
    if ((s < 0 ? -s : s) > limit) return i;
  }
  return -1;
}

namespace {

KV_Buffer* B(KV_Object* o) { return static_cast<KV_Buffer*>(o); }
KV_Soundpipe* S(KV_Object* o) { return static_cast<KV_Soundpipe*>(o); }

// Any value is kept, and answered with the type it came with: only a name given as text is read
// as text, so that a number or a hexadecimal word answers as itself.
KV_value bufferT(KV_Object* o, KV_value v) {
  if (v.isSet()) {
    B(o)->name = v.asPointer();
    B(o)->nameType = v.type;
  }
  return KV_value(reinterpret_cast<KV_word>(B(o)->name), B(o)->nameType);
}

KV_value bufferLimit(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) B(o)->limit = v.asTruncated();
  return KV_value::ofInt(B(o)->limit);
}

KV_Object* createPipe() {
  if (KV_specialobject && std::strcmp(KV_specialobject, "current") == 0) return KV_currentpipe;
  KV_Soundpipe* p = new (std::nothrow) KV_Soundpipe;
  if (p) KV_currentpipe = p;
  return p;
}

KV_value pipeBl(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) S(o)->blockLength = v.asTruncated();
  return KV_value::ofInt(static_cast<int32_t>(S(o)->blockLength));
}

// Only an effect of this pipe, or null: anything else would be dereferenced by the next effect
// made.
KV_value pipeBe(KV_Object* o, KV_value v) {
  KV_Effect* e;
  if (KV_liveRef(v, e) && (!e || e->item.chain == &S(o)->effects)) S(o)->insertionPoint = e;
  return KV_value::ofObject(S(o)->insertionPoint);
}

KV_value pipeB(KV_Object* o, KV_value) {
  if (KV_currentpipe) return KV_value::ofInt(0);
  KV_currentpipe = S(o);
  return KV_value::ofInt(1);
}

KV_value pipeE(KV_Object* o, KV_value) {
  if (KV_currentpipe != S(o)) return KV_value::ofInt(0);
  KV_currentpipe = nullptr;
  return KV_value::ofInt(1);
}

}  // namespace

KV_value KV_Buffer_l(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) B(o)->setLength(v.asTruncated());
  return KV_value::ofInt(B(o)->length());
}

const KV_option KV_Buffer_options[] = {
    KV_opt_creator(KV_create<KV_Buffer>), KV_opt("l", KV_Buffer_l),         KV_opt("t", bufferT),
    KV_opt("limit", bufferLimit), KV_opt("delete", KV_Object_delete), KV_opt_end(KV_Object_options),
};

const KV_option KV_Soundpipe_options[] = {
    KV_opt_creator(createPipe), KV_opt("bl", pipeBl), KV_opt("be", pipeBe),
    KV_opt("b", pipeB),         KV_opt("e", pipeE),   KV_opt_end(KV_Object_options),
};

// ---- KV_Soundpipe

KV_Soundpipe::~KV_Soundpipe() {
  // Members outlive a pipe only by mistake; cut them loose rather than leave them pointing here.
  KV_takeEach(effects, [](KV_Chain_Item* item) { static_cast<KV_Effect*>(item->owner)->pipe = nullptr; });
  KV_takeEach(buffers, [this](KV_Chain_Item* item) {
    KV_Buffer* b = static_cast<KV_Buffer*>(item->owner);
    if (b->pipe == this) b->pipe = nullptr;
  });
  if (KV_currentpipe == this) KV_currentpipe = nullptr;
}

int KV_Soundpipe::process() {
  KV_forEach<KV_Buffer>(buffers, [](KV_Buffer* b) { b->viewState = 0; });
  KV_forEach<KV_Effect>(effects, [](KV_Effect* e) {
    const bool on = e->on;
    e->blockOn = on;
    if (on || e->previousOn) {
      if (!e->ready) e->prepare();
      if (e->ready) e->process();
    }
    if (e->previousOn != on) {
      if (!on) e->reset();
      e->previousOn = on;
    }
  });
  return 0;
}

void KV_Soundpipe::reset() {
  KV_forEach<KV_Buffer>(buffers, [](KV_Buffer* b) {
    if (b->main) std::memset(b->main, 0, sizeof(int32_t) * static_cast<size_t>(b->count));
  });
  KV_forEach<KV_Effect>(effects, [](KV_Effect* e) { e->reset(); });
}

void KV_Soundpipe::restart() {
  KV_forEach<KV_Buffer>(buffers, [](KV_Buffer* b) { b->clear(); });
  KV_forEach<KV_Effect>(effects, [](KV_Effect* e) { e->restart(); });
}

KV_Buffer* KV_Soundpipe::bufferBeyondLimit() const {
  return KV_findIn<KV_Buffer>(buffers, [](KV_Buffer* b) { return b->firstBeyondLimit() >= 0; });
}
