// Zero, Copy, Oper and Koef: the operations, their saturations and signs, strides, modes.
#include <climits>

#include "EffectTest.h"
#include "KV/Effect/Arith.h"

namespace {

constexpr int32_t U = 1 << 24;  // the unit of mul and div

class Arith : public EffectTest {
 protected:
  void SetUp() override {
    pipe = makePipe(8);
    a = makeBuffer("a");
    b = makeBuffer("b");
    out = makeBuffer("out");
  }

  // One sample through Oper: a op b written by the mode over o.
  int32_t oper(const char* op, int32_t x, int32_t y, const char* mode = "set", int32_t o = 0) {
    auto* e = make<KV_Effect_Oper>("KV_Effect_Oper -i1 %o -i2 %o -o %o -oper %s -mode %s", a, b, out, op, mode);
    fill(a, std::vector<int32_t>(8, x));
    fill(b, std::vector<int32_t>(8, y));
    fill(out, std::vector<int32_t>(8, o));
    pipe->process();
    remove(e);
    return out->main[7];
  }

  // One sample through Koef with the factor k.
  int32_t koef(const char* op, int32_t x, double k, const char* mode = "set", int32_t o = 0) {
    auto* e = make<KV_Effect_Koef>("KV_Effect_Koef -i %o -o %o -oper %s -k %f -mode %s", a, out, op, k, mode);
    fill(a, std::vector<int32_t>(8, x));
    fill(out, std::vector<int32_t>(8, o));
    pipe->process();
    remove(e);
    return out->main[7];
  }

  void remove(KV_Object* e) {
    EXPECT_EQ(run("%o -delete", e), KV_OK);
    objects.remove(e);
  }

  int32_t koefConstant(double k) {
    auto* e = make<KV_Effect_Koef>("KV_Effect_Koef -k %f", k);
    int32_t K = e->constant;
    remove(e);
    return K;
  }

  KV_Soundpipe* pipe = nullptr;
  KV_Buffer *a = nullptr, *b = nullptr, *out = nullptr;
};

TEST_F(Arith, ZeroClearsTheBlockWhateverTheMode) {
  fill(out, std::vector<int32_t>(8, 42));
  make("KV_Effect_Zero -o %o -mode add", out);
  ASSERT_EQ(run("%o -bl 6", pipe), KV_OK);
  pipe->process();
  EXPECT_EQ(contents(out, 8), (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 42, 42}));
  make("KV_Effect_Zero");  // no buffer: nothing to clear, nothing touched
  pipe->process();
}

TEST_F(Arith, OperAddSaturatesSubWraps) {
  const int32_t big = (1 << 30) + (1 << 29);
  EXPECT_EQ(oper("add", big, big), INT32_MAX);
  EXPECT_EQ(oper("add", -big, -big), INT32_MIN);
  EXPECT_EQ(oper("add", INT32_MIN, -1), INT32_MIN);
  EXPECT_EQ(oper("add", 5, -7), -2);
  EXPECT_EQ(oper("sub", INT32_MIN, 1), INT32_MAX);
  EXPECT_EQ(oper("sub", INT32_MAX, -1), INT32_MIN);
}

TEST_F(Arith, MulTakesBits24To55AndSaturates) {
  for (int32_t y : {0, 1, -1, 123456789, -987654321, INT32_MAX, INT32_MIN}) EXPECT_EQ(oper("mul", U, y), y) << y;
  EXPECT_EQ(oper("mul", -1, 1), -1);  // a floor, not a truncation
  EXPECT_EQ(oper("mul", 1 << 27, (1 << 28) - 1), INT32_MAX - 7);
  EXPECT_EQ(oper("mul", 1 << 27, 1 << 28), INT32_MAX);
  EXPECT_EQ(oper("mul", -(1 << 27), 1 << 28), INT32_MIN);
  EXPECT_EQ(oper("mul", -(1 << 27), (1 << 28) + 1), INT32_MIN);
  EXPECT_EQ(oper("mul", INT32_MIN, INT32_MIN), INT32_MAX);
  EXPECT_EQ(oper("mul", INT32_MIN, INT32_MAX), INT32_MIN);
}

TEST_F(Arith, OperDivSignAndSaturation) {
  EXPECT_EQ(oper("div", 0, 0), U);
  EXPECT_EQ(oper("div", 3 * U - 1, U - 1), 3 * U);
  EXPECT_EQ(oper("div", -(3 * U - 1), U - 1), -3 * U);
  EXPECT_EQ(oper("div", -(3 * U - 1), -(U - 1)), 3 * U);
  EXPECT_EQ(oper("div", 0, -1), -(U / 2));  // a zero dividend counts as positive
  EXPECT_EQ(oper("div", INT32_MIN, INT32_MIN), U);
  // The quotient reaching 2^31 saturates.
  EXPECT_EQ(oper("div", 126, 0), 127 * U);
  EXPECT_EQ(oper("div", 127, 0), INT32_MAX);
  EXPECT_EQ(oper("div", -126, 0), -127 * U);
  EXPECT_EQ(oper("div", -127, 0), INT32_MIN);
  EXPECT_EQ(oper("div", 254, 1), 255 * (U / 2));
  EXPECT_EQ(oper("div", 255, 1), INT32_MAX);
  EXPECT_EQ(oper("div", INT32_MAX, 0), INT32_MAX);
}

