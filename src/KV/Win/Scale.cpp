#include "KV/Win/Scale.h"

#include <cstring>

int32_t KV_Win_chooseScale(void* parent, const char* variable) {
  char value[8];
  if (variable && KV_Win_variable(variable, value, sizeof value)) {
    if (std::strcmp(value, "1") == 0) return 1;
    if (std::strcmp(value, "2") == 0) return 2;
  }
  return KV_Win_scaleOfDpi(KV_Win_dpi(parent));
}
