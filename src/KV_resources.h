// The table of embedded resources on platforms without resource sections. The build generates
// one table per binary from its resource list and installs it at load.
#pragma once

#include <cstddef>

struct KV_resource_entry {
  const char* name;  // compared case-insensitively
  const void* data;
  size_t size;
};

// Installs the binary's table (ended by a row with a null name).
void KV_resource_set_table(const KV_resource_entry* entries);
