// The command interpreter: creation, options, both result modes, failures and malformed commands.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "KV/Spcpp.h"

namespace {

struct Probe : KV_Object {
  static int created;
  static int destroyed;
  static std::string special;
  static Probe* last;
  int32_t number = 0;
  float real = 0;
  const char* text = "";
  std::string textSeen;
  void* ref = nullptr;
  int sets = 0;

  Probe() {
    ++created;
    last = this;
  }
  ~Probe() override { ++destroyed; }
};
int Probe::created = 0;
int Probe::destroyed = 0;
std::string Probe::special;
Probe* Probe::last = nullptr;

Probe* P(KV_Object* o) { return static_cast<Probe*>(o); }

KV_Object* createProbe() {
  Probe::special = KV_specialobject ? KV_specialobject : "(null)";
  return new Probe;
}

KV_value optN(KV_Object* o, KV_value v) {
  if (v.type == KV_INT) P(o)->number = v.asInt(), ++P(o)->sets;
  return KV_value::ofInt(P(o)->number);
}
KV_value optF(KV_Object* o, KV_value v) {
  if (v.type == KV_FLOAT) P(o)->real = v.asFloat(), ++P(o)->sets;
  return KV_value::ofFloat(P(o)->real);
}
KV_value optT(KV_Object* o, KV_value v) {
  if (v.type == KV_STRING) {
    P(o)->text = static_cast<const char*>(v.asPointer());
    P(o)->textSeen = P(o)->text;  // what the handler sees while it runs
    ++P(o)->sets;
  }
  return KV_value::ofString(P(o)->text);
}
KV_value optR(KV_Object* o, KV_value v) {
  if (v.type == KV_OBJECT) P(o)->ref = v.asPointer(), ++P(o)->sets;
  return KV_value::ofObject(P(o)->ref);
}
KV_value optRaw(KV_Object*, KV_value) { return KV_value(reinterpret_cast<KV_word>("AB\0CD"), KV_OBJECT, 5); }
KV_value optAct(KV_Object* o, KV_value) {
  ++P(o)->sets;
  return KV_value::none();
}
KV_value optType(KV_Object* o, KV_value v) {
  P(o)->number = v.type;
  return KV_value::ofInt(v.type);
}

const KV_option probeOptions[] = {
    KV_opt_creator(createProbe), KV_opt("n", optN),   KV_opt("f", optF),     KV_opt("t", optT),
    KV_opt("r", optR),           KV_opt("raw", optRaw), KV_opt("act", optAct), KV_opt("type", optType),
    KV_opt_end(KV_Object_options),
};
const KV_option abstractOptions[] = {KV_opt_creator(nullptr), KV_opt_end(probeOptions)};

const KV_class testClasses[] = {
    {"KV_Object", KV_Object_options},
    {"Probe", probeOptions},
    {"Abstract", abstractOptions},
    {nullptr, nullptr},
};

class Spcpp : public testing::Test {
 protected:
  void SetUp() override {
    KV_classTable = testClasses;
    Probe::created = Probe::destroyed = 0;
  }
  void TearDown() override {
    KV_classTable = __KV;
    for (Probe* p : made) delete p;
  }

  // Commands must be writable and outlive their objects.
  char* cmd(const char* text) {
    texts.emplace_back(text);
    return texts.back().data();
  }

  Probe* keep(KV_Object* o) {
    made.push_back(P(o));
    return P(o);
  }

  KV_error textRun(const char* command, std::string& result, int capacity = 256, ...) {
    std::vector<char> out(static_cast<size_t>(capacity) + 8, '#');
    int cap = capacity;
    va_list ap;
    va_start(ap, capacity);
    KV_error e = spcpp_run(SPCPP_TEXT, cmd(command), out.data(), &cap, ap);
    va_end(ap);
    result.assign(out.data(), static_cast<size_t>(e == KV_OK ? cap : capacity));
    lastCapacity = cap;
    tail.assign(out.data() + capacity, 8);
    return e;
  }

