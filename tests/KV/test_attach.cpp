// The attach hook stores the library's own module handle when the library is loaded.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using Probe = void* (*)();

TEST(Attach, LibraryHandleIsStoredOnLoad) {
#if defined(_WIN32)
  HMODULE lib = LoadLibraryA(KV_ATTACH_PROBE);
  ASSERT_NE(lib, nullptr);
  auto probe = reinterpret_cast<Probe>(reinterpret_cast<void*>(GetProcAddress(lib, "kv_probe_hInstance")));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe(), static_cast<void*>(lib));
  FreeLibrary(lib);
#else
  void* lib = dlopen("./" KV_ATTACH_PROBE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto probe = reinterpret_cast<Probe>(dlsym(lib, "kv_probe_hInstance"));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe(), lib);
  dlclose(lib);
#endif
}

}  // namespace
