// The real-time audio base: format words, mode texts, channels, the seven base operations, the
// registration chain, copyBuffer in every format both ways, and a loopback back end that runs a
// sound pipe from a driver thread the way the device back ends do.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "Effect/EffectTest.h"
#include "KV/Rts/Rts.h"

namespace {

using Chan = KV_Rts::Chan;
using Mode = KV_Rts::Mode;

constexpr uint32_t I8 = KV_Rts::format(1, 8);
constexpr uint32_t I16 = KV_Rts::format(2, 16);
constexpr uint32_t I24 = KV_Rts::format(3, 24);
constexpr uint32_t I32 = KV_Rts::format(4, 32);
constexpr uint32_t F32 = KV_Rts::format(4, 32, 0, true);
constexpr uint32_t F64 = KV_Rts::format(8, 64, 0, true);
// The ASIO back end's padded 32-bit containers.
constexpr uint32_t I16in32 = 0x00101004, I18in32 = 0x000E1204, I20in32 = 0x000C1404, I24in32 = 0x00081804;
// A pipe buffer seen as a channel: 31 significant bits, so that 2^30 lines up with full scale.
constexpr uint32_t PIPE = KV_Rts::format(4, 31, 1);

// One block from src (format sf) to dst (format df), n samples each.
KV_error copy(void* dst, uint32_t df, const void* src, uint32_t sf, int32_t n) {
  Chan d("dst", df, n), s("src", sf, n);
  d.data = dst;
  s.data = const_cast<void*>(src);
  return KV_Rts::copyBuffer(&d, &s);
}

template <class D, class S>
D one(uint32_t df, S x, uint32_t sf) {
  D out{};
  EXPECT_EQ(copy(&out, df, &x, sf, 1), KV_OK);
  return out;
}

std::vector<uint8_t> bytes24(std::initializer_list<int32_t> values) {
  std::vector<uint8_t> b;
  for (int32_t v : values)
    for (int i = 0; i < 3; ++i) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  return b;
}

int32_t read24(const uint8_t* p) {
  uint32_t u = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
  return static_cast<int32_t>(u << 8) >> 8;
}

// ---- format words ----

TEST(RtsFormat, WordsOfTheAsioSampleTypes) {
  EXPECT_EQ(KV_Rts::format(2, 16), 0x00001002u);
  EXPECT_EQ(KV_Rts::format(3, 24), 0x00001803u);
  EXPECT_EQ(KV_Rts::format(4, 32), 0x00002004u);
  EXPECT_EQ(KV_Rts::format(4, 32, 0, true), 0x01002004u);
  EXPECT_EQ(KV_Rts::format(8, 64, 0, true), 0x01004008u);
  EXPECT_EQ(KV_Rts::format(4, 16, 16), I16in32);
  EXPECT_EQ(KV_Rts::format(4, 18, 14), I18in32);
  EXPECT_EQ(KV_Rts::format(4, 20, 12), I20in32);
  EXPECT_EQ(KV_Rts::format(4, 24, 8), I24in32);
}

TEST(RtsFormat, FieldsAndContainerSizes) {
  EXPECT_EQ(KV_Rts::strideOf(0x000E1206), 6u);
  EXPECT_EQ(KV_Rts::bitsOf(0x000E1206), 18u);
  EXPECT_EQ(KV_Rts::paddingOf(0x000E1206), 14u);
  EXPECT_FALSE(KV_Rts::isFloat(0x000E1206));
  EXPECT_TRUE(KV_Rts::isFloat(F64));
  EXPECT_EQ(KV_Rts::containerOf(I8), 1u);
  EXPECT_EQ(KV_Rts::containerOf(I16), 2u);
  EXPECT_EQ(KV_Rts::containerOf(I24), 3u);
  EXPECT_EQ(KV_Rts::containerOf(I32), 4u);
  EXPECT_EQ(KV_Rts::containerOf(I18in32), 4u);
  EXPECT_EQ(KV_Rts::containerOf(F32), 0u);
  // The stride of an interleaved buffer is the frame size, not the container.
  EXPECT_EQ(KV_Rts::containerOf(KV_Rts::format(12, 24)), 3u);
  EXPECT_EQ(KV_Rts::format(0x1FF, 0x1FF, 0x1FF), 0x00FFFFFFu);  // each field keeps to its byte
}

// ---- mode texts ----

std::string text(int32_t rate, int32_t bits, int32_t frames, int32_t channels) {
  return Mode(rate, bits, frames, channels).text;
}

TEST(RtsMode, TextsOfTheCommonRates) {
  EXPECT_EQ(text(44100, 16, 441, 2), " 44.1 kHz, 16 bit, stereo");
  EXPECT_EQ(text(48000, 24, 480, 2), " 48.0 kHz, 24 bit, stereo");
  EXPECT_EQ(text(96000, 32, 960, 2), " 96.0 kHz, 32 bit, stereo");
  EXPECT_EQ(text(192000, 32, 1920, 2), "192.0 kHz, 32 bit, stereo");
  EXPECT_EQ(text(88200, 16, 882, 2), " 88.2 kHz, 16 bit, stereo");
  EXPECT_EQ(text(176400, 24, 1764, 2), "176.4 kHz, 24 bit, stereo");
  EXPECT_EQ(text(32000, 16, 320, 2), " 32.0 kHz, 16 bit, stereo");
  EXPECT_EQ(text(22050, 16, 220, 2), " 22.1 kHz, 16 bit, stereo");
  EXPECT_EQ(text(11025, 8, 110, 2), " 11.0 kHz, 8 bit, stereo");
  EXPECT_EQ(text(8000, 8, 80, 2), "  8.0 kHz, 8 bit, stereo");
}

TEST(RtsMode, ChannelWordsAndCounts) {
  EXPECT_EQ(text(48000, 16, 480, 0), " 48.0 kHz, 16 bit, ");  // the word for no channel is empty
  EXPECT_EQ(text(48000, 16, 480, 1), " 48.0 kHz, 16 bit, mono");
  EXPECT_EQ(text(48000, 16, 480, 3), " 48.0 kHz, 16 bit, trio");
  EXPECT_EQ(text(48000, 16, 480, 4), " 48.0 kHz, 16 bit, quadro");
  EXPECT_EQ(text(48000, 16, 480, 5), " 48.0 kHz, 16 bit, 5 ch");
  EXPECT_EQ(text(48000, 16, 480, 16), " 48.0 kHz, 16 bit, 16 ch");
}

TEST(RtsMode, AbsentPartsAndTheirSeparators) {
  EXPECT_EQ(text(44100, 16, 0, 2), " 44.1 kHz, 16 bit");  // no frames: no channel part
  EXPECT_EQ(text(0, 16, 441, 2), "16 bit, stereo");
  EXPECT_EQ(text(44100, 0, 441, 4), " 44.1 kHz, quadro");
  EXPECT_EQ(text(0, 0, 441, 6), "6 ch");
  EXPECT_EQ(text(44100, 0, 0, 2), " 44.1 kHz");
  EXPECT_EQ(text(0, 0, 0, 2), "");
}

TEST(RtsMode, StoresItsNumbersAndIsAnUnlinkedItem) {
  Mode m(44100, 16, 441, 2);  // construction order: rate, bits, frames, channels
  EXPECT_EQ(m.rate, 44100);
  EXPECT_EQ(m.bits, 16);
  EXPECT_EQ(m.frames, 441);
  EXPECT_EQ(m.channels, 2);
  EXPECT_EQ(m.owner, nullptr);
  EXPECT_EQ(m.chain, nullptr);
  Mode wide(2147483647, -2147483647 - 1, 1, -2147483647 - 1);  // the longest text still fits
  EXPECT_STREQ(wide.text, "2147483.6 kHz, -2147483648 bit, -2147483648 ch");
}

// ---- channels ----

TEST(RtsChan, NameDefaultsAndTruncation) {
  Chan plain;
  EXPECT_STREQ(plain.name, "");
  EXPECT_EQ(plain.data, nullptr);
  EXPECT_EQ(plain.length, 0);
  EXPECT_EQ(plain.format, 0u);
  EXPECT_EQ(plain.owner, nullptr);
  Chan left("Left front", I16, 441);
  EXPECT_STREQ(left.name, "Left front");
  EXPECT_EQ(left.length, 441);
  EXPECT_EQ(left.format, I16);
  const std::string longName(100, 'x');
  Chan cut(longName.c_str());
  EXPECT_EQ(std::string(cut.name), longName.substr(0, 63));
}

// A back end's own channel record, like the ASIO one with its driver channel index.
struct IndexedChan : Chan {
  static int released;
  int32_t index;
  IndexedChan(const char* name, int32_t i) : Chan(name, I32, 4), index(i) {}
  ~IndexedChan() override { ++released; }
};
int IndexedChan::released = 0;

// The base alone, as a back end that adds nothing.
struct PlainRts : KV_Rts {
  explicit PlainRts(const char* name = nullptr) : KV_Rts(name) {}
};

TEST(RtsChan, ExtendedChannelsAreReleasedThroughTheBase) {
  IndexedChan::released = 0;
  PlainRts rts;
  rts.inputs.insert(new IndexedChan("in 3", 3));
  rts.outputs.insert(new IndexedChan("out 7", 7));
  rts.outputs.insert(new IndexedChan("out 8", 8));
  EXPECT_EQ(rts.free(), KV_OK);
  EXPECT_EQ(IndexedChan::released, 2);
  EXPECT_EQ(rts.exit(), KV_OK);
  EXPECT_EQ(IndexedChan::released, 3);
}

// ---- the base operations ----

TEST(RtsBase, Construction) {
  PlainRts unnamed;
  EXPECT_STREQ(unnamed.name, "");
  EXPECT_EQ(unnamed.currentMode(), nullptr);
  EXPECT_FALSE(unnamed.running);
  EXPECT_EQ(unnamed.modes.count, 0);
  EXPECT_EQ(unnamed.inputs.count, 0);
  EXPECT_EQ(unnamed.outputs.count, 0);
  PlainRts named("Windows");
  EXPECT_STREQ(named.name, "Windows");
  const std::string driver = "ASIO driver with a name that runs on well past sixty-three characters";
  PlainRts cut(driver.c_str());
  EXPECT_EQ(std::string(cut.name), driver.substr(0, 63));
}

TEST(RtsBase, TheSevenOperations) {
  PlainRts rts("base");
  KV_Rts& r = rts;
  auto* a = new Mode(48000, 24, 480, 2);
  auto* b = new Mode(44100, 16, 441, 2);
  r.modes.insert(a);
  r.modes.insert(b);
  r.inputs.insert(new Chan("Left"));
  r.inputs.insert(new Chan("Right"));

  EXPECT_EQ(r.init(), KV_OK);  // the base finds nothing and changes nothing
  EXPECT_EQ(r.modes.count, 2);
  EXPECT_EQ(r.mode(b), KV_OK);
  EXPECT_EQ(r.currentMode(), b);
  r.outputs.insert(new Chan("Left front"));
  r.outputs.insert(new Chan("Right front"));
  EXPECT_EQ(r.start(), KV_OK);
  EXPECT_TRUE(r.running);
  EXPECT_EQ(r.reserved(), KV_OK);
  EXPECT_TRUE(r.running);
  EXPECT_EQ(r.currentMode(), b);
  EXPECT_EQ(r.stop(), KV_OK);
  EXPECT_FALSE(r.running);

  EXPECT_EQ(r.free(), KV_OK);  // closes: no mode, no outputs; modes and inputs stay
  EXPECT_EQ(r.currentMode(), nullptr);
  EXPECT_EQ(r.outputs.count, 0);
  EXPECT_TRUE(r.outputs.isEnd(r.outputs.first()));
  EXPECT_EQ(r.modes.count, 2);
  EXPECT_EQ(r.inputs.count, 2);

  EXPECT_EQ(r.mode(a), KV_OK);
  r.outputs.insert(new Chan("Left front"));
  EXPECT_EQ(r.exit(), KV_OK);  // everything goes, and the released mode is no longer current
  EXPECT_EQ(r.modes.count, 0);
  EXPECT_EQ(r.inputs.count, 0);
  EXPECT_EQ(r.outputs.count, 0);
  EXPECT_EQ(r.currentMode(), nullptr);
  EXPECT_EQ(r.exit(), KV_OK);  // nothing left to release
}

TEST(RtsBase, ExitKeepsAModeItDidNotRelease) {
  PlainRts rts;
  Mode outside(44100, 16, 441, 2);  // a mode that is not in the chain
  rts.modes.insert(new Mode(48000, 16, 480, 2));
  EXPECT_EQ(KV_OK, rts.mode(&outside));
  EXPECT_EQ(KV_OK, rts.exit());
  EXPECT_EQ(rts.currentMode(), &outside);
}

TEST(RtsBase, WalkVisitsMembersInChainOrder) {
  PlainRts rts;
  for (int32_t rate : {48000, 96000, 192000, 44100}) rts.modes.insert(new Mode(rate, 32, rate / 100, 2));
  std::vector<int32_t> seen;
  KV_Rts::walk<Mode>(rts.modes, [&](Mode* m) { seen.push_back(m->rate); });
  EXPECT_EQ(seen, (std::vector<int32_t>{48000, 96000, 192000, 44100}));
  EXPECT_EQ(KV_OK, rts.exit());
}

// ---- copyBuffer: integer containers ----

// Each integer format against full-scale 32 bits, both ways: {container value, 32-bit value}.
struct IntCase {
  uint32_t format;
  std::vector<std::pair<int64_t, int32_t>> pairs;
};

int32_t toFull(uint32_t f, int64_t container) {
  uint8_t in[4] = {};
  for (uint32_t i = 0; i < KV_Rts::containerOf(f); ++i) in[i] = static_cast<uint8_t>(static_cast<uint64_t>(container) >> (8 * i));
  int32_t out = 0;
  EXPECT_EQ(copy(&out, I32, in, f, 1), KV_OK);
  return out;
}

int64_t fromFull(uint32_t f, int32_t v) {
  uint8_t out[4] = {};
  EXPECT_EQ(copy(out, f, &v, I32, 1), KV_OK);
  const uint32_t size = KV_Rts::containerOf(f);
  uint32_t u = 0;
  for (uint32_t i = 0; i < size; ++i) u |= uint32_t{out[i]} << (8 * i);
  const uint32_t unused = 32 - 8 * size;
  return static_cast<int32_t>(u << unused) >> unused;  // the container read as signed
}

TEST(RtsCopy, EveryIntegerContainerBothWays) {
  const std::vector<IntCase> cases = {
      {I8, {{127, 0x7F000000}, {-128, INT32_MIN}, {1, 0x01000000}, {-1, -0x01000000}, {0, 0}}},
      {I16, {{0x7FFF, 0x7FFF0000}, {-32768, INT32_MIN}, {0x4000, 0x40000000}, {-1, -0x10000}, {1, 0x10000}}},
      {I24, {{0x7FFFFF, 0x7FFFFF00}, {-0x800000, INT32_MIN}, {128, 0x8000}, {-1, -0x100}}},
      {I32, {{INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN}, {-1, -1}, {0x12345678, 0x12345678}}},
      {I16in32, {{0x7FFF, 0x7FFF0000}, {-32768, INT32_MIN}, {-1, -0x10000}}},
      {I18in32, {{0x1FFFF, 0x7FFFC000}, {-0x20000, INT32_MIN}, {1, 0x4000}, {-1, -0x4000}}},
      {I20in32, {{0x7FFFF, 0x7FFFF000}, {-0x80000, INT32_MIN}, {1, 0x1000}}},
      {I24in32, {{0x7FFFFF, 0x7FFFFF00}, {-0x800000, INT32_MIN}, {-2, -0x200}}},
      {PIPE, {{(1 << 30) - 1, 0x7FFFFFFE}, {-(1 << 30), INT32_MIN}, {1 << 29, 0x40000000}}},
  };
  for (const IntCase& c : cases)
    for (auto [container, full] : c.pairs) {
      EXPECT_EQ(toFull(c.format, container), full) << std::hex << c.format << " " << container;
      EXPECT_EQ(fromFull(c.format, full), container) << std::hex << c.format << " " << full;
    }
}

TEST(RtsCopy, ThreeByteContainersTakeOnlyTheTopByteAsSigned) {
  const std::vector<uint8_t> in = {0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80};
  int32_t out[4] = {};
  ASSERT_EQ(copy(out, KV_Rts::format(4, 24, 8), in.data(), I24, 4), KV_OK);
  EXPECT_EQ(out[0], 128);
  EXPECT_EQ(out[1], 0x8000);
  EXPECT_EQ(out[2], -1);
  EXPECT_EQ(out[3], -0x800000);
}

TEST(RtsCopy, PaddingAboveTheSignificantBitsIsIgnored) {
  EXPECT_EQ(toFull(I24in32, 0x12800000), INT32_MIN);  // garbage above bit 23
  EXPECT_EQ(toFull(I16in32, 0xABCD0001), 0x10000);
  EXPECT_EQ(toFull(I24in32, 0xFF000005), 0x500);
}

TEST(RtsCopy, IntegerToIntegerKeepsTheBitsThatFitWithoutClamping) {
  // Narrowing drops the low bits (an arithmetic shift: toward minus infinity).
  EXPECT_EQ(one<int16_t>(I16, int32_t{-1}, I32), -1);
  EXPECT_EQ(one<int16_t>(I16, int32_t{0xFFFF}, I32), 0);
  EXPECT_EQ(one<int16_t>(I16, int32_t{INT32_MIN}, I32), -32768);
  EXPECT_EQ(one<int16_t>(I16, int32_t{INT32_MAX}, I32), 32767);
  EXPECT_EQ(one<int8_t>(I8, int16_t{-129}, I16), -1);
  // Widening appends zeros.
  EXPECT_EQ(one<int32_t>(I32, int16_t{-32768}, I16), INT32_MIN);
  // A pipe sample beyond its 31 bits wraps: nothing on this path clamps.
  EXPECT_EQ(one<int32_t>(I32, int32_t{0x60000000}, PIPE), static_cast<int32_t>(0xC0000000u));
  EXPECT_EQ(one<int16_t>(I16, int32_t{1 << 30}, PIPE), -32768);
}

TEST(RtsCopy, RoundTripsOfEveryIntegerFormat) {
  std::vector<int8_t> all8(256), back8(256);
  for (int i = 0; i < 256; ++i) all8[static_cast<size_t>(i)] = static_cast<int8_t>(i - 128);
  std::vector<int16_t> all16(65536), back16(65536);
  for (int i = 0; i < 65536; ++i) all16[static_cast<size_t>(i)] = static_cast<int16_t>(i - 32768);

  for (uint32_t wide : {I16, I24, I32, I16in32, I24in32, PIPE}) {
    std::vector<uint8_t> mid(256 * 4);
    ASSERT_EQ(copy(mid.data(), wide, all8.data(), I8, 256), KV_OK);
    ASSERT_EQ(copy(back8.data(), I8, mid.data(), wide, 256), KV_OK);
    EXPECT_EQ(back8, all8) << std::hex << wide;
  }
  // Through float the truncation may cost one step, never more, and never a step up.
  for (uint32_t wide : {F32, F64}) {
    std::vector<uint8_t> mid(256 * 8);
    ASSERT_EQ(copy(mid.data(), wide, all8.data(), I8, 256), KV_OK);
    ASSERT_EQ(copy(back8.data(), I8, mid.data(), wide, 256), KV_OK);
    for (size_t i = 0; i < 256; ++i) {
      const int lost = all8[i] - back8[i];
      EXPECT_TRUE(lost == 0 || lost == 1) << std::hex << wide << " " << int{all8[i]} << " " << int{back8[i]};
    }
  }
  for (uint32_t wide : {I16, I24, I32, I16in32, I18in32, I20in32, I24in32, PIPE}) {
    std::vector<uint8_t> mid(65536 * 4);
    ASSERT_EQ(copy(mid.data(), wide, all16.data(), I16, 65536), KV_OK);
    ASSERT_EQ(copy(back16.data(), I16, mid.data(), wide, 65536), KV_OK);
    EXPECT_EQ(back16, all16) << std::hex << wide;
  }
  std::vector<int32_t> samples32;
  for (int64_t v = INT32_MIN; v <= INT32_MAX; v += 65537 * 251) samples32.push_back(static_cast<int32_t>(v));
  samples32.push_back(INT32_MAX);
  std::vector<int32_t> same(samples32.size());
  ASSERT_EQ(copy(same.data(), I32, samples32.data(), I32, static_cast<int32_t>(samples32.size())), KV_OK);
  EXPECT_EQ(same, samples32);
  std::vector<uint8_t> in24 = bytes24({0, 1, -1, 0x7FFFFF, -0x800000, 0x123456, -0x654321});
  for (uint32_t wide : {I32, I24in32, PIPE}) {
    std::vector<int32_t> mid(7);
    std::vector<uint8_t> back24(in24.size());
    ASSERT_EQ(copy(mid.data(), wide, in24.data(), I24, 7), KV_OK);
    ASSERT_EQ(copy(back24.data(), I24, mid.data(), wide, 7), KV_OK);
    EXPECT_EQ(back24, in24) << std::hex << wide;
  }
}

// ---- copyBuffer: the float path ----

TEST(RtsCopyFloat, IntegerToFloatScalesByFullScale) {
  EXPECT_NEAR(one<float>(F32, int16_t{0x4000}, I16), 0.5f, 1.0 / 32768);
  EXPECT_FLOAT_EQ(one<float>(F32, int16_t{0x7FFF}, I16), static_cast<float>(0x7FFF0000 / 2147483647.0));
  EXPECT_EQ(one<float>(F32, int32_t{INT32_MAX}, I32), 1.0f);
  EXPECT_EQ(one<float>(F32, int32_t{0}, I32), 0.0f);
  EXPECT_DOUBLE_EQ(one<double>(F64, int32_t{0x40000000}, I32), 1073741824.0 / 2147483647.0);
  EXPECT_DOUBLE_EQ(one<double>(F64, int16_t{-1}, I16), -65536.0 / 2147483647.0);
  EXPECT_EQ(one<float>(F32, int8_t{-128}, I8), -1.0f);
  const std::vector<uint8_t> in = bytes24({-0x400000});
  double x = 0;
  ASSERT_EQ(copy(&x, F64, in.data(), I24, 1), KV_OK);
  EXPECT_DOUBLE_EQ(x, -0.5 * 2147483648.0 / 2147483647.0);
}

TEST(RtsCopyFloat, ClampsAtFullScaleAndBeyond) {
  // The one 32-bit value beyond full scale: -2^31 / (2^31 - 1) is clamped to -1.
  EXPECT_EQ(one<double>(F64, int32_t{INT32_MIN}, I32), -1.0);
  EXPECT_EQ(one<double>(F64, int16_t{-32768}, I16), -1.0);
  EXPECT_EQ(one<int16_t>(I16, 1.5f, F32), 32767);
  EXPECT_EQ(one<int16_t>(I16, -1.5f, F32), -32768);
  EXPECT_EQ(one<int16_t>(I16, 1.0f, F32), 32767);
  EXPECT_EQ(one<int16_t>(I16, -1.0f, F32), -32768);
  EXPECT_EQ(one<int32_t>(I32, 1.0f, F32), INT32_MAX);
  EXPECT_EQ(one<int32_t>(I32, -1.0f, F32), -INT32_MAX);  // full scale is symmetric
  EXPECT_EQ(one<int32_t>(I32, 1e30f, F32), INT32_MAX);
  EXPECT_EQ(one<int32_t>(I32, -std::numeric_limits<float>::infinity(), F32), -INT32_MAX);
  EXPECT_EQ(one<int32_t>(I32, std::numeric_limits<double>::infinity(), F64), INT32_MAX);
  EXPECT_EQ(one<int8_t>(I8, 3.0f, F32), 127);
  EXPECT_EQ(one<int8_t>(I8, -3.0f, F32), -128);
  EXPECT_EQ(one<int32_t>(PIPE, 2.0f, F32), (1 << 30) - 1);
  EXPECT_EQ(one<float>(F32, 1.5f, F32), 1.0f);
  EXPECT_EQ(one<float>(F32, -7.0f, F32), -1.0f);
  EXPECT_EQ(one<double>(F64, 1.0000001, F64), 1.0);
  EXPECT_EQ(one<float>(F32, 0.25f, F32), 0.25f);
  const std::vector<uint8_t> top = {0xFF, 0xFF, 0x7F}, bottom = {0x00, 0x00, 0x80};
  uint8_t out[3];
  float x = 1.25f;
  ASSERT_EQ(copy(out, I24, &x, F32, 1), KV_OK);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), top);
  x = -1.25f;
  ASSERT_EQ(copy(out, I24, &x, F32, 1), KV_OK);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), bottom);
}

