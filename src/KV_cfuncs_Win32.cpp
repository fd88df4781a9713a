// The Windows half: a modal message box, and resources of type "DATA" in the library's module.
#include <windows.h>

#include "KV_cfuncs.h"

int KV_error_show(const char* text, const char* caption) {
  return MessageBoxA(nullptr, text, caption, MB_OK);
}

const void* KV_resource_find(const char* name, KV_error* failure, size_t* size) {
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
  else if (size) *size = SizeofResource(module, found);
  return data;
}

namespace {
struct ExtentSearch {
  const unsigned char* data;
  size_t size;
  bool found;
};

BOOL CALLBACK findExtent(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
  ExtentSearch* search = reinterpret_cast<ExtentSearch*>(param);
  HRSRC found = FindResourceA(module, name, type);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const unsigned char* begin = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
  if (!begin) return TRUE;
  size_t length = SizeofResource(module, found);
  if (search->data >= begin && search->data < begin + length) {
    search->size = length - static_cast<size_t>(search->data - begin);
    search->found = true;
    return FALSE;  // stop enumerating
  }
  return TRUE;
}
}  // namespace

bool KV_resource_extent(const void* data, size_t* size) {
  if (!data) return false;
  ExtentSearch search{static_cast<const unsigned char*>(data), 0, false};
  EnumResourceNamesA(static_cast<HMODULE>(hInstance), "DATA", findExtent, reinterpret_cast<LONG_PTR>(&search));
  if (search.found) *size = search.size;
  return search.found;
}
