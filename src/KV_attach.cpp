// The library attach hook: stores the module handle and runs the framework's initialisation.
// Compiled into every binary that is loaded as a library (the plug-in, test libraries).
#include "KV/Rts/Rts.h"
#include "KV_cfuncs.h"

// The real-time audio instances belong to every binary's export table, used or not.
[[maybe_unused]] static KV_Chain* const kvRtsInstances = &KV_Rts_instances;

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  hInstance = instance;
  if (reason == DLL_PROCESS_ATTACH) KV_initall();
  return TRUE;
}
#else
#include <dlfcn.h>

namespace {
__attribute__((constructor)) void kvAttach() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&kvAttach), &info)) hInstance = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  KV_initall();
}
}  // namespace
#endif
