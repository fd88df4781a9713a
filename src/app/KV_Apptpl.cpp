#include "app/KV_Apptpl.h"

#include <cctype>
#include <cstring>

#include "KV/Win/Scale.h"

KV_Apptpl::KV_Apptpl() = default;

int32_t KV_Apptpl::chooseEditorScale(void* parent) const {
  char variable[64];
  size_t n = 0;
  for (const char* c = identity().name; *c && n < sizeof variable - sizeof "_UI_SCALE"; ++c)
    variable[n++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  variable[n] = 0;
  std::strcat(variable, "_UI_SCALE");
  return KV_Win_chooseScale(parent, variable);
}