TEST_F(Arith, KoefConstantInExtendedPrecision) {
  EXPECT_EQ(koefConstant(1), 16909320);
  EXPECT_EQ(koefConstant(0.5), 8454660);
  EXPECT_EQ(koefConstant(0.3), 5072796);
  EXPECT_EQ(koefConstant(-0.7), -11836523);
  EXPECT_EQ(koefConstant(-1.5), -25363980);
  EXPECT_EQ(koefConstant(126.99), 2147314518);
  EXPECT_EQ(koefConstant(0.9921875), U);
  // Beyond 32 bits the constant saturates.
  EXPECT_EQ(koefConstant(127), INT32_MAX);
  EXPECT_EQ(koefConstant(1e9), INT32_MAX);
  EXPECT_EQ(koefConstant(-127), INT32_MIN);
  EXPECT_EQ(koefConstant(-1e30), INT32_MIN);
  // An integer factor, and the answer being K.
  auto* e = make<KV_Effect_Koef>("KV_Effect_Koef -k 2");
  int32_t K = 0;
  EXPECT_EQ(run("%o -k", e, &K), KV_OK);
  EXPECT_EQ(K, 33818640);
  EXPECT_EQ(run("%o -k abc -k", e, &K), KV_OK);  // text is no factor
  EXPECT_EQ(K, 33818640);
}

TEST_F(Arith, KoefOperations) {
  // k = 1 multiplies by 128/127, floored twice.
  EXPECT_EQ(koef("mul", 127 << 17, 1), 127 * 16909320 / 128);
  EXPECT_EQ(koef("mul", INT32_MAX, 126.99), INT32_MAX);
  EXPECT_EQ(koef("mul", INT32_MIN, 126.99), INT32_MIN);
  // add wraps where Oper's add saturates.
  EXPECT_EQ(koef("add", 0x60000000, 126.99), -537040042);
  EXPECT_EQ(koef("sub", INT32_MIN, 0.001), static_cast<int32_t>(0x80000000u - 16909u));
  // The div sign: negative when exactly one of x and K is zero or negative.
  EXPECT_EQ(koef("div", 0, 0.001), -(U / 16910));
  EXPECT_EQ(koef("div", 3 * U, 0.9921875), 50331646);
  EXPECT_EQ(koef("div", -3 * U, 0.9921875), -50331646);
  EXPECT_EQ(koef("div", -3 * U, -0.9921875), 50331646);
  EXPECT_EQ(koef("div", U - 1, 0), INT32_MIN);  // K = 0 is negative, and the quotient saturates
}

// Eight different samples through Koef's multiplication, added onto eight different ones, in
// every form of its loop: each lane is the scalar product, saturated, then wrapped by the mode.
TEST_F(Arith, KoefMulInEveryLoopForm) {
  const std::vector<int32_t> x{INT32_MAX, INT32_MIN, -(127 << 17) - 1, 127 << 17, 3, -3, 1 << 30, -(1 << 29)};
  const std::vector<int32_t> o{INT32_MAX, -1, 0, 7, INT32_MIN, 1, -100, 100};
  for (double factor : {126.99, -0.7}) {
    const int32_t K = koefConstant(factor);
    forEachLoopForm([&] {
      auto* e = make<KV_Effect_Koef>("KV_Effect_Koef -i %o -o %o -oper mul -k %f -mode add", a, out, factor);
      fill(a, x);
      fill(out, o);
      pipe->process();
      for (size_t i = 0; i < x.size(); ++i)
        EXPECT_EQ(out->main[i], static_cast<int32_t>(static_cast<uint32_t>(o[i]) + static_cast<uint32_t>(KV_mul24(x[i], K))))
            << "factor " << factor << ", sample " << i;
      remove(e);
    });
  }
}

TEST_F(Arith, EveryOperationAndModeHasItsLoop) {
  const int32_t o = 5;
  const char* ops[] = {"add", "sub", "mul", "div"};
  const char* modes[] = {"set", "add", "sub", "stn", "adn", "sbn"};
  // 3 op 2 and 3 op 1 in units of 2^24.
  const int32_t operR[] = {5 * U, U, 6 * U, 25165823};
  const int32_t koefR[] = {4 * U, 2 * U, 3 * U, 50331646};
  for (int op = 0; op < 4; ++op)
    for (int m = 0; m < KV_MODES; ++m) {
      for (int which = 0; which < 2; ++which) {
        int32_t r = which ? koefR[op] : operR[op];
        int32_t want[] = {r, o + r, o - r, -r, -(o + r), r - o};
        int32_t got = which ? koef(ops[op], 3 * U, 0.9921875, modes[m], o) : oper(ops[op], 3 * U, 2 * U, modes[m], o);
        EXPECT_EQ(got, want[m]) << (which ? "Koef " : "Oper ") << ops[op] << " " << modes[m];
      }
    }
}

