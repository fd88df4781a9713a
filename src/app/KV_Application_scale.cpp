// The editor at another scale: each widget keeps its place in the layout, its value and its
// receiver; its rectangle is scaled, its picture replaced by the one drawn at that scale (the
// resource of the same name with _2X), and texts and knobs are told the scale.
#include <cctype>
#include <cstring>

#include "KV/Spcpp.h"
#include "app/KV_Application.h"

namespace {
constexpr char SCALE2_SUFFIX[] = "_2x";

// `name` up to its end or the first space (a name read back from a command's text), without the
// scale-2 suffix, and with it again at scale 2; false when it does not fit.
bool resourceAt(const char* name, int32_t scale, char* out, size_t size) {
  size_t n = 0;
  while (name[n] && name[n] != ' ') ++n;
  const size_t s = sizeof SCALE2_SUFFIX - 1;
  if (n > s) {
    bool suffixed = true;
    for (size_t i = 0; i < s; ++i)
      suffixed = suffixed && std::tolower(static_cast<unsigned char>(name[n - s + i])) == SCALE2_SUFFIX[i];
    if (suffixed) n -= s;
  }
  const size_t total = n + (scale == 2 ? s : 0);
  if (total >= size) return false;
  std::memmove(out, name, n);  // `name` may be `out` itself, the name set at the last scale
  std::memcpy(out + n, SCALE2_SUFFIX, total - n);
  out[total] = 0;
  return true;
}
}  // namespace

KV_error KV_Application::scaleWidget(int slot, int32_t from, int32_t to) {
  KV_Object* w = widget(slot);
  int32_t g[4] = {};
  KV_error first = spcpp(KV_CMD("KV_Wid %o -l -t -w -h"), w, &g[0], &g[1], &g[2], &g[3]);
  for (int32_t& v : g) v = v / from * to;
  KV_keepFirst(first, spcpp(KV_CMD("KV_Wid %o -l %i -t %i -w %i -h %i"), w, g[0], g[1], g[2], g[3]));
  if (KV_findOption(w->options, "res")) {
    const char* name = nullptr;
    KV_keepFirst(first, spcpp(KV_CMD("%o -res"), w, &name));
    char* to_name = scaledResources[slot - 1];
    if (!name || !resourceAt(name, to, to_name, sizeof scaledResources[0])) {
      KV_keepFirst(first, KV_ERROR_PARAM_REQUIRED);
    } else {
      KV_keepFirst(first, spcpp(KV_CMD("%o -res %s"), w, to_name));
    }
  }
  if (KV_findOption(w->options, "scale")) KV_keepFirst(first, spcpp(KV_CMD("%o -scale %i"), w, to));
  return first;
}

KV_error KV_Application::scaleEditor(int32_t to) {
  if (to != 1 && to != 2) return KV_ERROR_PARAM_REQUIRED;
  if (to == scale) return KV_OK;
  KV_error first = KV_OK;
  for (int s = 1; s <= WIDGET_SLOTS; ++s)
    if (widget(s)) KV_keepFirst(first, scaleWidget(s, scale, to));
  scale = to;
  return first;
}
