#include "KV/Wid/Pal.h"
#include "KV/Live.h"

#include <algorithm>
#include <cstring>

#include "KV/Win/Win.h"

namespace {
// Rounds to a 32-bit float in memory. On i686 the x87 unit would otherwise keep the value at
// extended precision in a register, and a comparison or truncation could then differ from the
// other targets.
float toFloat(long double x) {
  volatile float f = static_cast<float>(x);
  return f;
}

// Truncation toward zero, pinned to the 64-bit range; NaN gives 0.
int64_t truncate64(long double x) {
  if (!(x == x)) return 0;
  if (x >= 9.2e18L) return INT64_MAX;
  if (x <= -9.2e18L) return INT64_MIN;
  return static_cast<int64_t>(x);
}

constexpr uint32_t channelMask(int32_t ch) { return ~(0xFFu << (8 * ch) | 0xFF000000u); }
}  // namespace

KV_Wid_Pal_Line::KV_Wid_Pal_Line() {
  for (Box& b : boxes) b = Box{INT32_MAX, INT32_MAX, 0, 0};
  KV_liveEnter(this, KV_LIVE_LINE);
}

KV_Wid_Pal_Line::~KV_Wid_Pal_Line() { KV_liveLeave(this); }

bool KV_Wid_Pal_Line::isMeterPixel(const KV_Pix_A32& p, int32_t i) const {
  const int32_t ch = channelIndex();
  return KV_pixelByte(p, ch) == i && i >= minimum && i <= maximum && (KV_pixelValue(p) & channelMask(ch)) == key;
}

uint32_t KV_Wid_Pal_Line::litColour(int32_t i) const {
  // A one-segment range has no span to divide by: its segment is the top of the range.
  const int64_t span = static_cast<int64_t>(maximum) - minimum;
  const float t = span == 0 ? 1.0f : toFloat(static_cast<long double>(static_cast<int64_t>(i) - minimum) / span);
  return t < threshold ? lit : high;
}

KV_Pix_A32 KV_Wid_Pal_mix(uint32_t a, uint32_t b, float q) {
  // In double the products and the sum of a float fraction and bytes are exact, so every target
  // truncates the same number.
  const double p = q < 0.0f ? 0.0 : q > 1.0f ? 1.0 : q;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const double m = (1.0 - p) * ((a >> shift) & 0xFF) + p * ((b >> shift) & 0xFF);
    const uint32_t byte = m <= 0.0 ? 0u : m >= 255.0 ? 255u : static_cast<uint32_t>(m);
    out |= byte << shift;
  }
  return KV_pixelOf(out);
}

void KV_Wid_Pal::useResource(const char* name, const void* data, size_t size) {
  resourceName = name;
  if (!data || !source.map(data, size)) return;
  if (!shownIsOwn() || picture.width != source.width || picture.height != source.height) {
    picture.resize(source.width, source.height);
    shownBlock = picture.pixels;
  }
  if (!shownIsOwn()) return;
  std::memcpy(static_cast<void*>(picture.pixels), source.pixels,
              sizeof(KV_Pix_A32) * static_cast<size_t>(source.width) * static_cast<size_t>(source.height));
}

bool KV_Wid_Pal::shownIsOwn() const { return shownBlock && picture.pixels == shownBlock; }

void KV_Wid_Pal::scan() {
  KV_Wid_Pal_Line& L = *line;
  KV_Wid_Pal_forEachMeterPixel(source, L, [&L](int32_t x, int32_t y, int32_t i) {
    KV_Wid_Pal_Line::Box& b = L.boxes[i];
    b.minX = std::min(b.minX, x);
    b.minY = std::min(b.minY, y);
    b.maxX = std::max(b.maxX, x);
    b.maxY = std::max(b.maxY, y);
  });
}

void KV_Wid_Pal::paintSegment(int32_t i, const KV_Pix_A32& colour) {
  const KV_Wid_Pal_Line::Box& b = line->boxes[i];
  // Boxes from an earlier, larger source are cut to the pictures there are now.
  const int32_t w = std::min(source.width, picture.width), h = std::min(source.height, picture.height);
  const int32_t x0 = std::max(b.minX, 0), x1 = std::min(b.maxX, w - 1);
  const int32_t y0 = std::max(b.minY, 0), y1 = std::min(b.maxY, h - 1);
  for (int32_t y = y0; y <= y1; ++y) {
    const KV_Pix_A32* from = source.row(y);
    KV_Pix_A32* to = picture.row(y);
    for (int32_t x = x0; x <= x1; ++x) {
      if (!line->isMeterPixel(from[x], i)) continue;
      KV_Pix_A32 p = colour;
      p.a = static_cast<uint8_t>(static_cast<uint32_t>(colour.a) * from[x].a / 255);
      to[x] = p;
    }
  }
}

