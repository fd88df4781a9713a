// The host's editor window on X11: a top-level window on the host's own connection; mouse
// actions are sent to the editor's child window as events; the picture is read back with
// XGetImage.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

#include "EditorHost.h"

struct EditorHost::Native {
  Display* display = nullptr;
  Window window = 0;
  bool buttonDown = false;
};

void EditorHost::forceScale(int scale) {
  if (scale == 0) unsetenv(SCALE_VARIABLE);
  else setenv(SCALE_VARIABLE, scale == 2 ? "2" : "1", 1);
}

bool EditorHost::createWindow(std::string& error) {
  native_ = new Native;
  Display* d = native_->display = XOpenDisplay(nullptr);
  if (!d) {
    error = "the editor needs an X display: set DISPLAY (without a desktop: Xvfb :50 & DISPLAY=:50)";
    delete native_;
    native_ = nullptr;
    return false;
  }
  const int screen = DefaultScreen(d);
  // Side by side, so that several editors of one program never cover each other on the screen
  // (what a screenshot reads).
  // Only as many as the screen's width holds: a window partly off the screen cannot be read back.
  static int opened = 0;
  const int across = DisplayWidth(d, screen) / (width_ + 8);
  const int x = across > 0 ? (opened++ % (across < 4 ? across : 4)) * (width_ + 8) : 0;
  native_->window = XCreateSimpleWindow(d, RootWindow(d, screen), x, 0, static_cast<unsigned>(width_),
                                        static_cast<unsigned>(height_), 0, BlackPixel(d, screen),
                                        BlackPixel(d, screen));
  XStoreName(d, native_->window, "vsthost editor");
  XSelectInput(d, native_->window, StructureNotifyMask);
  XMapWindow(d, native_->window);
  XEvent e;
  do XNextEvent(d, &e);
  while (e.type != MapNotify);
  return true;
}

void EditorHost::destroyWindow() {
  if (!native_) return;
  XDestroyWindow(native_->display, native_->window);
  XCloseDisplay(native_->display);
  delete native_;
  native_ = nullptr;
}

void* EditorHost::parentHandle() const { return reinterpret_cast<void*>(native_->window); }

void EditorHost::deliver() {
  if (!native_) return;
  Display* d = native_->display;
  while (XPending(d)) {
    XEvent e;
    XNextEvent(d, &e);
  }
}

namespace {
// The editor's window: the first child of the host's window.
Window editorWindow(Display* d, Window parent) {
  Window root, up, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, parent, &root, &up, &children, &n) && n > 0) found = children[0];
  if (children) XFree(children);
  return found;
}
}  // namespace

void EditorHost::sendMouse(int kind, int x, int y) {
  if (!native_) return;
  Display* d = native_->display;
  const Window target = editorWindow(d, native_->window);
  if (!target) return;
  XEvent e{};
  if (kind == 0) {
    e.type = MotionNotify;
    e.xmotion.window = target;
    e.xmotion.x = x;
    e.xmotion.y = y;
    e.xmotion.state = native_->buttonDown ? Button1Mask : 0;
  } else {
    e.type = kind == 1 ? ButtonPress : ButtonRelease;
    e.xbutton.window = target;
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.button = Button1;
    native_->buttonDown = kind == 1;
  }
  e.xany.display = d;
  XSendEvent(d, target, False, kind == 0 ? PointerMotionMask : (kind == 1 ? ButtonPressMask : ButtonReleaseMask), &e);
  XSync(d, False);
}

bool EditorHost::screenshot(kvpic::Image& out) {
  if (!native_) return false;
  Display* d = native_->display;
  XSync(d, False);
  XImage* img = XGetImage(d, native_->window, 0, 0, static_cast<unsigned>(width_), static_cast<unsigned>(height_),
                          AllPlanes, ZPixmap);
  if (!img) return false;
  out = kvpic::Image(width_, height_);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      uint8_t* q = out.at(x, y);
      q[0] = static_cast<uint8_t>(p & 0xFF);
      q[1] = static_cast<uint8_t>(p >> 8 & 0xFF);
      q[2] = static_cast<uint8_t>(p >> 16 & 0xFF);
      q[3] = 255;
    }
  XDestroyImage(img);
  return true;
}