  std::list<std::string> texts;
  std::vector<Probe*> made;
  std::string tail;
  int lastCapacity = 0;
};

std::string hex(const void* p) {
  char b[32];
  std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return b;
}

TEST_F(Spcpp, ClassWordAloneCreatesAndStores) {
  KV_Object* o = nullptr;
  EXPECT_EQ(spcpp(cmd("Probe"), &o), KV_OK);
  ASSERT_NE(o, nullptr);
  keep(o);
  EXPECT_EQ(o->options, probeOptions);
  EXPECT_STREQ(o->command, "Probe");
  EXPECT_EQ(Probe::special, "(null)");
}

TEST_F(Spcpp, ArgumentsAreTakenLeftToRight) {
  KV_Object* o = nullptr;
  int32_t n = 0;
  EXPECT_EQ(spcpp(cmd("Probe -n %i -n"), &o, 512, &n), KV_OK);
  keep(o);
  EXPECT_EQ(n, 512);
  int32_t fbits = 0;
  void* r = nullptr;
  int marker = 0;
  EXPECT_EQ(spcpp(cmd("%o -f %f -r %o -f -r"), o, 0.25, &marker, &fbits, &r), KV_OK);
  float f;
  std::memcpy(&f, &fbits, sizeof f);
  EXPECT_EQ(f, 0.25f);
  EXPECT_EQ(r, &marker);
}

TEST_F(Spcpp, LiteralValuesByKind) {
  KV_Object* o = nullptr;
  EXPECT_EQ(spcpp(cmd("Probe -n -1 -f 0.95 -r 0x00C0C0C0 -t add"), &o), KV_OK);
  Probe* p = keep(o);
  EXPECT_EQ(p->number, -1);
  EXPECT_EQ(p->real, 0.95f);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p->ref), 0x00C0C0C0u);
  EXPECT_EQ(p->textSeen, "add");
  EXPECT_EQ(std::string(p->text), "add");  // the last word: the text runs to the end
}

TEST_F(Spcpp, TextValueIsTerminatedOnlyWhileTheHandlerRuns) {
  KV_Object* o = nullptr;
  char* c = cmd("Probe -t add -n 3");
  EXPECT_EQ(spcpp(c, &o), KV_OK);
  Probe* p = keep(o);
  EXPECT_EQ(p->textSeen, "add");
  EXPECT_STREQ(c, "Probe -t add -n 3");  // the separator is back
  EXPECT_EQ(p->number, 3);
}

TEST_F(Spcpp, StringArgumentStartingWithDashIsAValue) {
  KV_Object* o = nullptr;
  EXPECT_EQ(spcpp(cmd("Probe -t %s -n 4"), &o, "-delete"), KV_OK);
  Probe* p = keep(o);
  EXPECT_EQ(p->textSeen, "-delete");
  EXPECT_EQ(p->number, 4);
  EXPECT_EQ(Probe::destroyed, 0);
}

TEST_F(Spcpp, TextWordAfterClassGoesToTheCreator) {
  KV_Object* o = nullptr;
  EXPECT_EQ(spcpp(cmd("Probe current"), &o), KV_OK);
  keep(o);
  EXPECT_EQ(Probe::special, "current");
  EXPECT_EQ(spcpp(cmd("Probe %s -n 2"), "name", &o), KV_OK);  // the text comes before the out-pointer
  keep(o);
  EXPECT_EQ(Probe::special, "name");
}

TEST_F(Spcpp, LoneSkipTakesNothingAndStoresNothing) {
  KV_Object* o = nullptr;
  int32_t n = 99;
  // The lone % after the class word: the object is created but not stored.
  EXPECT_EQ(spcpp(cmd("Probe % -n 7 -n %"), &n), KV_OK);
  EXPECT_EQ(Probe::created, 1);
  EXPECT_EQ(n, 99);  // untouched: the query before the lone % at the end stores nothing
  EXPECT_EQ(keep(Probe::last)->number, 7);
  EXPECT_EQ(spcpp(cmd("Probe -n 5 -n % -f %f"), &o, 1.5), KV_OK);
  Probe* p = keep(o);
  EXPECT_EQ(p->number, 5);
  EXPECT_EQ(p->real, 1.5f);
}

TEST_F(Spcpp, ReferenceWithClassWordUsesThatTable) {
  Probe* p = keep(new Probe);
  p->options = KV_Object_options;  // its own table would not have "n"
  EXPECT_EQ(spcpp(cmd("Probe %o -n 9"), p), KV_OK);
  EXPECT_EQ(p->number, 9);
  testing::internal::CaptureStdout();
  EXPECT_EQ(spcpp(cmd("%o -n 9"), p), KV_ERROR_COMMAND_NOT_PARAM);
  testing::internal::GetCapturedStdout();
}

