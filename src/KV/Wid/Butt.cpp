#include "KV/Wid/Butt.h"

#include "KV/Win/Win.h"

void KV_Wid_Butt::paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& src) {
  strip.blend(state ? 1u : 0u, target, x, y, src);
}

void KV_Wid_Butt::refresh() {
  shownFrame = state ? 1 : 0;
  if (drawsNow()) render();
  if (window) window->redraw(rect());
}

void KV_Wid_Butt::setState(uint8_t s) {
  if (s == state) return;
  state = s;
  refresh();
  if (com) com(dat);
}

void KV_Wid_Butt::mouseDown(int32_t, int32_t) {
  const uint8_t requested = state ? 0 : 1;
  if (receiver) KV_Wid_report(receiver, requested, dat);
  else setState(requested);
}

bool KV_Wid_Butt::hits(int32_t x, int32_t y) {
  return strip.alphaAt(static_cast<uint32_t>(shownFrame), x, y) >= 128;
}

void KV_Wid_Butt::useResource(const char* name, const void* data, size_t size) {
  resourceName = name;
  if (data) strip.map(data, size);
}

namespace {
KV_Object* createButt() { return new KV_Wid_Butt; }

KV_value buttVal(KV_Object* o, KV_value v) {
  KV_Wid_Butt* b = static_cast<KV_Wid_Butt*>(o);
  if (KV_isNumber(v)) b->setState(v.asNumber() != 0.0 ? 1 : 0);
  return KV_value::ofFloat(b->state ? 1.0f : 0.0f);
}
}  // namespace

const KV_option KV_Wid_Butt_options[] = {
    KV_opt_creator(createButt),
    KV_opt("res", KV_Wid_resOption<KV_Wid_Butt>),
    KV_opt("com", KV_Wid_comOption<KV_Wid_Butt>),
    KV_opt("var", KV_Wid_varOption<KV_Wid_Butt>),
    KV_opt("val", buttVal),
    KV_opt("dat", KV_Wid_datOption<KV_Wid_Butt>),
    KV_opt_end(KV_Wid_options),
};