TEST(RtsCopyFloat, NotANumberReadsAsSilence) {
  EXPECT_EQ(one<int16_t>(I16, std::numeric_limits<float>::quiet_NaN(), F32), 0);
  EXPECT_EQ(one<float>(F32, std::numeric_limits<float>::quiet_NaN(), F32), 0.0f);
  EXPECT_EQ(one<int32_t>(I32, std::numeric_limits<double>::quiet_NaN(), F64), 0);
}

TEST(RtsCopyFloat, FloatToIntegerTruncatesThenShifts) {
  // v = x * (2^31 - 1) in double precision, truncated toward zero; then an arithmetic shift.
  EXPECT_EQ(one<int32_t>(I32, 0.5f, F32), 1073741823);
  EXPECT_EQ(one<int32_t>(I32, -0.5f, F32), -1073741823);
  EXPECT_EQ(one<int32_t>(I32, 0.75f, F32), 1610612735);  // 1610612735.25: not float precision
  EXPECT_EQ(one<int32_t>(I32, 1e-10f, F32), 0);
  EXPECT_EQ(one<int32_t>(I32, -1e-10f, F32), 0);  // -0.21 truncates to 0, not -1
  EXPECT_EQ(one<int16_t>(I16, 0.5f, F32), 16383);  // one step below 0x4000
  EXPECT_EQ(one<int16_t>(I16, -0.5f, F32), -16384);
  EXPECT_EQ(one<int16_t>(I16, 1e-5f, F32), 0);
  EXPECT_EQ(one<int16_t>(I16, -1e-5f, F32), -1);  // the shift floors
  EXPECT_EQ(one<int16_t>(I16, static_cast<float>(1.0 / 32768), F32), 0);  // 65535.99...: below 1
  EXPECT_EQ(one<int32_t>(PIPE, 0.5f, F32), 536870911);
  // So an integer through float comes back one step low when its float is exact.
  const float half = one<float>(F32, int16_t{0x4000}, I16);
  EXPECT_EQ(one<int16_t>(I16, half, F32), 0x3FFF);
}

