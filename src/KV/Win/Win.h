// The portable window: square tiles of 64 pixels that each list the widgets overlapping them,
// composition of a rectangle tile by tile in one 64 x 64 buffer, hover and capture, and the mouse
// handling that the platform windows feed with their messages.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "KV/KV.h"
#include "KV/Pic/Pic.h"

struct KV_Wid;

// One widget's place in one tile: the item's owner is the widget.
struct KV_Tile_Entry {
  KV_Chain_Item item{nullptr};
  KV_Chain* tile = nullptr;
};

// The platform's drawing target handed through paintRect to showTile (a device context on
// Windows); the portable code never looks into it.
using KV_Surface = void*;

class KV_Win {
 public:
  int32_t width;
  int32_t height;
  KV_Chain widgets;            // every attached widget, in attach order
  KV_Wid* capture = nullptr;   // receives drag and release while a drag is in progress
  KV_Wid* hovered = nullptr;   // the knob or button under the mouse
  std::unique_ptr<KV_Chain[]> tiles;  // columns x rows lists, row after row
  int32_t columns;
  int32_t rows;
  int32_t tileSize = 64;
  KV_Pic<KV_Pix_A32> tilePic;  // the composition buffer
  KV_Pic<KV_Pix_A32> scratch;  // highlighted and faded widgets are drawn here first
  std::mutex paintLock;  // serializes every composition (the portable and X11 windows)

  static constexpr int32_t TILE = 64;
  static constexpr int PAINT_WAIT_MS = 1000;

  KV_Win(int32_t w, int32_t h);
  KV_Win(const KV_Win&) = delete;
  KV_Win& operator=(const KV_Win&) = delete;
  virtual ~KV_Win();

  // Shows the rectangle: at once on the window's own thread, at its next idle or event from any
  // other; nothing in the portable window, which has no screen.
  virtual void redraw(const KV_Rect& rect);
  // Whether the caller is the thread that owns the window, the only one that renders and paints
  // its widgets. The portable window has no thread of its own: any caller is.
  virtual bool ownThread() const { return true; }

  // Composes `rect` tile by tile and hands each finished tile to showTile. Skipped when the paint
  // lock cannot be had within a second.
  void paintRect(KV_Surface surface, const KV_Rect& rect);

  // The topmost widget whose rectangle holds the window point and that accepts it; null if none.
  KV_Wid* widgetAt(int32_t x, int32_t y) const;

  KV_Chain& tile(int32_t c, int32_t r) const { return tiles[static_cast<size_t>(r) * columns + c]; }

  // Mouse handling, called by the platform window. The platform asks for the leave report and
  // takes or releases the system capture itself before calling these.
  void mouseMove(int32_t x, int32_t y);
  void mouseDown(int32_t x, int32_t y);
  void mouseUp();
  void mouseLeave() { mouseUp(); }

 // The platform's drawing context of the tile picture, that text widgets make theirs compatible
  // with; null where there is none (the portable window, or before the window is shown).
  virtual KV_Surface tileContext() const { return nullptr; }

 protected:
  // Takes the paint lock within PAINT_WAIT_MS; false when it cannot be had.
  virtual bool lockPaint();
  virtual void unlockPaint();
  // Copies the tile picture's part at (srcX, srcY) of the size of `dest` to `dest` on the
  // surface (BitBlt on Windows, XPutImage on X11).
  virtual void showTile(KV_Surface surface, int32_t srcX, int32_t srcY, const KV_Rect& dest);

 private:
  void composeRect(KV_Surface surface, const KV_Rect& rect);
  void composeTile(int32_t c, int32_t r, const KV_Rect& rect, KV_Surface surface);
  void composeEmphasized(KV_Wid* w, int32_t dx, int32_t dy, const KV_Rect& src);
};

// The intersection of two rectangles; empty ones have right <= left or bottom <= top.
inline KV_Rect KV_intersect(const KV_Rect& a, const KV_Rect& b) {
  return KV_Rect{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                 a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}
inline bool KV_isEmpty(const KV_Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

// The highlight (factor 1.5) and disabled (factor 0.4) treatment of one pixel: alpha scaled when
// the product stays within 255, otherwise the colours brightened and alpha kept.
void KV_emphasize(KV_Pix_A32& p, double factor);
