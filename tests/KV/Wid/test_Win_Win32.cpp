// The Win32 window under the real window system: the class, the child window, the window
// procedure's answers and mouse routing, and a host that destroys its window first.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "KV/Wid/Knob.h"
#include "KV/Win/Win_Win32.h"
#include "KV_cfuncs.h"
#include "kvpicture.h"

namespace {

struct Counting : KV_Wid {
  int paints = 0;
  Counting() { width = 64, height = 64; }
  void paint(KV_Pic_Base<KV_Pix_A32>&, int32_t, int32_t, const KV_Rect&) override { ++paints; }
};

class WinWin32 : public testing::Test {
 protected:
  HWND parent = nullptr;
  void SetUp() override {
    parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
  }
  void TearDown() override {
    if (parent) DestroyWindow(parent);
  }
  static LPARAM at(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }
};

TEST_F(WinWin32, TheChildWindowIsMadeOfTheRegisteredClass) {
  KV_Win_Win32 win(172, 238);
  EXPECT_STREQ(KV_Win_Win32::className(), "KVFRAME");  // not registered before the first hwnd
  EXPECT_EQ(win.hwnd(parent), parent);
  char expected[32];
  std::snprintf(expected, sizeof expected, "KVFRAMEx%8.8X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(hInstance)));
  EXPECT_STREQ(KV_Win_Win32::className(), expected);
  ASSERT_NE(win.handle, nullptr);
  char name[64] = {};
  GetClassNameA(win.handle, name, sizeof name);
  EXPECT_STREQ(name, expected);
  char title[16] = {};
  GetWindowTextA(win.handle, title, sizeof title);
  EXPECT_STREQ(title, "Window");
  const LONG style = GetWindowLongA(win.handle, GWL_STYLE);
  const LONG wanted = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  EXPECT_EQ(style & wanted, wanted);
  EXPECT_EQ(GetParent(win.handle), parent);
  EXPECT_EQ(GetWindowLongPtrA(win.handle, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&win));
  RECT r;
  GetClientRect(win.handle, &r);
  EXPECT_EQ(r.right, 172);
  EXPECT_EQ(r.bottom, 238);
  EXPECT_NE(win.tilePic.dc, nullptr);
  EXPECT_EQ(SendMessageA(win.handle, WM_ERASEBKGND, 0, 0), 1);
  // Hidden again: the child window is gone.
  HWND child = win.handle;
  EXPECT_EQ(win.hwnd(nullptr), nullptr);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(win.tilePic.dc, nullptr);
}

TEST_F(WinWin32, MouseMessagesTurnAKnobAndADisabledOneIgnoresThem) {
  std::vector<kvpic::Image> frames;
  for (int f = 0; f < 100; ++f) {
    kvpic::Image img(32, 32);
    for (size_t i = 3; i < img.bgra.size(); i += 4) img.bgra[i] = 254;
    frames.push_back(img);
  }
  const std::vector<uint8_t> strip = kvpic::encodeKVVF(frames);
  KV_Win_Win32 win(100, 100);
  KV_Wid_Knob knob;
  knob.width = knob.height = 32;
  knob.useResource("knob", strip.data(), strip.size());
  knob.frame = 50;
  knob.attach(&win);
  win.hwnd(parent);
  SendMessageA(win.handle, WM_MOUSEMOVE, 0, at(10, 10));
  EXPECT_EQ(win.hovered, &knob);
  SendMessageA(win.handle, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 10));
  EXPECT_EQ(win.capture, &knob);
  SendMessageA(win.handle, WM_MOUSEMOVE, MK_LBUTTON, at(40, 0));  // 30 right, 10 up: 40 frames
  SendMessageA(win.handle, WM_LBUTTONUP, 0, at(40, 0));
  EXPECT_EQ(win.capture, nullptr);
  EXPECT_EQ(knob.frame, 90);
  // A drag far outside the window still reaches the knob (negative 16-bit coordinates).
  SendMessageA(win.handle, WM_MOUSEMOVE, 0, at(10, 10));
  SendMessageA(win.handle, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 10));
  SendMessageA(win.handle, WM_MOUSEMOVE, MK_LBUTTON, at(-20, 10));
  SendMessageA(win.handle, WM_MOUSELEAVE, 0, 0);  // the leave report ends the drag
  EXPECT_EQ(knob.frame, 60);
  EXPECT_EQ(win.capture, nullptr);

  knob.enabled = 0;
  SendMessageA(win.handle, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 10));
  EXPECT_EQ(win.capture, nullptr);
  SendMessageA(win.handle, WM_MOUSEMOVE, MK_LBUTTON, at(60, 10));
  SendMessageA(win.handle, WM_LBUTTONUP, 0, at(60, 10));
  EXPECT_EQ(knob.frame, 60);
  knob.attach(nullptr);
}

TEST_F(WinWin32, AHostThatDestroysItsWindowFirstLeavesNoHandleBehind) {
  auto* win = new KV_Win_Win32(64, 64);
  Counting w;
  w.attach(win);
  win->hwnd(parent);
  HWND child = win->handle;
  DestroyWindow(parent);
  parent = nullptr;
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(win->handle, nullptr);
  win->redraw(KV_Rect{0, 0, 64, 64});  // nothing to draw on: nothing happens
  EXPECT_EQ(w.paints, 0);
  win->hwnd(nullptr);
  delete win;
  EXPECT_EQ(w.window, nullptr);
}

TEST_F(WinWin32, PaintingWaitsASecondForTheLockThenGivesUp) {
  KV_Win_Win32 win(64, 64);
  Counting w;
  w.attach(&win);
  win.hwnd(parent);
  win.redraw(KV_Rect{0, 0, 64, 64});
  EXPECT_EQ(w.paints, 1);
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr), release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    WaitForSingleObject(win.paintMutex, INFINITE);
    SetEvent(held);
    WaitForSingleObject(release, INFINITE);
    ReleaseMutex(win.paintMutex);
  });
  WaitForSingleObject(held, INFINITE);
  const DWORD start = GetTickCount();
  win.redraw(KV_Rect{0, 0, 64, 64});
  const DWORD waited = GetTickCount() - start;
  EXPECT_EQ(w.paints, 1);
  EXPECT_GE(waited, 900u);
  SetEvent(release);
  holder.join();
  CloseHandle(held);
  CloseHandle(release);
  win.redraw(KV_Rect{0, 0, 64, 64});
  EXPECT_EQ(w.paints, 2);
  w.attach(nullptr);
}

}  // namespace
#endif
