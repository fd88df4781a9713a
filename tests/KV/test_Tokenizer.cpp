// The tokenizer's classes and final states.
#include <gtest/gtest.h>

#include <cstring>

#include "KV/Tokenizer.h"

namespace {

KV_value tok(const char* text, size_t* end = nullptr) {
  size_t pos = 0;
  KV_value v = KV_tokenize(text, pos);
  if (end) *end = pos;
  return v;
}

TEST(Tokenizer, Integers) {
  EXPECT_EQ(tok("0").type, KV_INT);
  EXPECT_EQ(tok("512").asInt(), 512);
  EXPECT_EQ(tok("-1").asInt(), -1);
  EXPECT_EQ(tok("+3").asInt(), 3);
  EXPECT_EQ(tok("007").asInt(), 7);  // no octal
  EXPECT_EQ(tok("-0").asInt(), 0);
  EXPECT_EQ(tok("4294967295").asInt(), -1);  // %u into 32 bits
  EXPECT_EQ(tok("-2147483648").asInt(), INT32_MIN);
}

TEST(Tokenizer, Floats) {
  const char* floats[] = {"0.02", "-0.9", "5.", ".5", "1e5", "2E-3", "-.5", "0e0", "0.", "+1.5e+2"};
  const float values[] = {0.02f, -0.9f, 5.0f, 0.5f, 1e5f, 2e-3f, -0.5f, 0.0f, 0.0f, 150.0f};
  for (size_t i = 0; i < sizeof floats / sizeof floats[0]; ++i) {
    KV_value v = tok(floats[i]);
    EXPECT_EQ(v.type, KV_FLOAT) << floats[i];
    EXPECT_EQ(v.asFloat(), values[i]) << floats[i];
  }
  EXPECT_EQ(tok("1e60").asFloat(), __builtin_huge_valf());
  EXPECT_EQ(tok("1e-60").asFloat(), 0.0f);
}

TEST(Tokenizer, HexadecimalIsAReference) {
  KV_value v = tok("0x1F");
  EXPECT_EQ(v.type, KV_OBJECT);
  EXPECT_EQ(v.val, 0x1F);
  EXPECT_EQ(tok("0x00C0C0C0").val, 0x00C0C0C0);
  EXPECT_EQ(tok("0xabcdef").val, 0xABCDEF);
  EXPECT_EQ(tok("0XFF").val, 0xFF);
}

TEST(Tokenizer, TextPointsIntoTheCommand) {
  const char* texts[] = {"1e", "0x", "-", "abc", "0x1G", "1.2.3", "+-1", "1x", "e5", "\t1", "5e+", "0xe.", "\x80"};
  for (const char* t : texts) {
    KV_value v = tok(t);
    EXPECT_EQ(v.type, KV_STRING) << t;
    EXPECT_EQ(v.asPointer(), t) << t;
  }
}

TEST(Tokenizer, StopsOnTheSeparator) {
  size_t end = 0;
  const char* text = "512 -b";
  EXPECT_EQ(tok(text, &end).asInt(), 512);
  EXPECT_EQ(end, 3u);
  KV_value v = tok(" x", &end);  // two spaces in a row give an empty text
  EXPECT_EQ(v.type, KV_STRING);
  EXPECT_EQ(end, 0u);
  EXPECT_EQ(KV_tokenState("0x1F", 0), 4);
  EXPECT_EQ(KV_tokenState("12", 0), 5);
  EXPECT_EQ(KV_tokenState("-12", 0), 6);
  EXPECT_EQ(KV_tokenState("1.5", 0), 7);
  EXPECT_EQ(KV_tokenState("-x", 0), 11);
}

}  // namespace
