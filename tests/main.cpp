// The test programs' main: a suite that ran no test fails, and a Windows suite must really run
// on Windows interfaces (here: under Wine).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>

static bool reportWine() {
  using Version = const char* (*)();
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto version = ntdll ? reinterpret_cast<Version>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version"))) : nullptr;
  if (version) {
    std::printf("[ platform ] Windows %d-bit under Wine %s\n", static_cast<int>(sizeof(void*) * 8), version());
    return true;
  }
  if (std::getenv("KV_NATIVE_WINDOWS")) return true;
  std::printf("[ platform ] not under Wine; set KV_NATIVE_WINDOWS to run on Windows itself\n");
  return false;
}
#else
static bool reportWine() { return true; }
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!reportWine()) return 1;
  int result = RUN_ALL_TESTS();
  if (result == 0 && testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
    std::printf("no test ran\n");
    return 1;
  }
  return result;
}
