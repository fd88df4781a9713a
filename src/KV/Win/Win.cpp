#include "KV/Win/Win.h"
#include "KV/Live.h"

#include <chrono>
#include <cstring>

#include "KV/Wid/Wid.h"

KV_Win::KV_Win(int32_t w, int32_t h)
    : width(w), height(h), columns((w - 1) / TILE + 1), rows((h - 1) / TILE + 1) {
  if (columns < 1) columns = 1;
  if (rows < 1) rows = 1;
  tiles.reset(new KV_Chain[static_cast<size_t>(columns) * rows]);
  tilePic.resize(TILE, TILE);
  scratch.resize(TILE, TILE);
  KV_liveEnter(this, KV_LIVE_WINDOW);
}

KV_Win::~KV_Win() {
  KV_liveLeave(this);
  // Widgets still here lose their tile entries and also their link to this window, so that
  // deleting them later does not reach back into a window that is gone.
  KV_takeEach(widgets, [](KV_Chain_Item* member) { static_cast<KV_Wid*>(member->owner)->attach(nullptr); });
}

void KV_Win::redraw(const KV_Rect&) {}

void KV_Win::showTile(KV_Surface, int32_t, int32_t, const KV_Rect&) {}

KV_Wid* KV_Win::widgetAt(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x / TILE >= columns || y / TILE >= rows) return nullptr;
  const KV_Chain& list = tile(x / TILE, y / TILE);
  for (KV_Chain_Item* it = list.tail.prev; it != &list.head; it = it->prev) {
    KV_Wid* w = static_cast<KV_Wid*>(it->owner);
    if (x >= w->left && x < w->left + w->width && y >= w->top && y < w->top + w->height &&
        w->hits(x - w->left, y - w->top))
      return w;
  }
  return nullptr;
}

void KV_emphasize(KV_Pix_A32& p, double factor) {
  const double a = p.a * factor;
  if (a <= 255.0) {
    p.a = static_cast<uint8_t>(a);
    return;
  }
  const float f = static_cast<float>(factor);
  auto bright = [f](uint8_t c) {
    const float v = static_cast<float>(c) * f;
    return static_cast<uint8_t>(v > 255.0f ? 255.0f : v);
  };
  p.r = bright(p.r);
  p.g = bright(p.g);
  p.b = bright(p.b);
}

void KV_Win::composeEmphasized(KV_Wid* w, int32_t dx, int32_t dy, const KV_Rect& src) {
  const int32_t sw = src.right - src.left, sh = src.bottom - src.top;
  if (!scratch.pixels || !tilePic.pixels) return;
  for (int32_t i = 0; i < sh; ++i) std::memset(scratch.row(dy + i) + dx, 0, sizeof(KV_Pix_A32) * sw);
  if (w->visible) w->paint(scratch, dx, dy, src);
  const double factor = w->enabled ? 1.5 : 0.4;
  for (int32_t i = 0; i < sh; ++i) {
    KV_Pix_A32* p = scratch.row(dy + i) + dx;
    for (int32_t j = 0; j < sw; ++j) KV_emphasize(p[j], factor);
  }
  scratch.blend(tilePic, dx, dy, KV_Rect{dx, dy, dx + sw, dy + sh});
}

void KV_Win::composeTile(int32_t c, int32_t r, const KV_Rect& rect, KV_Surface surface) {
  const KV_Rect t{TILE * c, TILE * r, TILE * c + TILE, TILE * r + TILE};
  const KV_Rect k = KV_intersect(t, rect);
  if (KV_isEmpty(k)) return;
  KV_forEach<KV_Wid>(tile(c, r), [&](KV_Wid* w) {
    const KV_Rect p = KV_intersect(w->rect(), k);
    if (KV_isEmpty(p)) return;
    if (w->stale) {
      w->stale = false;  // before rendering: a change made meanwhile marks it again
      w->render();
    }
    const KV_Rect s{p.left - w->left, p.top - w->top, p.right - w->left, p.bottom - w->top};
    const int32_t dx = p.left - t.left, dy = p.top - t.top;
    if (w != hovered && w->enabled) {
      if (w->visible) w->paint(tilePic, dx, dy, s);
    } else {
      composeEmphasized(w, dx, dy, s);
    }
  });
  showTile(surface, k.left - t.left, k.top - t.top, k);
}

// Polled rather than std::timed_mutex::try_lock_for, whose wait ThreadSanitizer does not see as a
// lock taken.
bool KV_Win::lockPaint() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(PAINT_WAIT_MS);
  while (!paintLock.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
void KV_Win::unlockPaint() { paintLock.unlock(); }

void KV_Win::paintRect(KV_Surface surface, const KV_Rect& rect) {
  if (!lockPaint()) return;
  if (!KV_isEmpty(rect)) composeRect(surface, rect);
  unlockPaint();
}

void KV_Win::composeRect(KV_Surface surface, const KV_Rect& rect) {
  int32_t firstRow = rect.top / TILE, lastRow = (rect.bottom - 1) / TILE;
  int32_t firstCol = rect.left / TILE, lastCol = (rect.right - 1) / TILE;
  if (lastRow >= rows) lastRow = rows - 1;
  if (lastCol >= columns) lastCol = columns - 1;
  // A rectangle starting left of or above the window begins at the first tile.
  if (firstRow < 0) firstRow = 0;
  if (firstCol < 0) firstCol = 0;
  for (int32_t r = lastRow; r >= firstRow; --r)
    for (int32_t c = firstCol; c <= lastCol; ++c) composeTile(c, r, rect, surface);
}

void KV_Win::mouseMove(int32_t x, int32_t y) {
  if (capture) {
    capture->mouseDrag(x - capture->left, y - capture->top);
    return;
  }
  x = x < 0 ? 0 : (x >= width ? width - 1 : x);
  y = y < 0 ? 0 : (y >= height ? height - 1 : y);
  KV_Wid* w = widgetAt(x, y);
  if (w == hovered) return;
  if (w && !w->highlightable()) w = nullptr;
  // First the old widget without highlight, then the new one with it.
  for (int pass = 0; pass < 2; ++pass) {
    if (hovered) {
      const KV_Rect r = hovered->rect();
      hovered = w;
      redraw(r);
    }
    hovered = w;
  }
}

void KV_Win::mouseDown(int32_t x, int32_t y) {
  if (hovered && hovered->enabled) {
    capture = hovered;
    capture->mouseDown(x - capture->left, y - capture->top);
  }
}

void KV_Win::mouseUp() {
  KV_Wid* w = capture;
  capture = nullptr;
  if (w) w->mouseUp();
}