TEST(RtsCopyFloat, SixtyFourBitFloatsAreDoubles) {
  EXPECT_EQ(one<double>(F64, 0.1, F64), 0.1);
  EXPECT_EQ(one<double>(F64, 0.1f, F32), static_cast<double>(0.1f));
  EXPECT_EQ(one<float>(F32, 0.1, F64), 0.1f);
  EXPECT_EQ(one<int32_t>(I32, 0.5, F64), 1073741823);
  EXPECT_EQ(one<int16_t>(I16, -0.25, F64), -8192);
  EXPECT_EQ(one<double>(F64, -2.0, F64), -1.0);
}

// ---- copyBuffer: layout ----

TEST(RtsCopyLayout, InterleavedChannelsReadAndWriteOnlyTheirOwnSamples) {
  // 16-bit stereo frames: {L, R} pairs, each channel striding over the frame.
  const int16_t frames[] = {100, -100, 200, -200, 300, -300};
  int16_t right[3] = {};
  Chan src("Right", KV_Rts::format(4, 16), 3), dst("mono", I16, 3);
  src.data = const_cast<int16_t*>(frames) + 1;
  dst.data = right;
  ASSERT_EQ(KV_Rts::copyBuffer(&dst, &src), KV_OK);
  EXPECT_EQ(std::vector<int16_t>(right, right + 3), (std::vector<int16_t>{-100, -200, -300}));

  // Into the third of four 24-bit channels: 3 bytes written per 12-byte frame, nothing else.
  std::vector<uint8_t> device(12 * 3 + 1, 0xEE);
  const int32_t in[3] = {0x01020300, -0x100, INT32_MIN};
  Chan third("Left back", KV_Rts::format(12, 24), 3), from("pipe", I32, 3);
  third.data = device.data() + 6;
  from.data = const_cast<int32_t*>(in);
  ASSERT_EQ(KV_Rts::copyBuffer(&third, &from), KV_OK);
  for (size_t i = 0; i < device.size(); ++i) {
    const size_t f = i % 12;
    if (i < 36 && f >= 6 && f < 9) continue;
    EXPECT_EQ(device[i], 0xEE) << i;
  }
  EXPECT_EQ(read24(&device[6]), 0x010203);
  EXPECT_EQ(read24(&device[18]), -1);
  EXPECT_EQ(read24(&device[30]), -0x800000);
}

