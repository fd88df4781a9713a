#include <windows.h>

#include "KV/Win/Scale.h"

int32_t KV_Win_dpi(void* parent) {
  // GetDpiForWindow exists from Windows 10 1607 on; older systems have one DPI for the screen.
  using DpiForWindow = UINT(WINAPI*)(HWND);
  static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (parent && dpiForWindow) {
    const UINT dpi = dpiForWindow(static_cast<HWND>(parent));
    if (dpi > 0) return static_cast<int32_t>(dpi);
  }
  HDC screen = GetDC(nullptr);
  if (!screen) return KV_Win_BASE_DPI;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : KV_Win_BASE_DPI;
}

bool KV_Win_variable(const char* name, char* out, size_t size) {
  // The process's own block, which a host changes with SetEnvironmentVariable, not the C
  // runtime's copy.
  const DWORD n = GetEnvironmentVariableA(name, out, static_cast<DWORD>(size));
  return n > 0 && n < size;
}
