// The Linux window: a child of the host's X11 window on a Display connection of its own. Its
// events are read in the editor's idle call; each composed tile goes to the screen with
// XPutImage. Xlib is entered only from the interface thread (the one that showed the window): a
// redraw asked for on another thread is queued and painted at the next idle.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "KV/Win/Win.h"

class KV_Win_X11 : public KV_Win {
 public:
  KV_Win_X11(int32_t w, int32_t h);
  ~KV_Win_X11() override;

  // Shows the window inside the X11 window `newParent` (a window id in a pointer, as hosts pass
  // it), or hides it when null. Answers the parent now in force.
  void* hwnd(void* newParent);

  void redraw(const KV_Rect& rect) override;
  bool ownThread() const override { return std::this_thread::get_id() == interfaceThread; }

  // Handles the pending events of the window, then paints the queued redraws.
  void idle();

  // The editor's part of opening: hosts size their X11 window from the editor's rectangle.
  static void fitParent(void*, int32_t, int32_t) {}

  // The child window's id, 0 while hidden.
  unsigned long windowId() const { return window; }

 protected:
  void showTile(KV_Surface surface, int32_t srcX, int32_t srcY, const KV_Rect& dest) override;

 private:
  struct X;  // the Xlib objects, kept out of this header
  X* x = nullptr;
  unsigned long parent = 0;
  unsigned long window = 0;
  std::thread::id interfaceThread;
  std::mutex queueLock;  // guards the queued rectangle
  KV_Rect queued{0, 0, 0, 0};

  bool createChild();
  void destroyChild();
  void paintNow(const KV_Rect& rect);
  void handleEvent(void* event);
  void paintQueued();
};
