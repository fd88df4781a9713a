#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cstdlib>
#include <cstring>

#include "KV/Win/Scale.h"

namespace {
// Xft.dpi of a resource string (the screen's or the server's), or 0.
int32_t xftDpi(const char* resources) {
  if (!resources) return 0;
  XrmDatabase db = XrmGetStringDatabase(resources);
  if (!db) return 0;
  char* type = nullptr;
  XrmValue value{};
  int32_t dpi = 0;
  if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
    const double d = std::strtod(value.addr, nullptr);
    if (d > 0 && d < 10000) dpi = static_cast<int32_t>(d);
  }
  XrmDestroyDatabase(db);
  return dpi;
}
}  // namespace

int32_t KV_Win_dpi(void*) {
  // Desktops publish their scaling as Xft.dpi among the screen's resources; the window itself
  // has none of its own.
  Display* d = XOpenDisplay(nullptr);
  if (!d) return KV_Win_BASE_DPI;
  XrmInitialize();
  char* screen = XScreenResourceString(DefaultScreenOfDisplay(d));  // ours to free
  int32_t dpi = xftDpi(screen);
  if (screen) XFree(screen);
  if (dpi == 0) dpi = xftDpi(XResourceManagerString(d));
  XCloseDisplay(d);
  return dpi > 0 ? dpi : KV_Win_BASE_DPI;
}

bool KV_Win_variable(const char* name, char* out, size_t size) {
  const char* v = std::getenv(name);
  if (!v || size == 0 || std::strlen(v) >= size) return false;
  std::strcpy(out, v);
  return true;
}