TEST(RtsCopyLayout, UnalignedSamplesAndTheBlockLength) {
  // Floats at odd addresses, 5 bytes apart.
  std::vector<uint8_t> odd(1 + 5 * 4, 0);
  const float values[4] = {0.25f, -0.5f, 2.0f, 0.125f};
  for (int i = 0; i < 4; ++i) std::memcpy(&odd[1 + 5 * static_cast<size_t>(i)], &values[i], 4);
  std::vector<float> out(5, 9.0f);
  Chan src("odd", KV_Rts::format(5, 32, 0, true), 4), dst("out", F32, 4);
  src.data = odd.data() + 1;
  dst.data = out.data();
  ASSERT_EQ(KV_Rts::copyBuffer(&dst, &src), KV_OK);
  EXPECT_EQ(out, (std::vector<float>{0.25f, -0.5f, 1.0f, 0.125f, 9.0f}));  // the fifth is not touched
  std::vector<uint8_t> back(1 + 5 * 4, 0xAB);
  Chan odd2("odd", KV_Rts::format(5, 32, 0, true), 4);
  odd2.data = back.data() + 1;
  ASSERT_EQ(KV_Rts::copyBuffer(&odd2, &dst), KV_OK);
  float f;
  std::memcpy(&f, &back[1 + 5 * 2], 4);
  EXPECT_EQ(f, 1.0f);
  EXPECT_EQ(back[0], 0xAB);
  EXPECT_EQ(back[5], 0xAB);
}

