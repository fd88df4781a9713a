// References typed into a shell: only live objects of the class an option accepts are used, and
// an object that goes away leaves nothing pointing at it. Each case is a line that once crashed.
#include <cstdarg>
#include <cstdlib>

#include "EffectTest.h"
#include "KV/Effect/Arith.h"
#include "KV/Wid/Pal.h"

namespace {

class References : public EffectTest {
 protected:
  // Runs a line in text mode as kvsh does; the answer is left in `answer`.
  KV_error say(const std::string& line) {
    char out[256];
    int capacity = sizeof out;
    va_list none{};
    KV_error e = spcpp_run(SPCPP_TEXT, cmd(line.c_str()), out, &capacity, none);
    answer.assign(out, e == KV_OK ? static_cast<size_t>(capacity) : 0);
    return e;
  }
  // The object a line made: the first word of its answer, kept for the tear-down.
  template <class T = KV_Object>
  T* made(const std::string& line, bool last = false) {
    EXPECT_EQ(say(line), KV_OK) << line;
    auto* o = reinterpret_cast<KV_Object*>(std::strtoull(answer.c_str(), nullptr, 16));
    if (last) objects.push_front(o);
    else objects.push_back(o);
    return dynamic_cast<T*>(o);
  }
  static std::string hex(const void* p) {
    char b[32];
    std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return b;
  }
  std::string rest() const { return answer.substr(answer.find(' ') + 1); }

  std::string answer;
};

TEST_F(References, NameTypedAsNumberAnswersAsThatWord) {
  made("KV_Buffer -t 5 -t");
  EXPECT_EQ(rest(), "5");
  made("KV_Buffer -t 0x1F -t");
  EXPECT_EQ(rest(), "0x1F");
  made("KV_Buffer -t 2.5 -t");
  EXPECT_EQ(rest(), "2.500000");
}

TEST_F(References, InsertionPointTakesOnlyAnEffectOfThePipe) {
  auto* pipe = made<KV_Soundpipe>("KV_Soundpipe -bl 64 -be 5 -be", true);
  EXPECT_EQ(rest(), "0x0");
  auto* first = made<KV_Effect>("KV_Effect_Zero");
  auto* buffer = made("KV_Buffer");
  ASSERT_EQ(say("KV_Soundpipe " + hex(pipe) + " -be " + hex(buffer) + " -be"), KV_OK);
  EXPECT_EQ(answer, "0x0");
  auto* second = made<KV_Effect>("KV_Effect_Zero");
  EXPECT_EQ(pipe->effects.first()->owner, first);
  EXPECT_EQ(pipe->effects.first()->next->owner, second);
  ASSERT_EQ(say("KV_Soundpipe " + hex(pipe) + " -be " + hex(second) + " -be"), KV_OK);
  EXPECT_EQ(answer, hex(second));
}

TEST_F(References, BeforeTakesOnlyAnEffect) {
  auto* pipe = made<KV_Soundpipe>("KV_Soundpipe -bl 64 -b", true);
  auto* first = made<KV_Effect>("KV_Effect_Zero");
  auto* second = made<KV_Effect>("KV_Effect_Zero -before ete -before 4096 -before " + hex(pipe));
  EXPECT_EQ(pipe->effects.first()->owner, first);
  EXPECT_EQ(pipe->effects.first()->next->owner, second);
  ASSERT_EQ(say("KV_Effect " + hex(second) + " -before " + hex(first)), KV_OK);
  EXPECT_EQ(pipe->effects.first()->owner, second);
}

TEST_F(References, ReferenceToNothingOrTheWrongClassIsRefused) {
  made("KV_Soundpipe -bl 4 -b", true);
  auto* buffer = made<KV_Buffer>("KV_Buffer");
  testing::internal::CaptureStdout();
  EXPECT_EQ(say("KV_Effect " + hex(buffer) + " -on 0"), KV_ERROR_PARAM_REQUIRED);
  EXPECT_EQ(say("KV_Buffer 0x1234 -l 8"), KV_ERROR_PARAM_REQUIRED);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("not of the class"), std::string::npos);
  EXPECT_NE(printed.find("no object at 0x1234"), std::string::npos);
  EXPECT_EQ(buffer->count, 4);
  auto* copy = made<KV_Effect_Copy>("KV_Effect_Copy -i 0x1234 -o 0x5678");
  EXPECT_EQ(copy->input, nullptr);
  EXPECT_EQ(copy->output, nullptr);
}

TEST_F(References, OptionsAfterDeleteAreNotApplied) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(say("KV_Buffer -delete -t x -l 5"), KV_ERROR_COMMAND_NOT_PARAM);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("is deleted before '-t x -l 5'"), std::string::npos);
}

TEST_F(References, DeletedBufferIsDroppedByTheEffectsUsingIt) {
  auto* pipe = made<KV_Soundpipe>("KV_Soundpipe -bl 4 -b", true);
  auto* in = made<KV_Buffer>("KV_Buffer");
  auto* out = made<KV_Buffer>("KV_Buffer");
  auto* copy = made<KV_Effect_Copy>("KV_Effect_Copy -i " + hex(in) + " -o " + hex(out));
  fill(in, {1, 2, 3, 4});
  pipe->process();
  EXPECT_EQ(contents(out), (std::vector<int32_t>{1, 2, 3, 4}));
  objects.remove(in);
  ASSERT_EQ(say("KV_Object " + hex(in) + " -delete"), KV_OK);
  EXPECT_EQ(copy->input, nullptr);
  EXPECT_FALSE(copy->ready);
  pipe->process();  // reads nothing that is gone
  EXPECT_EQ(copy->output, out);
}

TEST_F(References, OwnedObjectsAreDeletedOnlyByTheirOwner) {
  made("KV_Soundpipe -bl 64 -b", true);
  auto* spectrum = made<KV_Buffer>("KV_Buffer -l 64");
  auto* gate = made<KV_Effect>("KV_Fourier_Noisegate -i " + hex(spectrum) + " -w");
  std::string profile = rest();
  ASSERT_NE(profile, "0x0");
  testing::internal::CaptureStdout();
  EXPECT_EQ(say("KV_Object " + profile + " -delete"), KV_ERROR_COMMAND_NOT_PARAM);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("belongs to"), std::string::npos);
  // An output handed over becomes the gate's; a second gate may not take it as well.
  auto* out = made<KV_Buffer>("KV_Buffer -l 64");
  objects.remove(out);
  ASSERT_EQ(say("KV_Fourier_Noisegate " + hex(gate) + " -o1 " + hex(out) + " -o1"), KV_OK);
  EXPECT_EQ(answer, hex(out));
  auto* other = made<KV_Effect>("KV_Fourier_Noisegate -o1 " + hex(out) + " -o1");
  EXPECT_NE(rest(), hex(out));
  (void)other;
}

TEST_F(References, WindowAndPaletteLineMustBeLive) {
  made("KV_Wid_Pic -win 0x1234 -win");
  EXPECT_EQ(rest(), "0x0");
  made("KV_Wid_Pal -ln 0x1234 -ln -mn 5 -level 0.5");
  EXPECT_EQ(rest().substr(0, 3), "0x0");
  KV_Wid_Pal_Line* line = new KV_Wid_Pal_Line;
  made("KV_Wid_Pal -ln " + hex(line) + " -mn 5 -mn");
  EXPECT_EQ(rest(), "5");
  EXPECT_EQ(line->minimum, 5);
  for (KV_Object* o : objects) delete o;
  objects.clear();
  delete line;
}

}  // namespace