TEST_F(Spcpp, DeleteConsumesOneArgument) {
  KV_Object* o = nullptr;
  ASSERT_EQ(spcpp(cmd("Probe"), &o), KV_OK);
  int32_t untouched = 5;
  EXPECT_EQ(spcpp(cmd("%o -delete"), o, &untouched), KV_OK);
  EXPECT_EQ(Probe::destroyed, 1);
  EXPECT_EQ(untouched, 5);
}

TEST_F(Spcpp, UnknownOptionAfterGoodOnes) {
  KV_Object* o = nullptr;
  testing::internal::CaptureStdout();
  KV_error e = spcpp(cmd("Probe -n 1 -f 2.5 -zz 3 -n 4"), &o);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(e, KV_ERROR_COMMAND_NOT_PARAM);
  Probe* p = keep(o);
  EXPECT_EQ(p->number, 1);
  EXPECT_EQ(p->real, 2.5f);
  EXPECT_EQ(printed, "spcpp: Probe -n 1 -f 2.5 -zz 3 -n 4\nspcpp: param 'zz 3 -n 4' not found\n");
}

TEST_F(Spcpp, UnknownCommand) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(spcpp(cmd("Nope -n 1")), KV_ERROR_COMMAND_NOT_FOUND);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "spcpp: command 'Nope -n 1' not found\n");
  EXPECT_EQ(Probe::created, 0);
}

TEST_F(Spcpp, TextModeResults) {
  std::string r;
  ASSERT_EQ(textRun("Probe -n 64 -n -f 0.5 -f -t word -t", r), KV_OK);
  ASSERT_EQ(Probe::created, 1);
  size_t space = r.find(' ');
  ASSERT_NE(space, std::string::npos);
  EXPECT_EQ(r.substr(0, 2), "0x");
  EXPECT_EQ(r.substr(space), " 64 0.500000 word -t");
  EXPECT_EQ(lastCapacity, static_cast<int>(r.size()));
  KV_Object* o = reinterpret_cast<KV_Object*>(std::stoull(r.substr(2, space - 2), nullptr, 16));
  keep(o);
  EXPECT_EQ(r.substr(0, space), hex(o));
  for (char ch : r.substr(2, space - 2)) EXPECT_FALSE(ch >= 'a' && ch <= 'f');
}

TEST_F(Spcpp, TextModeRawBlockAndActions) {
  Probe* p = keep(new Probe);
  p->options = probeOptions;
  std::vector<char> out(32, '#');
  int cap = 32;
  char* c = cmd("%o -act -raw -n");
  // Both modes: the reference is taken from the arguments, results go to text and pointers.
  int32_t n = 0;
  cap = 32;
  auto both = [&](char* command, ...) {
    va_list ap;
    va_start(ap, command);
    KV_error e = spcpp_run(SPCPP_TEXT | SPCPP_POINTERS, command, out.data(), &cap, ap);
    va_end(ap);
    return e;
  };
  p->number = 12;
  void* raw = nullptr;
  EXPECT_EQ(both(c, p, &raw, &n), KV_OK);
  EXPECT_NE(raw, nullptr);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(p->sets, 1);
  EXPECT_EQ(cap, 8);
  EXPECT_EQ(std::string(out.data(), 8), std::string("AB\0CD 12", 8));
}

TEST_F(Spcpp, TextModeCapacityOverflowWritesNothingBeyond) {
  std::string r;
  EXPECT_EQ(textRun("Probe -n 123456 -n", r, 4), KV_ERROR_COMMAND_NOT_SPACE);
  EXPECT_EQ(r.substr(0, 2), "0x");
  EXPECT_EQ(tail, std::string(8, '#'));
  EXPECT_EQ(Probe::created, 1);  // the object stays created
  keep(Probe::last);
  // Exactly filling the capacity is fine.
  Probe* p = keep(new Probe);
  p->options = probeOptions;
  p->number = 1234;
  char buf[4];
  int cap = 4;
  auto run = [&](char* command, ...) {
    va_list ap;
    va_start(ap, command);
    KV_error e = spcpp_run(SPCPP_TEXT, command, buf, &cap, ap);
    va_end(ap);
    return e;
  };
  EXPECT_EQ(run(cmd("%o -n"), p), KV_OK);
  EXPECT_EQ(cap, 4);
  EXPECT_EQ(std::string(buf, 4), "1234");
}