TEST(RtsCopyLayout, EmptyBlocksAndTheLimitsOfWhatCanBeRead) {
  Chan a("a", I16, 0), b("b", I16, 0);  // no data, no samples: nothing to do
  EXPECT_EQ(KV_Rts::copyBuffer(&a, &b), KV_OK);
  int32_t x = 5, y = 7;
  EXPECT_EQ(copy(&y, I32, &x, I32, -3), KV_OK);
  EXPECT_EQ(y, 7);
  // Refused without latching: what cannot be read or written.
  EXPECT_EQ(KV_Rts::copyBuffer(nullptr, &b), nullptr);
  EXPECT_EQ(KV_Rts::copyBuffer(&a, nullptr), nullptr);
  EXPECT_EQ(copy(&y, I32, nullptr, I32, 1), nullptr);
  EXPECT_EQ(copy(nullptr, I32, &x, I32, 1), nullptr);
  EXPECT_EQ(copy(&y, I32, &x, KV_Rts::format(5, 40), 1), nullptr);      // a 5-byte container
  EXPECT_EQ(copy(&y, I32, &x, KV_Rts::format(4, 0, 32), 1), nullptr);   // no significant bits
  EXPECT_EQ(copy(&y, KV_Rts::format(1, 12), &x, I32, 1), nullptr);      // 12 bits in one byte
  EXPECT_EQ(copy(&y, I32, &x, (F32 & 0xFFFFFFu) | 0x02000000u, 1), nullptr);  // flag byte 2
  EXPECT_EQ(y, 7);
  EXPECT_FALSE(KV_Rts::refusing());
  EXPECT_EQ(copy(&y, I32, &x, I32, 1), KV_OK);
  EXPECT_EQ(y, 5);
}

