// The Windows window: a child window of the host's editor window, drawn tile by tile with BitBlt
// from the tile picture's memory device context, fed with the system's mouse messages.
#pragma once

#include "KV_windows.h"

#include "KV/Win/Win.h"

class KV_Win_Win32 : public KV_Win {
 public:
  HWND parent = nullptr;   // the host's window; null while not shown
  HWND handle = nullptr;   // the child window; null before the first hwnd or after it is gone
  bool leaveTracking = false;
  HANDLE paintMutex;       // unnamed, not owned at construction
  KV_Chain_Item windowListMember{nullptr};  // place in the process-wide list of windows

  KV_Win_Win32(int32_t w, int32_t h);
  ~KV_Win_Win32() override;

  // Shows the window inside `newParent` (creating the child window), or hides it when null.
  // Answers the parent now in force.
  HWND hwnd(HWND newParent);

  // On another thread than the window's, the rectangle is invalidated: the window's thread paints
  // it with its next WM_PAINT.
  void redraw(const KV_Rect& rect) override;
  bool ownThread() const override;
  KV_Surface tileContext() const override { return tilePic.dc; }

  // The editor's part of opening: sizes the host's window to the panel at its normal position.
  static void fitParent(HWND parent, int32_t w, int32_t h);
  // The registered class name: "KVFRAMEx" and the module handle in eight hex digits.
  static const char* className();

  // Nothing to do: the system delivers the window's messages on the interface thread.
  void idle() {}

 protected:
  bool lockPaint() override;
  void unlockPaint() override;
  void showTile(KV_Surface surface, int32_t srcX, int32_t srcY, const KV_Rect& dest) override;

 private:
  static LRESULT CALLBACK windowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp);
  void destroyChild();
};