void KV_Wid_Pal::level(float v, bool quiet) {
  if (!line || !(v == v) || !source.pixels || !shownIsOwn()) return;
  v = std::clamp(v, 0.0f, 1.0f);
  KV_Wid_Pal_Line& L = *line;
  if (!L.scanned) {
    scan();
    L.scanned = 1;
    // From the top down to 0: every segment starts in the background colour.
    L.level = 1.0f;
    level(0.0f, false);
  }
  const int64_t n = static_cast<int64_t>(L.maximum) - L.minimum + 1;
  const int64_t c = truncate64(static_cast<long double>(n) * L.level + L.minimum);
  const float e = toFloat(static_cast<long double>(n) * v + L.minimum);
  const int64_t f = truncate64(e);
  // The fraction of the segment at the level; below segment 0 (a negative e truncated up to 0)
  // it is none of it.
  const float q = std::clamp(toFloat(static_cast<long double>(e) - f), 0.0f, 1.0f);
  const bool rose = f > c;
  L.level = v;

  // Only indices a channel byte can hold and the pixel test accepts have pixels; the walk from c
  // to f is cut to them, which keeps it within 256 steps whatever the range.
  const int64_t lo = std::max<int64_t>(L.minimum, 0), hi = std::min<int64_t>(L.maximum, KV_Wid_Pal_Line::BOXES - 1);
  const int64_t from = rose ? std::max(c, lo) : std::min(c, hi);
  const int64_t to = rose ? std::min(f, hi) : std::max(f, lo);
  const int64_t step = rose ? 1 : -1;
  if (rose ? from <= to : from >= to) {
    for (int64_t i = from;; i += step) {
      const int32_t seg = static_cast<int32_t>(i);
      const uint32_t litNow = L.litColour(seg);
      const KV_Pix_A32 colour =
          i == f ? KV_Wid_Pal_mix(L.background, litNow, q) : KV_pixelOf(rose ? litNow : L.background);
      paintSegment(seg, colour);
      if (i == to) break;
    }
  }
  if (!quiet && window) refresh();
}

namespace {
KV_Object* createPal() { return new KV_Wid_Pal; }

KV_Wid_Pal_Line* lineOf(KV_Object* o) { return static_cast<KV_Wid_Pal*>(o)->line; }

KV_value m_ln(KV_Object* o, KV_value v) {
  KV_Wid_Pal* p = static_cast<KV_Wid_Pal*>(o);
  KV_Wid_Pal_Line* line;
  if (KV_liveEntry(v, KV_LIVE_LINE, line)) p->line = line;
  return KV_value::ofObject(p->line);
}

template <int32_t KV_Wid_Pal_Line::*Field>
KV_value lineInt(KV_Object* o, KV_value v) {
  KV_Wid_Pal_Line* l = lineOf(o);
  if (!l) return KV_value::none();
  if (KV_isNumber(v)) l->*Field = v.asTruncated();
  return KV_value::ofInt(l->*Field);
}

// Colours come as integers, or as hexadecimal words, which the tokenizer reads as references.
template <uint32_t KV_Wid_Pal_Line::*Field>
KV_value lineColour(KV_Object* o, KV_value v) {
  KV_Wid_Pal_Line* l = lineOf(o);
  if (!l) return KV_value::none();
  if (v.type == KV_INT || v.type == KV_OBJECT) l->*Field = static_cast<uint32_t>(v.val);
  return KV_value::ofInt(static_cast<int32_t>(l->*Field));
}

KV_value palRl(KV_Object* o, KV_value v) {
  KV_Wid_Pal_Line* l = lineOf(o);
  if (!l) return KV_value::none();
  if (KV_isNumber(v)) l->threshold = static_cast<float>(v.asNumber());
  return KV_value::ofFloat(l->threshold);
}

KV_value palCh(KV_Object* o, KV_value v) {
  static const char* const names[3] = {"b", "g", "r"};
  KV_Wid_Pal_Line* l = lineOf(o);
  if (!l) return KV_value::none();
  if (v.type == KV_STRING) {
    const char* s = static_cast<const char*>(v.asPointer());
    const char first = s ? s[0] : '\0';
    if (first == 'b') l->channel = 0;
    else if (first == 'g') l->channel = 1;
    else if (first == 'r') l->channel = 2;
    l->key &= channelMask(l->channelIndex());
  }
  return KV_value::ofString(names[l->channelIndex()]);
}

KV_value palLevel(KV_Object* o, KV_value v) {
  KV_Wid_Pal* p = static_cast<KV_Wid_Pal*>(o);
  if (p->line && KV_isNumber(v)) p->level(static_cast<float>(v.asNumber()), false);
  return KV_value::none();
}
}  // namespace

const KV_option KV_Wid_Pal_options[] = {
    KV_opt_creator(createPal),
    KV_opt("res", KV_Wid_resOption<KV_Wid_Pal>),
    KV_opt("ln", m_ln),
    KV_opt("mn", lineInt<&KV_Wid_Pal_Line::minimum>),
    KV_opt("mx", lineInt<&KV_Wid_Pal_Line::maximum>),
    KV_opt("rl", palRl),
    KV_opt("bg", lineColour<&KV_Wid_Pal_Line::background>),
    KV_opt("fg", lineColour<&KV_Wid_Pal_Line::lit>),
    KV_opt("rg", lineColour<&KV_Wid_Pal_Line::high>),
    KV_opt("cg", lineColour<&KV_Wid_Pal_Line::key>),
    KV_opt("ch", palCh),
    KV_opt("level", palLevel),
    KV_opt_end(KV_Wid_Pic_options),
};