// ---- the refusal latch (in a child process: the latch lasts as long as the process) ----

// Runs in the child: a good copy, then different lengths, then good pairs again.
bool latches() {
  int16_t a[4] = {1, 2, 3, 4}, b[4] = {};
  Chan src("src", I16, 4), dst("dst", I16, 4), shorter("short", I16, 3);
  src.data = a;
  dst.data = b;
  shorter.data = b;
  bool ok = KV_Rts::copyBuffer(&dst, &src) == KV_OK && b[3] == 4 && !KV_Rts::refusing();
  b[0] = b[3] = 0;
  ok = ok && KV_Rts::copyBuffer(&shorter, &src) == nullptr && KV_Rts::refusing() && b[0] == 0;
  ok = ok && KV_Rts::copyBuffer(&dst, &src) == nullptr && b[3] == 0;  // a good pair is refused too
  dst.length = src.length = 0;
  ok = ok && KV_Rts::copyBuffer(&dst, &src) == nullptr && KV_Rts::refusing();
  std::fprintf(stderr, ok ? "latched\n" : "not latched\n");
  std::fflush(stderr);
  return ok;
}

TEST(RtsRefusalDeathTest, DifferentLengthsRefuseForTheRestOfTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(latches() ? 0 : 1), testing::ExitedWithCode(0), "latched");
  EXPECT_FALSE(KV_Rts::refusing());  // the child's latch is not this process's
}

// ---- registration ----

TEST(RtsInstances, OnceOnlyInitialisationKeepsMembers) {
  KV_Chain chain;
  bool ready = false;
  KV_Rts_initChain(chain, ready);
  EXPECT_TRUE(ready);
  KV_Chain_Item item(nullptr);
  chain.insert(&item);
  KV_Rts_initChain(chain, ready);  // reached again: the member stays
  EXPECT_EQ(chain.count, 1);
  EXPECT_EQ(chain.first(), &item);
  chain.remove(&item);

  PlainRts rts("probe");
  KV_Chain_Item instance(static_cast<KV_Rts*>(&rts));
  const int32_t before = KV_Rts_instances.count;
  KV_Rts_register(&instance);
  KV_Rts_initInstances();
  KV_Rts_register(&instance);  // already in: not twice
  EXPECT_EQ(KV_Rts_instances.count, before + 1);
  EXPECT_EQ(instance.chain, &KV_Rts_instances);
  EXPECT_EQ(KV_Rts_of(KV_Rts_instances.tail.prev), &rts);
  KV_Rts_instances.remove(&instance);
  EXPECT_EQ(KV_Rts_instances.count, before);
}

