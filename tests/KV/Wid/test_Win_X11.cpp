// The X11 window on a real display: a child of the host's window, events read at idle, redraws
// from other threads queued for the interface thread, a host window destroyed first.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "KV/Wid/Wid.h"
#include "KV/Win/Win_X11.h"

// Xlib's macros (None, Bool, ...) come last, after every C++ header.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Counts its paints and fills them with one colour.
struct Counting : KV_Wid {
  std::atomic<int> paints{0};
  std::atomic<int> downs{0};
  Counting() { width = 64, height = 64; }
  void paint(KV_Pic_Base<KV_Pix_A32>& t, int32_t x, int32_t y, const KV_Rect& s) override {
    ++paints;
    for (int32_t i = 0; i < s.bottom - s.top; ++i)
      for (int32_t j = 0; j < s.right - s.left; ++j) t.row(y + i)[x + j] = KV_Pix_A32{0, 0, 200, 255};
  }
};

class WinX11 : public testing::Test {
 protected:
  Display* host = nullptr;
  Window parent = 0;
  void SetUp() override {
    host = XOpenDisplay(nullptr);
    if (!host) GTEST_SKIP() << "no X display";
    parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 200, 100, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);
  }
  void TearDown() override {
    if (!host) return;
    if (parent) XDestroyWindow(host, parent);
    XCloseDisplay(host);
  }
  void* handle() const { return reinterpret_cast<void*>(parent); }
  // Runs the window's idle calls for a while, as a host's editor idle does.
  static void idleFor(KV_Win_X11& w, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      w.idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
};

TEST_F(WinX11, TheWindowIsAChildOfTheHostsWindowOfItsOwnSize) {
  KV_Win_X11 win(172, 70);
  EXPECT_EQ(win.hwnd(handle()), handle());
  ASSERT_NE(win.windowId(), 0u);
  Window root, up, *children = nullptr;
  unsigned n = 0;
  ASSERT_TRUE(XQueryTree(host, parent, &root, &up, &children, &n));
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(children[0], win.windowId());
  XFree(children);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(host, win.windowId(), &a));
  EXPECT_EQ(a.width, 172);
  EXPECT_EQ(a.height, 70);
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, 0);
  // The same parent again changes nothing; null hides.
  const unsigned long id = win.windowId();
  win.hwnd(handle());
  EXPECT_EQ(win.windowId(), id);
  EXPECT_EQ(win.hwnd(nullptr), nullptr);
  EXPECT_EQ(win.windowId(), 0u);
  XSync(host, False);
  ASSERT_TRUE(XQueryTree(host, parent, &root, &up, &children, &n));
  EXPECT_EQ(n, 0u);
  if (children) XFree(children);
}

TEST_F(WinX11, ARedrawFromAnotherThreadWaitsForTheNextIdle) {
  KV_Win_X11 win(64, 64);
  Counting w;
  w.attach(&win);
  win.hwnd(handle());
  idleFor(win, 50);  // the first exposure
  const int before = w.paints;
  std::thread other([&] { win.redraw(KV_Rect{0, 0, 64, 64}); });
  other.join();
  EXPECT_EQ(w.paints, before);  // nothing painted on the other thread
  win.idle();
  EXPECT_EQ(w.paints, before + 1);
  win.idle();
  EXPECT_EQ(w.paints, before + 1);  // painted once
  win.redraw(KV_Rect{0, 0, 10, 10});  // on the interface thread: at once
  EXPECT_EQ(w.paints, before + 2);
  w.attach(nullptr);
}

TEST_F(WinX11, TheComposedTilesReachTheScreen) {
  KV_Win_X11 win(64, 64);
  Counting w;
  w.attach(&win);
  win.hwnd(handle());
  idleFor(win, 80);
  XSync(host, False);
  XImage* img = XGetImage(host, win.windowId(), 0, 0, 64, 64, AllPlanes, ZPixmap);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(XGetPixel(img, 10, 10) & 0xFFFFFF, 0xC80000u);  // red 200
  EXPECT_EQ(XGetPixel(img, 63, 63) & 0xFFFFFF, 0xC80000u);
  XDestroyImage(img);
  w.attach(nullptr);
}

TEST_F(WinX11, AHostThatDestroysItsWindowFirstLeavesNothingToCrashOn) {
  auto* win = new KV_Win_X11(64, 64);
  Counting w;
  w.attach(win);
  win->hwnd(handle());
  idleFor(*win, 20);
  XDestroyWindow(host, parent);
  XSync(host, False);
  parent = 0;
  win->hwnd(nullptr);  // the child went with the parent: no request may name it
  delete win;          // and the widget still attached loses its link
  EXPECT_EQ(w.window, nullptr);
}

TEST_F(WinX11, TwoWindowsPaintOnlyTheirOwnWidgets) {
  KV_Win_X11 a(64, 64), b(64, 64);
  Counting wa, wb;
  wa.attach(&a);
  wb.attach(&b);
  Window parent2 = XCreateSimpleWindow(host, DefaultRootWindow(host), 300, 0, 100, 100, 0, 0, 0);
  XMapWindow(host, parent2);
  XSync(host, False);
  a.hwnd(handle());
  b.hwnd(reinterpret_cast<void*>(parent2));
  idleFor(a, 40);
  idleFor(b, 40);
  const int pa = wa.paints, pb = wb.paints;
  a.redraw(KV_Rect{0, 0, 64, 64});
  EXPECT_EQ(wa.paints, pa + 1);
  EXPECT_EQ(wb.paints, pb);
  b.hwnd(nullptr);
  XDestroyWindow(host, parent2);
  wa.attach(nullptr);
  wb.attach(nullptr);
}

}  // namespace
#endif
