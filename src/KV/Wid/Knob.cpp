#include "KV/Wid/Knob.h"

#include "KV/Win/Win.h"

void KV_Wid_Knob::paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& src) {
  const int32_t f = frame;
  if (f >= 0) strip.blend(static_cast<uint32_t>(f), target, x, y, src);
}

void KV_Wid_Knob::refresh() {
  const int32_t f = frame;
  if (!window || !hasStrip() || f < 0 || static_cast<uint32_t>(f) >= strip.frames) return;
  if (drawsNow()) render();
  window->redraw(rect());
  if (com) com(dat);
}

void KV_Wid_Knob::mouseDown(int32_t x, int32_t y) {
  anchorX = x;
  anchorY = y;
  anchorFrame = frame;
}

void KV_Wid_Knob::mouseDrag(int32_t x, int32_t y) {
  if (strip.frames == 0) return;
  const int64_t moved = (static_cast<int64_t>(x) - anchorX) + (static_cast<int64_t>(anchorY) - y);
  // Whole steps of `scale` pixels, truncated toward zero: the same movement either way turns
  // the knob by the same number of frames.
  const int64_t f = static_cast<int64_t>(anchorFrame) + moved / scale;
  const int64_t last = static_cast<int64_t>(strip.frames) - 1;
  if (f < 0 || f > last) {
    // Re-anchoring at the limit: a movement back takes effect at once.
    anchorX = x;
    anchorY = y;
    frame = f < 0 ? 0 : static_cast<int32_t>(last);
    anchorFrame = frame;
  } else {
    frame = static_cast<int32_t>(f);
  }
  if (receiver) {
    KV_Wid_report(receiver, KV_value::ofFloat(value()).val, dat);
  } else {
    refresh();
  }
}

bool KV_Wid_Knob::hits(int32_t x, int32_t y) {
  const int32_t f = frame;
  return f >= 0 && strip.alphaAt(static_cast<uint32_t>(f), x, y) >= 128;
}

void KV_Wid_Knob::useResource(const char* name, const void* data, size_t size) {
  resourceName = name;
  if (data) strip.map(data, size);
}

int32_t KV_Wid_Knob::frameOf(float v) const {
  if (maximum == minimum) return 0;
  const long double span = static_cast<long double>(strip.frames) - 1;
  return KV_truncate32(span * (static_cast<long double>(v) - minimum) / (static_cast<long double>(maximum) - minimum));
}

void KV_Wid_Knob::setValue(float v) {
  const int32_t f = frameOf(v);
  if (!hasStrip()) return;
  frame = f;
  refresh();
}

float KV_Wid_Knob::value() const {
  // A strip of one frame would divide by zero; it is treated as one without frames.
  const long double d = strip.frames > 1 ? static_cast<long double>(strip.frames) - 1 : 1.0L;
  return static_cast<float>(static_cast<long double>(minimum) +
                            frame / d * (static_cast<long double>(maximum) - minimum));
}

namespace {
KV_Object* createKnob() { return new KV_Wid_Knob; }

template <float KV_Wid_Knob::*Bound>
KV_value knobBound(KV_Object* o, KV_value v) {
  KV_Wid_Knob* k = static_cast<KV_Wid_Knob*>(o);
  if (KV_isNumber(v)) {
    const float current = k->value();
    k->*Bound = static_cast<float>(v.asNumber());
    k->setValue(current);
  }
  return KV_value::ofFloat(k->*Bound);
}

// Pixels of drag per frame, 1 to KV_Wid_MAX_SCALE.
KV_value knobScale(KV_Object* o, KV_value v) {
  KV_Wid_Knob* k = static_cast<KV_Wid_Knob*>(o);
  if (KV_isNumber(v) && v.asTruncated() >= 1 && v.asTruncated() <= KV_Wid_MAX_SCALE) k->scale = v.asTruncated();
  return KV_value::ofInt(k->scale);
}

KV_value knobVal(KV_Object* o, KV_value v) {
  KV_Wid_Knob* k = static_cast<KV_Wid_Knob*>(o);
  if (KV_isNumber(v)) k->setValue(static_cast<float>(v.asNumber()));
  return KV_value::ofFloat(k->value());
}
}  // namespace

const KV_option KV_Wid_Knob_options[] = {
    KV_opt_creator(createKnob),
    KV_opt("res", KV_Wid_resOption<KV_Wid_Knob>),
    KV_opt("com", KV_Wid_comOption<KV_Wid_Knob>),
    KV_opt("val", knobVal),
    KV_opt("dat", KV_Wid_datOption<KV_Wid_Knob>),
    KV_opt("mn", knobBound<&KV_Wid_Knob::minimum>),
    KV_opt("mx", knobBound<&KV_Wid_Knob::maximum>),
    KV_opt("var", KV_Wid_varOption<KV_Wid_Knob>),
    KV_opt("scale", knobScale),
    KV_opt_end(KV_Wid_options),
};