// ---- a loopback back end driven through the base ----

// A device that takes 16-bit stereo in and plays 16-bit stereo or quadro out, from a driver
// thread of its own. Its "input" is a known signal; what the callback writes is kept per block.
class KV_Rts_Loop final : public KV_Rts {
 public:
  static KV_Chain classes;  // this back end's class chain, set up once
  static bool classesReady;
  static Callback callback;

  KV_Chain_Item classItem{static_cast<KV_Rts*>(this)};
  KV_Chain_Item instanceItem{static_cast<KV_Rts*>(this)};
  int32_t blocksToRun = 0;  // 0: until the mode is cleared
  std::atomic<int32_t> blocksDone{0};
  std::vector<int16_t> played;  // every output block, channels interleaved, in order

  static KV_error classInit(Callback cb) {
    KV_Rts_initChain(classes, classesReady);
    callback = cb;
    auto* rts = new (std::nothrow) KV_Rts_Loop();
    if (!rts) return KV_ERROR_MEMORY_CANNOT_ALLOCATE;
    classes.insert(&rts->classItem);
    KV_Rts_register(&rts->instanceItem);
    return KV_OK;
  }

  // Leaves both chains and goes; the application's last step.
  void destroy() {
    classes.remove(&classItem);
    KV_Rts_instances.remove(&instanceItem);
    delete this;
  }

  static int16_t inputSample(int32_t block, int32_t frame, int c) {
    return static_cast<int16_t>(c == 0 ? 100 * block + frame : -3 * frame - 7);
  }

  KV_error init() override {
    EXPECT_EQ(KV_OK, KV_Rts::init());
    for (int32_t rate : {48000, 44100}) {
      modes.insert(new Mode(rate, 16, rate / 100, 4));
      modes.insert(new Mode(rate, 16, rate / 100, 2));
    }
    inputs.insert(new Chan("Left"));
    inputs.insert(new Chan("Right"));
    return KV_OK;
  }

  KV_error mode(Mode* m) override {
    EXPECT_EQ(KV_OK, KV_Rts::mode(m));
    frames = m->frames;
    channels = m->channels;
    in.assign(static_cast<size_t>(2 * frames), 0);
    out.assign(static_cast<size_t>(channels * frames), 0);
    walk<Chan>(inputs, [&](Chan* c) {
      c->format = format(4, 16);
      c->length = frames;
    });
    static const char* const names[] = {"Left front", "Right front", "Left back", "Right back"};
    for (int32_t d = 0; d < channels; ++d)
      outputs.insert(new Chan(names[d], format(static_cast<uint32_t>(2 * channels), 16), frames));
    driver = std::thread([this] { run(); });
    return KV_OK;
  }

  KV_error free() override {
    // The driver is quiet before the base releases the channels it writes into.
    current.store(nullptr);
    if (driver.joinable()) driver.join();
    return KV_Rts::free();
  }

 private:
  void run() {
    for (int32_t b = 0; blocksToRun == 0 || b < blocksToRun; ++b) {
      if (!currentMode()) return;
      for (int32_t f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c) in[static_cast<size_t>(2 * f + c)] = inputSample(b, f, c);
      int c = 0;
      walk<Chan>(inputs, [&](Chan* ch) { ch->data = in.data() + c++; });
      int d = 0;
      walk<Chan>(outputs, [&](Chan* ch) { ch->data = out.data() + d++; });
      callback();
      played.insert(played.end(), out.begin(), out.end());
      blocksDone.fetch_add(1);
    }
  }

  int32_t frames = 0, channels = 0;
  std::vector<int16_t> in, out;
  std::thread driver;
};
KV_Chain KV_Rts_Loop::classes;
bool KV_Rts_Loop::classesReady = false;
KV_Rts::Callback KV_Rts_Loop::callback = nullptr;

// The application side: a pipe that sums its two inputs, fed and drained by copyBuffer.
struct Graph {
  KV_Rts* rts = nullptr;
  KV_Soundpipe* pipe = nullptr;
  KV_Buffer *left = nullptr, *right = nullptr, *sum = nullptr;
  std::atomic<int32_t> refused{0};
};
Graph graph;

void blockCallback() {
  KV_Rts* rts = graph.rts;
  const int32_t n = static_cast<Chan*>(rts->inputs.first())->length;
  graph.pipe->blockLength = n;
  KV_Buffer* into[2] = {graph.left, graph.right};
  int c = 0;
  KV_Rts::walk<Chan>(rts->inputs, [&](Chan* ch) {
    Chan view("pipe", PIPE, n);
    view.data = into[c++]->main;
    if (KV_Rts::copyBuffer(&view, ch) != KV_OK) graph.refused.fetch_add(1);
  });
  graph.pipe->process();
  KV_Rts::walk<Chan>(rts->outputs, [&](Chan* ch) {
    Chan view("pipe", PIPE, n);
    view.data = graph.sum->main;
    if (KV_Rts::copyBuffer(ch, &view) != KV_OK) graph.refused.fetch_add(1);
  });
}

