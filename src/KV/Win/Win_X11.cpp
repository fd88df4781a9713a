#include "KV/Win/Win_X11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>


struct KV_Win_X11::X {
  Display* display = nullptr;
  Visual* visual = nullptr;
  int depth = 0;
  Colormap colormap = 0;
  GC gc = nullptr;
  XImage* image = nullptr;  // laid over the tile picture's pixels
};

namespace {
KV_Rect unite(const KV_Rect& a, const KV_Rect& b) {
  if (KV_isEmpty(a)) return b;
  if (KV_isEmpty(b)) return a;
  return KV_Rect{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                 a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}

constexpr long kEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | LeaveWindowMask |
                         StructureNotifyMask;
}  // namespace

KV_Win_X11::KV_Win_X11(int32_t w, int32_t h) : KV_Win(w, h) {}

KV_Win_X11::~KV_Win_X11() {
  if (parent) hwnd(nullptr);
}

void* KV_Win_X11::hwnd(void* newParent) {
  const unsigned long p = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(newParent));
  if (p == parent) return newParent;
  if (parent) destroyChild();
  parent = p;
  if (parent && !createChild()) parent = 0;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
}

bool KV_Win_X11::createChild() {
  x = new X;
  x->display = XOpenDisplay(nullptr);
  if (!x->display) {
    delete x;
    x = nullptr;
    return false;
  }
  Display* d = x->display;
  const int screen = DefaultScreen(d);
  // The tile pixels are B, G, R, A bytes: a 24-bit true-colour visual with red in the high byte
  // takes them as they are.
  XVisualInfo info;
  if (XMatchVisualInfo(d, screen, 24, TrueColor, &info) && info.red_mask == 0xFF0000 && info.blue_mask == 0xFF) {
    x->visual = info.visual;
    x->depth = 24;
  } else {
    x->visual = DefaultVisual(d, screen);
    x->depth = DefaultDepth(d, screen);
  }
  x->colormap = XCreateColormap(d, RootWindow(d, screen), x->visual, AllocNone);
  XSetWindowAttributes a{};
  a.background_pixmap = None;  // the tiles cover everything: no clearing between repaints
  a.border_pixel = 0;
  a.colormap = x->colormap;
  a.event_mask = kEvents;
  window = XCreateWindow(d, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0, x->depth,
                         InputOutput, x->visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &a);
  x->gc = XCreateGC(d, window, 0, nullptr);
  x->image = XCreateImage(d, x->visual, static_cast<unsigned>(x->depth), ZPixmap, 0,
                          reinterpret_cast<char*>(tilePic.pixels), TILE, TILE, 32, TILE * 4);
  if (x->image) {
    x->image->byte_order = LSBFirst;
    x->image->bitmap_bit_order = LSBFirst;
  }
  interfaceThread = std::this_thread::get_id();
  XMapWindow(d, window);
  XSync(d, False);  // the window exists for every client once hwnd returns
  return true;
}

void KV_Win_X11::destroyChild() {
  if (!x) return;
  Display* d = x->display;
  // A host may destroy its window (and this one with it) before it closes the editor: learn of
  // it first, so that no request names a window that is gone.
  XSync(d, False);
  XEvent e;
  while (window && XCheckTypedWindowEvent(d, window, DestroyNotify, &e)) window = 0;
  if (x->image) {
    x->image->data = nullptr;  // the pixels belong to the tile picture
    XDestroyImage(x->image);
  }
  if (x->gc) XFreeGC(d, x->gc);
  if (window) XDestroyWindow(d, window);
  if (x->colormap) XFreeColormap(d, x->colormap);
  XCloseDisplay(d);
  delete x;
  x = nullptr;
  window = 0;
  std::lock_guard<std::mutex> lock(queueLock);
  queued = KV_Rect{0, 0, 0, 0};
}

void KV_Win_X11::redraw(const KV_Rect& rect) {
  if (!window) return;
  if (ownThread()) {
    paintNow(rect);
    return;
  }
  std::lock_guard<std::mutex> lock(queueLock);
  queued = unite(queued, rect);
}

void KV_Win_X11::paintNow(const KV_Rect& rect) {
  if (!x || !x->image) return;
  paintRect(x, rect);
  XFlush(x->display);
}

void KV_Win_X11::showTile(KV_Surface surface, int32_t srcX, int32_t srcY, const KV_Rect& dest) {
  X* s = static_cast<X*>(surface);
  if (!s || !s->image) return;
  XPutImage(s->display, window, s->gc, s->image, srcX, srcY, dest.left, dest.top,
            static_cast<unsigned>(dest.right - dest.left), static_cast<unsigned>(dest.bottom - dest.top));
}

void KV_Win_X11::idle() {
  if (!x) return;
  while (x && XPending(x->display)) {
    XEvent e;
    XNextEvent(x->display, &e);
    handleEvent(&e);
  }
  paintQueued();
}

void KV_Win_X11::paintQueued() {
  KV_Rect r;
  {
    std::lock_guard<std::mutex> lock(queueLock);
    r = queued;
    queued = KV_Rect{0, 0, 0, 0};
  }
  if (!KV_isEmpty(r)) paintNow(r);
}

void KV_Win_X11::handleEvent(void* event) {
  XEvent& e = *static_cast<XEvent*>(event);
  if (e.xany.window != window) return;
  switch (e.type) {
    case Expose: {
      const KV_Rect r{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height};
      std::lock_guard<std::mutex> lock(queueLock);
      queued = unite(queued, r);
      break;
    }
    case MotionNotify:
      mouseMove(e.xmotion.x, e.xmotion.y);
      break;
    case ButtonPress:
      // The server grabs the pointer for the window while the button is held, so the drag keeps
      // coming here when it leaves the window.
      if (e.xbutton.button == Button1) mouseDown(e.xbutton.x, e.xbutton.y);
      break;
    case ButtonRelease:
      if (e.xbutton.button == Button1) mouseUp();
      break;
    case LeaveNotify:
      // A drag holds the pointer grab and goes on outside the window; only its release ends it.
      if (!capture) mouseLeave();
      break;
    case DestroyNotify:
      // The host destroyed its window, and this one with it.
      window = 0;
      break;
    default:
      break;
  }
}
