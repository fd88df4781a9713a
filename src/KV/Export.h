// Symbol visibility of the framework. Everything marked KV_API is part of the plug-in's export
// table; everything else stays inside the binary.
#pragma once

#if defined(_WIN32)
#define KV_API __declspec(dllexport)
#else
#define KV_API __attribute__((visibility("default")))
#endif
