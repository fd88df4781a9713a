// The Linux half: the report goes to standard error and is answered OK at once (it must never
// block a host); resources come from the table the build links into the binary.
#include <strings.h>

#include <cstdio>

#include "KV_cfuncs.h"
#include "KV_resources.h"

namespace {
const KV_resource_entry* table = nullptr;
}

void KV_resource_set_table(const KV_resource_entry* entries) { table = entries; }

int KV_error_show(const char* text, const char* caption) {
  std::fprintf(stderr, "%s\n%s\n", caption, text);
  std::fflush(stderr);
  return 1;  // IDOK
}

const void* KV_resource_find(const char* name, KV_error* failure, size_t* size) {
  if (name && table) {
    for (const KV_resource_entry* e = table; e->name; ++e)
      if (strcasecmp(e->name, name) == 0) {
        if (size) *size = e->size;
        return e->data;
      }
  }
  *failure = KV_ERROR_RESOURCE_CANNOT_FIND;
  return nullptr;
}

bool KV_resource_extent(const void* data, size_t* size) {
  if (!data || !table) return false;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (const KV_resource_entry* e = table; e->name; ++e) {
    const unsigned char* begin = static_cast<const unsigned char*>(e->data);
    if (p >= begin && p < begin + e->size) {
      *size = e->size - static_cast<size_t>(p - begin);
      return true;
    }
  }
  return false;
}
