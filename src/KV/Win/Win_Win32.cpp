#include "KV/Win/Win_Win32.h"

#include <cstdio>
#include <mutex>

#include "KV_cfuncs.h"

namespace {

// "KVFRAME" until the class is registered, then "KVFRAMEx" and the module handle.
char classNameText[32] = "KVFRAME";
std::once_flag classOnce;

// Registers the window class once per process; it is never unregistered.
void registerClass(WNDPROC proc) {
  std::snprintf(classNameText, sizeof classNameText, "KVFRAMEx%8.8X",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(hInstance)));
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;  // 48 on 32-bit Windows
  wc.lpfnWndProc = proc;
  wc.hInstance = static_cast<HINSTANCE>(hInstance);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = classNameText;
  RegisterClassExA(&wc);
}

// The process-wide list of windows: each joins at construction and leaves at destruction.
KV_Chain& windowList() {
  static KV_Chain list;
  return list;
}
std::mutex windowListLock;

// A message's position: the low and high 16 bits, each a signed 16-bit number.
int32_t lowX(LPARAM lp) { return static_cast<int16_t>(static_cast<uint16_t>(lp & 0xFFFF)); }
int32_t highY(LPARAM lp) { return static_cast<int16_t>(static_cast<uint16_t>((lp >> 16) & 0xFFFF)); }

}  // namespace

const char* KV_Win_Win32::className() { return classNameText; }

KV_Win_Win32::KV_Win_Win32(int32_t w, int32_t h) : KV_Win(w, h) {
  windowListMember.owner = reinterpret_cast<KV_Object*>(this);
  paintMutex = CreateMutexA(nullptr, FALSE, nullptr);
  std::lock_guard<std::mutex> lock(windowListLock);
  windowList().insert(&windowListMember);
}

KV_Win_Win32::~KV_Win_Win32() {
  if (parent) hwnd(nullptr);
  {
    std::lock_guard<std::mutex> lock(windowListLock);
    windowList().remove(&windowListMember);
  }
  if (paintMutex) CloseHandle(paintMutex);
}

HWND KV_Win_Win32::hwnd(HWND newParent) {
  std::call_once(classOnce, registerClass, &KV_Win_Win32::windowProc);
  if (newParent == parent) return parent;
  if (parent) destroyChild();
  parent = newParent;
  if (!parent) return parent;
  handle = CreateWindowExA(0, classNameText, "Window", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                           0, width, height, parent, nullptr, static_cast<HINSTANCE>(hInstance), nullptr);
  if (!handle) return parent;
  SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  HDC windowDc = GetDC(handle);
  tilePic.dc = CreateCompatibleDC(windowDc);
  ReleaseDC(handle, windowDc);
  if (tilePic.dc && tilePic.bitmap) SelectObject(tilePic.dc, tilePic.bitmap);
  return parent;
}

void KV_Win_Win32::destroyChild() {
  if (handle) {
    // The window procedure must not reach this object while the window goes away.
    SetWindowLongPtrA(handle, GWLP_USERDATA, 0);
    DestroyWindow(handle);
    handle = nullptr;
  }
  if (tilePic.dc) {
    DeleteDC(tilePic.dc);
    tilePic.dc = nullptr;
  }
  leaveTracking = false;
}

bool KV_Win_Win32::ownThread() const {
  HWND h = handle;
  return !h || GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId();
}

void KV_Win_Win32::redraw(const KV_Rect& rect) {
  HWND h = handle;
  if (!h) return;
  if (!ownThread()) {
    const RECT r{rect.left, rect.top, rect.right, rect.bottom};
    InvalidateRect(h, &r, FALSE);
    return;
  }
  HDC dc = GetDC(h);
  if (!dc) return;
  paintRect(dc, rect);
  ReleaseDC(h, dc);
}

bool KV_Win_Win32::lockPaint() {
  const DWORD r = WaitForSingleObject(paintMutex, PAINT_WAIT_MS);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void KV_Win_Win32::unlockPaint() { ReleaseMutex(paintMutex); }

void KV_Win_Win32::showTile(KV_Surface surface, int32_t srcX, int32_t srcY, const KV_Rect& dest) {
  if (!surface || !tilePic.dc) return;
  BitBlt(static_cast<HDC>(surface), dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, tilePic.dc,
         srcX, srcY, SRCCOPY);
}

void KV_Win_Win32::fitParent(HWND parent, int32_t w, int32_t h) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(parent, &placement);
  SetWindowPos(parent, nullptr, placement.rcNormalPosition.left, placement.rcNormalPosition.top, w, h, 0);
}

LRESULT CALLBACK KV_Win_Win32::windowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<KV_Win_Win32*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  if (!self || self->handle != h) return DefWindowProcA(h, msg, wp, lp);
  return self->handle_message(msg, wp, lp);
}

LRESULT KV_Win_Win32::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(handle, &ps);
      paintRect(dc, KV_Rect{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
      EndPaint(handle, &ps);
      return 0;
    }
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE:
      if (!leaveTracking) {
        leaveTracking = true;
        TRACKMOUSEEVENT t{};
        t.cbSize = sizeof t;
        t.dwFlags = TME_LEAVE;
        t.hwndTrack = handle;
        t.dwHoverTime = HOVER_DEFAULT;
        TrackMouseEvent(&t);
      }
      mouseMove(lowX(lp), highY(lp));
      return 0;
    case WM_LBUTTONDOWN:
      SetCapture(handle);
      mouseDown(lowX(lp), highY(lp));
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      mouseUp();
      return 0;
    case WM_MOUSELEAVE:
      // The report is given once per request: ask again at the next movement.
      leaveTracking = false;
      ReleaseCapture();
      mouseLeave();
      return 0;
    case WM_NCDESTROY: {
      // The host destroyed its window, and this one with it: forget the handle, so that a later
      // hide never destroys a window that has since been given the same handle.
      HWND h = handle;
      SetWindowLongPtrA(h, GWLP_USERDATA, 0);
      handle = nullptr;
      parent = nullptr;
      if (tilePic.dc) {
        DeleteDC(tilePic.dc);
        tilePic.dc = nullptr;
      }
      return DefWindowProcA(h, msg, wp, lp);
    }
    default:
      return DefWindowProcA(handle, msg, wp, lp);
  }
}