TEST_F(Arith, OperationWords) {
  auto* e = make<KV_Effect_Oper>("KV_Effect_Oper -oper mul");
  EXPECT_EQ(e->operation, KV_ARITH_MUL);
  const char* word = nullptr;
  EXPECT_EQ(run("%o -oper Mul -oper", e, &word), KV_OK);  // case-sensitive: kept
  EXPECT_STREQ(word, "mul");
  EXPECT_EQ(run("%o -oper div -oper", e, &word), KV_OK);
  EXPECT_STREQ(word, "div");
  auto* k = make<KV_Effect_Koef>("KV_Effect_Koef -oper sub -oper xyz");
  EXPECT_EQ(k->operation, KV_ARITH_SUB);
}

TEST_F(Arith, ShortOrMissingBuffersAreNotTouched) {
  KV_Buffer* shortB = makeBuffer("short");
  ASSERT_EQ(run("%o -l 4", shortB), KV_OK);
  fill(a, std::vector<int32_t>(8, 3));
  fill(b, std::vector<int32_t>(8, 4));
  fill(out, std::vector<int32_t>(8, 9));
  fill(shortB, {1, 2, 3, 4});
  make("KV_Effect_Oper -i1 %o -i2 %o -o %o", a, shortB, out);
  make("KV_Effect_Oper -i1 %o -i2 %o -o %o", a, b, shortB);
  make("KV_Effect_Oper -i1 %o -o %o", a, out);
  make("KV_Effect_Koef -i %o -o %o -k 1", a, shortB);
  make("KV_Effect_Koef -o %o -k 1", out);
  make("KV_Effect_Copy -o %o", out);
  pipe->process();
  EXPECT_EQ(contents(out), std::vector<int32_t>(8, 9));
  EXPECT_EQ(contents(shortB), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(Arith, CopyStrides) {
  std::vector<int32_t> x = {10, 11, 12, 13, 14, 15, 16, 17};
  fill(a, x);
  auto* c = make<KV_Effect_Copy>("KV_Effect_Copy -i %o -o %o", a, out);
  pipe->process();
  EXPECT_EQ(contents(out), x);

  // Every second input sample, n / 2 outputs.
  fill(out, std::vector<int32_t>(8, 0));
  ASSERT_EQ(run("%o -is 2", c), KV_OK);
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{10, 12, 14, 16, 0, 0, 0, 0}));

  // Every second output sample into a longer buffer.
  KV_Buffer* wide = makeBuffer("wide");
  ASSERT_EQ(run("%o -l 16", wide), KV_OK);
  ASSERT_EQ(run("%o -is 1 -os 2 -o %o -mode add", c, wide), KV_OK);
  fill(wide, std::vector<int32_t>(16, 1));
  pipe->process();
  EXPECT_EQ(contents(wide), (std::vector<int32_t>{11, 1, 12, 1, 13, 1, 14, 1, 15, 1, 16, 1, 17, 1, 18, 1}));

  // A stride that would run past the output copies only what lands inside it.
  ASSERT_EQ(run("%o -os 3 -o %o -mode set", c, out), KV_OK);
  fill(out, std::vector<int32_t>(8, 0));
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{10, 0, 0, 11, 0, 0, 12, 0}));
  ASSERT_EQ(run("%o -os 1000000000", c), KV_OK);
  fill(out, std::vector<int32_t>(8, 0));
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{10, 0, 0, 0, 0, 0, 0, 0}));

  // Strides below 1 are refused; floats truncate.
  int32_t is = 0, os = 0;
  EXPECT_EQ(run("%o -is 0 -os -2 -is -os", c, &is, &os), KV_OK);
  EXPECT_EQ(is, 1);
  EXPECT_EQ(os, 1000000000);
  EXPECT_EQ(run("%o -is 0.5 -os 2.7 -is -os", c, &is, &os), KV_OK);
  EXPECT_EQ(is, 1);
  EXPECT_EQ(os, 2);
}

TEST_F(Arith, CopyOntoItself) {
  fill(out, {1, 2, 3, 4, 5, 6, 7, 8});
  auto* same = make<KV_Effect_Copy>("KV_Effect_Copy -i %o -o %o", out, out);
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_EQ(run("%o -mode sub", same), KV_OK);
  pipe->process();
  EXPECT_EQ(contents(out), std::vector<int32_t>(8, 0));
}

TEST_F(Arith, SelfCopyMergesAFadeOut) {
  // A Koef writing 8000 switched off, followed by the self-copy that closes the pipe: the copy
  // does nothing to the samples but its views merge the fade.
  fill(a, std::vector<int32_t>(8, 8000 * 127));
  auto* k = make("KV_Effect_Koef -i %o -o %o -oper mul -k 0.9921875", a, out);
  make("KV_Effect_Copy -i %o -o %o", out, out);
  pipe->process();
  EXPECT_EQ(contents(out), std::vector<int32_t>(8, 8000 * 127));
  fill(out, std::vector<int32_t>(8, 0));
  ASSERT_EQ(run("KV_Effect %o -on 0", k), KV_OK);
  pipe->process();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out->main[i], 8000 * 127 * (8 - i) / 8) << i;
}

}  // namespace
