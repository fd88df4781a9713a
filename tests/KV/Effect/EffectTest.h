// Shared helpers of the effect suites: writable commands, a pipe made and torn down per test.
#pragma once

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "KV/Effect/Effect.h"
#include "KV/Spcpp.h"

// Reads an option directly, as the sample code does: its handler called with KV_EMPTY.
inline KV_value query(KV_Object* o, const char* option) { return KV_findOption(o->options, option)(o, KV_EMPTY); }

// Runs f with each form of the loops that have an AVX2 form: the plain one, then the AVX2 one
// where the processor has it; the choice made at load is restored.
template <class F>
void forEachLoopForm(F&& f) {
  const bool atLoad = KV_avx2;
  for (bool avx2 : {false, true}) {
    if (avx2 && !atLoad) break;
    SCOPED_TRACE(avx2 ? "AVX2 form" : "plain form");
    KV_avx2 = avx2;
    f();
  }
  KV_avx2 = atLoad;
}

class EffectTest : public testing::Test {
 protected:
  void TearDown() override {
    // Objects go before the pipe they joined, newest first.
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) delete *it;
    objects.clear();
    KV_currentpipe = nullptr;
  }

  // Commands must be writable and outlive the objects made from them.
  char* cmd(const char* text) {
    texts.emplace_back(text);
    return texts.back().data();
  }

  template <class T = KV_Object, class... A>
  T* make(const char* command, A... args) {
    KV_Object* o = nullptr;
    KV_error e = spcpp(cmd(command), &o, args...);
    EXPECT_EQ(e, KV_OK) << command;
    if (o) objects.push_back(o);
    return static_cast<T*>(o);
  }

  template <class... A>
  KV_error run(const char* command, A... args) {
    return spcpp(cmd(command), args...);
  }

  KV_Soundpipe* makePipe(int32_t block) {
    int32_t began = 0;
    KV_Object* o = nullptr;
    EXPECT_EQ(spcpp(cmd("KV_Soundpipe -bl %i -b"), &o, block, &began), KV_OK);
    objects.push_front(o);  // the pipe goes last
    return static_cast<KV_Soundpipe*>(o);
  }

  KV_Buffer* makeBuffer(const char* name = "buf") { return make<KV_Buffer>("KV_Buffer -t %o", name); }

  static void fill(KV_Buffer* b, const std::vector<int32_t>& v) {
    for (size_t i = 0; i < v.size() && i < static_cast<size_t>(b->count); ++i) b->main[i] = v[i];
  }
  static std::vector<int32_t> contents(KV_Buffer* b, int n = -1) {
    if (n < 0) n = b->length();
    return std::vector<int32_t>(b->main, b->main + n);
  }

  std::list<std::string> texts;
  std::list<KV_Object*> objects;
};

// The stage of one effect: a pipe of four-sample blocks with an input and an output buffer.
class OneEffectTest : public EffectTest {
 protected:
  void SetUp() override {
    pipe = makePipe(4);
    in = makeBuffer("in");
    out = makeBuffer("out");
  }
  KV_Soundpipe* pipe = nullptr;
  KV_Buffer* in = nullptr;
  KV_Buffer* out = nullptr;
};
