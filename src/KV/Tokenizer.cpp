#include "KV/Tokenizer.h"

#include <charconv>
#include <cstdint>

namespace {

// 0 other, 1 sign, 2 zero, 3 digit, 4 point, 5 e, 6 x, 7 hex letter, 8 separator.
constexpr int classOf(unsigned char c) {
  if (c == ' ' || c == '\0') return 8;
  if (c == '+' || c == '-') return 1;
  if (c == '0') return 2;
  if (c >= '1' && c <= '9') return 3;
  if (c == '.') return 4;
  if (c == 'e' || c == 'E') return 5;
  if (c == 'x' || c == 'X') return 6;
  if ((c >= 'a' && c <= 'd') || c == 'f' || (c >= 'A' && c <= 'D') || c == 'F') return 7;
  return 0;
}

struct ClassTable {
  unsigned char cls[256];
  constexpr ClassTable() : cls() {
    for (int c = 0; c < 256; ++c) cls[c] = static_cast<unsigned char>(classOf(static_cast<unsigned char>(c)));
  }
};

constexpr ClassTable classes;

constexpr unsigned char transition[12][9] = {
    {11, 1, 2, 5, 7, 11, 11, 11, 11},     // 0 start
    {11, 11, 6, 6, 7, 11, 11, 11, 11},    // 1 sign
    {11, 11, 5, 5, 7, 8, 3, 11, 5},       // 2 leading 0
    {11, 11, 4, 4, 11, 4, 11, 4, 11},     // 3 after 0x
    {11, 11, 4, 4, 11, 4, 11, 4, 4},      // 4 hex digits
    {11, 11, 5, 5, 7, 8, 11, 11, 5},      // 5 unsigned
    {11, 11, 6, 6, 7, 8, 11, 11, 6},      // 6 signed
    {11, 11, 7, 7, 11, 8, 11, 11, 7},     // 7 fraction
    {11, 9, 10, 10, 11, 11, 11, 11, 11},  // 8 after e
    {11, 11, 10, 10, 11, 11, 11, 11, 11}, // 9 exponent sign
    {11, 11, 10, 10, 11, 11, 11, 11, 7},  // 10 exponent
    {11, 11, 11, 11, 11, 11, 11, 11, 11}, // 11 text
};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Decimal digits wrap modulo 2^32, as a 32-bit conversion does.
uint32_t decimal(const char* p, const char* end) {
  uint32_t v = 0;
  for (; p < end; ++p) v = v * 10u + static_cast<uint32_t>(*p - '0');
  return v;
}

KV_value hexValue(const char* p, const char* end) {
  uintptr_t v = 0;
  for (p += 2; p < end; ++p) v = (v << 4) | static_cast<uintptr_t>(hexDigit(*p));
  return KV_value(static_cast<KV_word>(v), KV_OBJECT);
}

KV_value unsignedValue(const char* p, const char* end) {
  return KV_value::ofInt(static_cast<int32_t>(decimal(p, end)));
}

KV_value signedValue(const char* p, const char* end) {
  bool negative = *p == '-';
  uint32_t magnitude = decimal(p + 1, end);
  return KV_value::ofInt(static_cast<int32_t>(negative ? 0u - magnitude : magnitude));
}

// Locale-independent, so that a host's numeric locale never changes a command's meaning.
KV_value floatValue(const char* p, const char* end) {
  if (*p == '+') ++p;
  float f = 0.0f;
  auto r = std::from_chars(p, end, f, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // The text was a valid number beyond float's range: keep its sign and magnitude class.
    bool negative = *p == '-';
    bool tiny = false;
    for (const char* q = p; q < end; ++q)
      if ((*q == 'e' || *q == 'E') && q + 1 < end && q[1] == '-') tiny = true;
    f = tiny ? 0.0f : __builtin_huge_valf();
    if (negative) f = -f;
  }
  return KV_value::ofFloat(f);
}

}  // namespace

int KV_tokenState(const char* text, size_t pos, size_t* end) {
  int state = 0;
  for (;; ++pos) {
    int cls = classes.cls[static_cast<unsigned char>(text[pos])];
    state = transition[state][cls];
    if (cls == 8) break;
  }
  if (end) *end = pos;
  return state;
}

KV_value KV_tokenize(const char* text, size_t& pos) {
  size_t start = pos;
  int state = KV_tokenState(text, start, &pos);
  const char* p = text + start;
  const char* e = text + pos;
  switch (state) {
    case 4: return hexValue(p, e);
    case 5: return unsignedValue(p, e);
    case 6: return signedValue(p, e);
    case 7: return floatValue(p, e);
    default: return KV_value::ofString(p);
  }
}