// Malformed commands: each fails with a code, takes no argument it should not, and makes nothing.
TEST_F(Spcpp, MalformedFirstWord) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(spcpp(cmd("%i -n 1"), 5), KV_ERROR_COMMAND_NOT_FOUND);
  EXPECT_EQ(spcpp(cmd("%f -n 1"), 5.0), KV_ERROR_COMMAND_NOT_FOUND);
  EXPECT_EQ(spcpp(cmd("%s -n 1"), "x"), KV_ERROR_COMMAND_NOT_FOUND);
  EXPECT_EQ(spcpp(cmd("% -n 1")), KV_ERROR_COMMAND_NOT_FOUND);
  EXPECT_EQ(spcpp(cmd("")), KV_ERROR_COMMAND_NOT_FOUND);
  EXPECT_EQ(spcpp(nullptr), KV_ERROR_COMMAND_NOT_FOUND);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("spcpp: command '%i -n 1' not found"), std::string::npos);
  EXPECT_NE(printed.find("spcpp: command '' not found"), std::string::npos);
  EXPECT_EQ(Probe::created, 0);
}

TEST_F(Spcpp, NullOrNumericReference) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(spcpp(cmd("%o -delete"), nullptr), KV_ERROR_PARAM_REQUIRED);
  EXPECT_EQ(spcpp(cmd("Probe %o -n 1"), nullptr), KV_ERROR_PARAM_REQUIRED);
  EXPECT_EQ(spcpp(cmd("Probe 0x0 -n 1")), KV_ERROR_PARAM_REQUIRED);
  EXPECT_EQ(spcpp(cmd("Probe 5 -n 1")), KV_ERROR_PARAM_REQUIRED);
  EXPECT_EQ(spcpp(cmd("Probe %i -n 1"), 5), KV_ERROR_PARAM_REQUIRED);
  EXPECT_EQ(spcpp(cmd("Probe 1.5")), KV_ERROR_PARAM_REQUIRED);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("spcpp: null object in '%o -delete'"), std::string::npos);
  EXPECT_EQ(Probe::created, 0);
}

TEST_F(Spcpp, ValueAfterValueAndBadWords) {
  const char* bad[] = {"Probe -n 1 2",   "Probe -n 1 %i", "Probe -n 1 xdelete", "Probe -n %x",
                       "Probe %x",       "Probe -n %ix",  "Probe -",            "Probe -n 1 - -n 2",
                       "Probe -n  1",    "Probe -t a b",  "Probe % 5",          "Probe -n 1 -5"};
  testing::internal::CaptureStdout();
  for (const char* c : bad) {
    int32_t sink = 0;
    KV_Object* o = nullptr;
    EXPECT_EQ(spcpp(cmd(c), &o, &sink, &sink), KV_ERROR_COMMAND_NOT_PARAM) << c;
    EXPECT_EQ(o, nullptr) << c;
  }
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("spcpp: placeholder '%x' not known"), std::string::npos);
  EXPECT_NE(printed.find("spcpp: param 'xdelete' not found"), std::string::npos);
  EXPECT_EQ(Probe::created, 0);
}

TEST_F(Spcpp, AbstractClassCreatesNothing) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(spcpp(cmd("Abstract")), KV_ERROR_COMMAND_NOT_FOUND);
  EXPECT_EQ(spcpp(cmd("KV_Object -delete")), KV_ERROR_COMMAND_NOT_FOUND);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "spcpp: class 'Abstract' cannot be created\nspcpp: class 'KV_Object' cannot be created\n");
  // An abstract class word with a reference applies its table chain.
  Probe* p = keep(new Probe);
  EXPECT_EQ(spcpp(cmd("Abstract %o -n 3"), p), KV_OK);
  EXPECT_EQ(p->number, 3);
}

TEST_F(Spcpp, TrailingSpaceIsTheEnd) {
  KV_Object* o = nullptr;
  int32_t n = 0;
  EXPECT_EQ(spcpp(cmd("Probe -n 6 "), &o), KV_OK);
  keep(o);
  EXPECT_EQ(Probe::created, 1);
  EXPECT_EQ(spcpp(cmd("%o -n "), o, &n), KV_OK);
  EXPECT_EQ(n, 6);
}

TEST_F(Spcpp, RealClassTable) {
  KV_classTable = __KV;
  testing::internal::CaptureStdout();
  EXPECT_EQ(spcpp(cmd("KV_Object")), KV_ERROR_COMMAND_NOT_FOUND);
  testing::internal::GetCapturedStdout();
  Probe* p = new Probe;
  EXPECT_EQ(spcpp(cmd("KV_Object %o -delete"), p), KV_OK);
  EXPECT_EQ(Probe::destroyed, 1);
}

}  // namespace
