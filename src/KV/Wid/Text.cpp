#include "KV/Wid/Text.h"

#include <cstring>

void KV_Wid_Text_clear(KV_Pic_Base<KV_Pix_A32>& pic) {
  for (int32_t y = 0; y < pic.height; ++y) std::memset(pic.row(y), 0, sizeof(KV_Pix_A32) * static_cast<size_t>(pic.width));
}

void KV_Wid_Text_opaqueInk(KV_Pic_Base<KV_Pix_A32>& pic) {
  for (int32_t y = 0; y < pic.height; ++y) {
    KV_Pix_A32* p = pic.row(y);
    for (int32_t x = 0; x < pic.width; ++x)
      if (p[x].b | p[x].g | p[x].r | p[x].a) p[x].a = 0xFF;
  }
}

namespace {
KV_Object* createText() { return new KV_Wid_Text; }

KV_Wid_Text* asText(KV_Object* o) { return static_cast<KV_Wid_Text*>(o); }

bool sameText(const char* a, const char* b) { return a == b || (a && b && std::strcmp(a, b) == 0); }

KV_value textText(KV_Object* o, KV_value v) {
  if (v.type == KV_STRING) asText(o)->text = static_cast<const char*>(v.asPointer());
  return KV_value::ofString(asText(o)->text);
}

KV_value textColor(KV_Object* o, KV_value v) {
  // A colour is usually written in hexadecimal ("0x00C0C0C0"), which reads as an object reference.
  if (v.type == KV_OBJECT) asText(o)->color = static_cast<uint32_t>(v.val);
  else if (KV_isNumber(v)) asText(o)->color = static_cast<uint32_t>(v.asTruncated());
  return KV_value::ofInt(static_cast<int32_t>(asText(o)->color));
}

KV_value textFont(KV_Object* o, KV_value v) {
  KV_Wid_Text* t = asText(o);
  if (v.type == KV_STRING) {
    const char* face = static_cast<const char*>(v.asPointer());
    if (!sameText(face, t->face)) {
      t->face = face;
      t->makeFont();
    }
  }
  return KV_value::ofString(t->face);
}

KV_value textSize(KV_Object* o, KV_value v) {
  KV_Wid_Text* t = asText(o);
  if (KV_isNumber(v) && v.asTruncated() != t->size) {
    t->size = v.asTruncated();
    t->makeFont();
  }
  return KV_value::ofInt(t->size);
}

KV_value textHorz(KV_Object* o, KV_value v) {
  if (KV_isNumber(v)) asText(o)->alignment = v.asTruncated();
  return KV_value::ofInt(asText(o)->alignment);
}

// 1 to MAX_SCALE; the text is drawn again at the next paint.
KV_value textScale(KV_Object* o, KV_value v) {
  KV_Wid_Text* t = asText(o);
  if (KV_isNumber(v) && v.asTruncated() != t->scale && v.asTruncated() >= 1 && v.asTruncated() <= KV_Wid_MAX_SCALE) {
    t->scale = v.asTruncated();
    t->rendered = nullptr;
    t->makeFont();
  }
  return KV_value::ofInt(t->scale);
}

KV_value textBold(KV_Object* o, KV_value v) {
  KV_Wid_Text* t = asText(o);
  if (KV_isNumber(v)) {
    const uint8_t b = v.asTruncated() != 0 ? 1 : 0;
    if (b != t->bold) {
      t->bold = b;
      t->makeFont();
    }
  }
  return KV_value::ofInt(t->bold);
}
}  // namespace

const KV_option KV_Wid_Text_options[] = {
    KV_opt_creator(createText),
    KV_opt("text", textText),
    KV_opt("color", textColor),
    KV_opt("font", textFont),
    KV_opt("size", textSize),
    KV_opt("horz", textHorz),
    KV_opt("bold", textBold),
    KV_opt("scale", textScale),
    KV_opt_end(KV_Wid_options),
};
