// The host's editor window on Windows: a top-level frame holding a container child of the
// editor's size, which is the window handed to the plug-in; mouse actions are sent to the
// editor's child window as messages; the picture is copied from the container with BitBlt.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "EditorHost.h"

struct EditorHost::Native {
  HWND frame = nullptr;
  HWND container = nullptr;
  bool buttonDown = false;
};

namespace {
const char* const kFrameClass = "vsthostEditorFrame";

void registerClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kFrameClass;
  RegisterClassExA(&wc);
  done = true;
}
}  // namespace

void EditorHost::forceScale(int scale) {
  // The process's block, which the plug-in reads; not the C runtime's copy.
  SetEnvironmentVariableA(SCALE_VARIABLE, scale == 0 ? nullptr : (scale == 2 ? "2" : "1"));
}

bool EditorHost::createWindow(std::string& error) {
  registerClass();
  native_ = new Native;
  RECT r{0, 0, width_, height_};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
  native_->frame = CreateWindowExA(0, kFrameClass, "vsthost editor", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                   r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                                   nullptr);
  if (native_->frame)
    native_->container = CreateWindowExA(0, kFrameClass, "editor", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                         width_, height_, native_->frame, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!native_->container) {
    error = "cannot create a window";
    destroyWindow();
    return false;
  }
  ShowWindow(native_->frame, SW_SHOWNORMAL);
  UpdateWindow(native_->frame);
  return true;
}

void EditorHost::destroyWindow() {
  if (!native_) return;
  if (native_->frame) DestroyWindow(native_->frame);
  delete native_;
  native_ = nullptr;
}

void* EditorHost::parentHandle() const { return native_->container; }

void EditorHost::deliver() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

void EditorHost::sendMouse(int kind, int x, int y) {
  if (!native_) return;
  HWND target = GetWindow(native_->container, GW_CHILD);
  if (!target) return;
  const LPARAM pos = MAKELPARAM(static_cast<WORD>(static_cast<int16_t>(x)), static_cast<WORD>(static_cast<int16_t>(y)));
  if (kind == 0) {
    SendMessageA(target, WM_MOUSEMOVE, native_->buttonDown ? MK_LBUTTON : 0, pos);
  } else if (kind == 1) {
    native_->buttonDown = true;
    SendMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, pos);
  } else {
    native_->buttonDown = false;
    SendMessageA(target, WM_LBUTTONUP, 0, pos);
  }
}

bool EditorHost::screenshot(kvpic::Image& out) {
  if (!native_) return false;
  HDC src = GetDC(native_->container);
  if (!src) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC mem = CreateCompatibleDC(src);
  HGDIOBJ old = SelectObject(mem, bm);
  const bool ok = BitBlt(mem, 0, 0, width_, height_, src, 0, 0, SRCCOPY) != 0;
  GdiFlush();
  if (ok) {
    out = kvpic::Image(width_, height_);
    const uint8_t* p = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < out.bgra.size(); i += 4) {
      out.bgra[i] = p[i];
      out.bgra[i + 1] = p[i + 1];
      out.bgra[i + 2] = p[i + 2];
      out.bgra[i + 3] = 255;
    }
  }
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bm);
  ReleaseDC(native_->container, src);
  return ok;
}