class RtsBackend : public EffectTest {
 protected:
  void SetUp() override {
    graph.pipe = makePipe(480);
    graph.left = makeBuffer("left");
    graph.right = makeBuffer("right");
    graph.sum = makeBuffer("sum");
    make("KV_Effect_Oper -i1 %o -i2 %o -o %o -oper add", graph.left, graph.right, graph.sum);
    int32_t ended = 0;  // -e yields its result through a pointer
    ASSERT_EQ(run("%o -e", graph.pipe, &ended), KV_OK);
    ASSERT_EQ(ended, 1);
    graph.refused = 0;
  }

  // The instances of the loopback back end, found through the exported chain.
  static std::vector<KV_Rts_Loop*> loops() {
    std::vector<KV_Rts_Loop*> found;
    for (KV_Chain_Item* it = KV_Rts_instances.first(); !KV_Rts_instances.isEnd(it); it = it->next)
      for (KV_Chain_Item* c = KV_Rts_Loop::classes.first(); !KV_Rts_Loop::classes.isEnd(c); c = c->next)
        if (c->owner == it->owner) found.push_back(static_cast<KV_Rts_Loop*>(KV_Rts_of(it)));
    return found;
  }

  static bool waitFor(const KV_Rts_Loop* rts, int32_t blocks) {
    for (int i = 0; i < 10000 && rts->blocksDone.load() < blocks; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return rts->blocksDone.load() >= blocks;
  }
};

TEST_F(RtsBackend, ClassInitialisationRegistersEachInstance) {
  const int32_t before = KV_Rts_instances.count;
  ASSERT_EQ(KV_Rts_Loop::classInit(blockCallback), KV_OK);
  ASSERT_EQ(KV_Rts_Loop::classInit(blockCallback), KV_OK);  // the class chain is not set up again
  EXPECT_EQ(KV_Rts_instances.count, before + 2);
  EXPECT_EQ(KV_Rts_Loop::classes.count, 2);
  std::vector<KV_Rts_Loop*> found = loops();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_NE(found[0], found[1]);
  for (KV_Rts_Loop* r : found) r->destroy();
  EXPECT_EQ(KV_Rts_instances.count, before);
  EXPECT_EQ(KV_Rts_Loop::classes.count, 0);
}

TEST_F(RtsBackend, RunsAPipeFromTheDriverThreadThroughEveryOperation) {
  ASSERT_EQ(KV_Rts_Loop::classInit(blockCallback), KV_OK);
  std::vector<KV_Rts_Loop*> found = loops();
  ASSERT_EQ(found.size(), 1u);
  KV_Rts& rts = *found[0];  // from here on, only through the base
  graph.rts = &rts;

  ASSERT_EQ(rts.init(), KV_OK);
  std::vector<std::string> texts;
  KV_Rts::walk<Mode>(rts.modes, [&](Mode* m) { texts.push_back(m->text); });
  EXPECT_EQ(texts, (std::vector<std::string>{" 48.0 kHz, 16 bit, quadro", " 48.0 kHz, 16 bit, stereo",
                                             " 44.1 kHz, 16 bit, quadro", " 44.1 kHz, 16 bit, stereo"}));
  ASSERT_EQ(rts.inputs.count, 2);

  // 44.1 kHz stereo: 441 frames, three blocks.
  Mode* stereo = static_cast<Mode*>(rts.modes.tail.prev);
  found[0]->blocksToRun = 3;
  ASSERT_EQ(rts.mode(stereo), KV_OK);
  ASSERT_EQ(rts.start(), KV_OK);
  ASSERT_TRUE(waitFor(found[0], 3));
  EXPECT_TRUE(rts.running);
  EXPECT_EQ(rts.reserved(), KV_OK);
  EXPECT_EQ(rts.stop(), KV_OK);
  EXPECT_EQ(rts.free(), KV_OK);
  EXPECT_EQ(rts.currentMode(), nullptr);
  EXPECT_EQ(rts.outputs.count, 0);
  EXPECT_EQ(graph.refused.load(), 0);
  const std::vector<int16_t>& played = found[0]->played;
  ASSERT_EQ(played.size(), 3u * 441 * 2);
  for (int32_t b = 0; b < 3; ++b)
    for (int32_t f = 0; f < 441; ++f)
      for (int d = 0; d < 2; ++d) {
        const int16_t want = static_cast<int16_t>(KV_Rts_Loop::inputSample(b, f, 0) + KV_Rts_Loop::inputSample(b, f, 1));
        ASSERT_EQ(played[static_cast<size_t>((b * 441 + f) * 2 + d)], want) << b << " " << f << " " << d;
      }

  // 48 kHz quadro, run until closed: free stops the driver and releases the four outputs.
  found[0]->played.clear();
  found[0]->blocksDone = 0;
  found[0]->blocksToRun = 0;
  Mode* quadro = static_cast<Mode*>(rts.modes.first());
  ASSERT_EQ(rts.mode(quadro), KV_OK);
  std::vector<std::string> names;
  KV_Rts::walk<Chan>(rts.outputs, [&](Chan* c) { names.push_back(c->name); });
  EXPECT_EQ(names, (std::vector<std::string>{"Left front", "Right front", "Left back", "Right back"}));
  ASSERT_TRUE(waitFor(found[0], 2));
  EXPECT_EQ(rts.free(), KV_OK);
  const int32_t done = found[0]->blocksDone.load();
  EXPECT_EQ(found[0]->played.size(), static_cast<size_t>(done) * 480 * 4);
  EXPECT_EQ(found[0]->played[480 * 4 + 4 * 5 + 3], KV_Rts_Loop::inputSample(1, 5, 0) + KV_Rts_Loop::inputSample(1, 5, 1));
  EXPECT_EQ(graph.refused.load(), 0);

  EXPECT_EQ(rts.exit(), KV_OK);
  EXPECT_EQ(rts.modes.count, 0);
  EXPECT_EQ(rts.inputs.count, 0);
  found[0]->destroy();
  graph.rts = nullptr;
  EXPECT_FALSE(KV_Rts::refusing());
}

}  // namespace
