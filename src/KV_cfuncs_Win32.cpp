// The Windows half: a modal message box, and resources of type "DATA" in the library's module.
#include <windows.h>

#include "KV_cfuncs.h"

int KV_error_show(const char* text, const char* caption) {
  return MessageBoxA(nullptr, text, caption, MB_OK);
}

const void* KV_resource_find(const char* name, KV_error* failure) {
  HMODULE module = static_cast<HMODULE>(hInstance);
  HRSRC found = name ? FindResourceA(module, name, "DATA") : nullptr;
  if (!found) {
    *failure = KV_ERROR_RESOURCE_CANNOT_FIND;
    return nullptr;
  }
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) {
    *failure = KV_ERROR_RESOURCE_CANNOT_LOAD;
    return nullptr;
  }
  const void* data = LockResource(loaded);
  if (!data) *failure = KV_ERROR_RESOURCE_CANNOT_LOCK;
  return data;
}
