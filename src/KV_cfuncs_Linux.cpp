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

const void* KV_resource_find(const char* name, KV_error* failure) {
  if (name && table) {
    for (const KV_resource_entry* e = table; e->name; ++e)
      if (strcasecmp(e->name, name) == 0) return e->data;
  }
  *failure = KV_ERROR_RESOURCE_CANNOT_FIND;
  return nullptr;
}
