// The plug-in's exported entry: VSTPluginMain (also as main and MAIN) and _MAIN.
#include <new>

#include "vst/FpuGuard.h"
#include "vst/KV_Main_Vst.h"

extern "C" {

KV_API AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback master) {
  if (!master || master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  FpuGuard fpu;
  KV_Main_Vst* plugin = new (std::nothrow) KV_Main_Vst(master);
  if (plugin && !plugin->app) {
    delete plugin;
    plugin = nullptr;
  }
  return plugin ? plugin->getAeffect() : nullptr;
}

KV_API AEffect* VSTCALLBACK _MAIN(audioMasterCallback master) { return VSTPluginMain(master); }

#if !defined(_WIN32)
// Older Linux hosts look for "main"; on Windows the export table gives the aliases.
KV_API AEffect* VSTPluginMain_main(audioMasterCallback master) __asm__("main") __attribute__((alias("VSTPluginMain")));
KV_API AEffect* MAIN(audioMasterCallback master) __attribute__((alias("VSTPluginMain")));
#endif
}
