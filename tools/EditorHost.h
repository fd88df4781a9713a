// The host side of a plug-in editor: a window of the host's own that the editor is opened into,
// mouse actions sent to the editor's window as the window system delivers them, the host's idle
// calls, and a picture of what the editor shows. X11 on Linux, Win32 on Windows.
#pragma once

#include <string>

#include "kvpicture.h"
#include "vst/aeffect.h"

// The variable the project's plug-ins read for their editor's scale.
constexpr const char* SCALE_VARIABLE = "VARNEX_UI_SCALE";

class EditorHost {
 public:
  EditorHost() = default;
  EditorHost(const EditorHost&) = delete;
  EditorHost& operator=(const EditorHost&) = delete;
  ~EditorHost();

  // Asks the editor's rectangle, makes a window of that size and opens the editor in it; false
  // with a reason when the plug-in has no editor or no window can be made.
  bool open(AEffect* fx, std::string& error);
  // Closes the editor and destroys the host's window.
  void close();
  // Closes the editor and keeps the host's window for the next open, as a host that reuses its
  // editor frame does.
  void closeEditor();
  bool isOpen() const { return fx_ != nullptr; }

  // Mouse actions at editor coordinates; each is followed by a pump.
  void move(int x, int y);
  void press(int x, int y);
  void release(int x, int y);
  // Press at the start, moves in `steps` steps, release at the end.
  void drag(int x0, int y0, int x1, int y1, int steps = 8);
  void click(int x, int y) {
    move(x, y);
    press(x, y);
    release(x, y);
  }

  // Delivers pending window messages and gives the editor its idle calls for about `ms`.
  void pump(int ms = 30);
  // What the editor's window shows, width x height of the editor's rectangle.
  bool screenshot(kvpic::Image& out);

  // Makes the editors of this process's plug-ins open at `scale` (1 or 2) whatever the screen:
  // sets their variable VARNEX_UI_SCALE; 0 clears it, leaving the choice to the screen.
  static void forceScale(int scale);

  int width() const { return width_; }
  int height() const { return height_; }

 private:
  struct Native;
  Native* native_ = nullptr;
  AEffect* fx_ = nullptr;
  int width_ = 0, height_ = 0;

  bool createWindow(std::string& error);
  void destroyWindow();
  void* parentHandle() const;
  void sendMouse(int kind, int x, int y);  // 0 move, 1 press, 2 release
  void deliver();
};
