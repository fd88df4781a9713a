// Exposes what the attach hook stored, for the attach test.
#include "KV_cfuncs.h"

extern "C" KV_API void* kv_probe_hInstance() { return hInstance; }
