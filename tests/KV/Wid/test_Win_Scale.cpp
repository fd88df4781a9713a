// The scale an editor opens at: the variable that overrides the screen, and on X11 the desktop's
// Xft.dpi among the screen's resources.
#include <gtest/gtest.h>

#include <string>

#include "KV/Win/Scale.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace {

constexpr const char* kVariable = "KV_TEST_UI_SCALE";

void setVariable(const char* value) {
#if defined(_WIN32)
  SetEnvironmentVariableA(kVariable, value);
#else
  if (value) setenv(kVariable, value, 1);
  else unsetenv(kVariable);
#endif
}

TEST(WinScale, TheVariableOverridesTheScreenOnlyWithOneOrTwo) {
  const int32_t screen = KV_Win_scaleOfDpi(KV_Win_dpi(nullptr));
  setVariable("2");
  EXPECT_EQ(KV_Win_chooseScale(nullptr, kVariable), 2);
  setVariable("1");
  EXPECT_EQ(KV_Win_chooseScale(nullptr, kVariable), 1);
  for (const char* other : {"3", "0", "2x", "", "22"}) {
    setVariable(other);
    EXPECT_EQ(KV_Win_chooseScale(nullptr, kVariable), screen) << other;
  }
  setVariable(nullptr);
  EXPECT_EQ(KV_Win_chooseScale(nullptr, kVariable), screen);
}

#if !defined(_WIN32)
// Publishes `resources` as the server's resource string (what xrdb writes), or removes it.
void publish(Display* d, const std::string* resources) {
  const Atom property = XInternAtom(d, "RESOURCE_MANAGER", False);
  if (resources)
    XChangeProperty(d, DefaultRootWindow(d), property, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources->data()), static_cast<int>(resources->size()));
  else
    XDeleteProperty(d, DefaultRootWindow(d), property);
  XSync(d, False);
}

TEST(WinScale, XftDpiOfTheDesktopDecidesOnX11) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) GTEST_SKIP() << "no X display";
  const Atom property = XInternAtom(d, "RESOURCE_MANAGER", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* kept = nullptr;
  XGetWindowProperty(d, DefaultRootWindow(d), property, 0, 1 << 20, False, XA_STRING, &type, &format, &count, &after,
                     &kept);
  const std::string saved = kept ? std::string(reinterpret_cast<char*>(kept), count) : std::string();
  if (kept) XFree(kept);

  const std::string high = "Xcursor.size:\t48\nXft.dpi:\t192\n", middle = "Xft.dpi: 143.5\n", none = "Xft.antialias: 1\n";
  publish(d, &high);
  EXPECT_EQ(KV_Win_dpi(nullptr), 192);
  EXPECT_EQ(KV_Win_chooseScale(nullptr, nullptr), 2);
  publish(d, &middle);
  EXPECT_EQ(KV_Win_dpi(nullptr), 143);
  EXPECT_EQ(KV_Win_chooseScale(nullptr, nullptr), 1);
  publish(d, &none);
  EXPECT_EQ(KV_Win_dpi(nullptr), KV_Win_BASE_DPI);

  publish(d, type == XA_STRING ? &saved : nullptr);
  XCloseDisplay(d);
}
#endif

}  // namespace
