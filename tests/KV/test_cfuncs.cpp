// Error codes, the fatal-error report and the resource lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "KV_cfuncs.h"

namespace {

std::string shownText, shownCaption;
int shown = 0;

int capture(const char* text, const char* caption) {
  shownText = text;
  shownCaption = caption;
  ++shown;
  return 1;
}

class Cfuncs : public testing::Test {
 protected:
  void SetUp() override {
    shown = 0;
    KV_set_error_presenter(capture);
  }
  void TearDown() override { KV_set_error_presenter(nullptr); }
};

TEST_F(Cfuncs, CodesAreDistinctPointersToTheirTexts) {
  KV_error all[] = {KV_OK, KV_ERROR_UNKNOWN, KV_ERROR_FILE_CANNOT_OPEN, KV_ERROR_FILE_CANNOT_READ,
                    KV_ERROR_FILE_CANNOT_CLOSE, KV_ERROR_MEMORY_CANNOT_ALLOCATE, KV_ERROR_MEMORY_CANNOT_REALLOC,
                    KV_ERROR_MEMORY_CANNOT_FREE, KV_ERROR_PARAM_REQUIRED, KV_ERROR_RESOURCE_CANNOT_LOAD,
                    KV_ERROR_RESOURCE_CANNOT_FIND, KV_ERROR_RESOURCE_CANNOT_LOCK, KV_ERROR_AUDIO,
                    KV_ERROR_AUDIO_CANNOT_OPEN, KV_ERROR_AUDIO_CANNOT_INPUT_STOP, KV_ERROR_AUDIO_CANNOT_INPUT_CLOSE,
                    KV_ERROR_AUDIO_CANNOT_OUTPUT_RESET, KV_ERROR_AUDIO_CANNOT_OUTPUT_CLOSE,
                    KV_ERROR_COMMAND_NOT_FOUND, KV_ERROR_COMMAND_NOT_PARAM, KV_ERROR_COMMAND_NOT_SPACE};
  const size_t n = sizeof all / sizeof all[0];
  EXPECT_EQ(n, 21u);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) EXPECT_NE(all[i], all[j]);
  EXPECT_STREQ(KV_OK.text, "Operation OK");
  EXPECT_STREQ(KV_ERROR_MEMORY_CANNOT_REALLOC.text, "Cannot re-allocate memory");
  EXPECT_STREQ(KV_ERROR_COMMAND_NOT_SPACE.text, "Not enough space for command result");
  EXPECT_STREQ(KV_ERROR_AUDIO_CANNOT_OUTPUT_RESET.text, "Cannot reset output audio device");
}

TEST_F(Cfuncs, ReportFormatAndCaption) {
  EXPECT_EQ(KV_error_func("f.cpp", 7, "proc", "Apr 10 2012", "21:13:38", "Boom"), 1);
  EXPECT_EQ(shownText, "Error: Boom\nFile: f.cpp\nLine: 7\nProc: proc\nDate: Apr 10 2012\nTime: 21:13:38");
  EXPECT_EQ(shownCaption, "ERROR");
  EXPECT_EQ(std::string(KV_error_text()), shownText);
}

TEST_F(Cfuncs, LongMessageIsCutToTheBuffer) {
  std::string huge(10000, 'x');
  KV_error_func("f", 1, "p", "d", "t", huge.c_str());
  EXPECT_EQ(std::strlen(KV_error_text()), 4095u);
  EXPECT_EQ(shownText.substr(0, 8), "Error: x");
}

TEST_F(Cfuncs, MissingResourceIsReportedAtLine121) {
  EXPECT_EQ(KV_resource("KNOB"), nullptr);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(shownText.substr(0, shownText.find('\n')), "Error: KNOB");
  EXPECT_NE(shownText.find("\nFile: ../../../projects/KV/KV_cfuncs\nLine: 121\nProc: KV_resource\n"), std::string::npos);
  EXPECT_EQ(KV_resource(nullptr), nullptr);
}

TEST_F(Cfuncs, ResourcesAreFoundByNameInAnyCase) {
  const char* hello = static_cast<const char*>(KV_resource("HELLO"));
  ASSERT_NE(hello, nullptr);
  EXPECT_EQ(std::string(hello, 14), "hello resource");
  EXPECT_EQ(KV_resource("hello"), hello);
  const unsigned char* second = static_cast<const unsigned char*>(KV_resource("SECOND"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second[0], 1);
  EXPECT_EQ(second[2], 3);
  EXPECT_EQ(shown, 0);
}

}  // namespace
