#include "KV/Wid/Wid.h"

#include "KV/Win/Win.h"
#include "KV/Live.h"

KV_Wid::~KV_Wid() { attach(nullptr); }

void KV_Wid::paint(KV_Pic_Base<KV_Pix_A32>&, int32_t, int32_t, const KV_Rect&) {}
void KV_Wid::mouseDown(int32_t, int32_t) {}
void KV_Wid::mouseDrag(int32_t, int32_t) {}
bool KV_Wid::hits(int32_t, int32_t) { return true; }

bool KV_Wid::drawsNow() {
  if (!window || window->ownThread()) return true;
  stale = true;
  return false;
}

void KV_Wid::refresh() {
  if (drawsNow()) render();
  if (window) window->redraw(rect());
}

void KV_Wid::leaveWindow() {
  KV_Win* old = window;
  window = nullptr;
  old->widgets.remove(&member);
  for (int32_t i = 0; i < tileCount; ++i) tileEntries[i].tile->remove(&tileEntries[i].item);
  delete[] tileEntries;
  tileEntries = nullptr;
  tileCount = 0;
  // The window must not keep pointing at a widget that has left it (and may be deleted next).
  if (old->hovered == this) old->hovered = nullptr;
  if (old->capture == this) old->capture = nullptr;
}

namespace {
// The tiles a span [from, from + size) overlaps, limited to the tiles that exist.
void tileSpan(int32_t from, int32_t size, int32_t count, int32_t& first, int32_t& last) {
  first = from / KV_Win::TILE;
  last = (from + size - 1) / KV_Win::TILE;
  if (first < 0) first = 0;
  if (last >= count) last = count - 1;
}
}  // namespace

void KV_Wid::attach(KV_Win* win) {
  if (window && window != win) leaveWindow();
  if (!win || window == win) return;
  win->widgets.insert(&member);
  int32_t c0, c1, r0, r1;
  tileSpan(left, width, win->columns, c0, c1);
  tileSpan(top, height, win->rows, r0, r1);
  const int32_t n = (c1 >= c0 && r1 >= r0) ? (c1 - c0 + 1) * (r1 - r0 + 1) : 0;
  tileEntries = n ? new KV_Tile_Entry[n] : nullptr;
  int32_t k = 0;
  for (int32_t r = r0; r <= r1 && n; ++r)
    for (int32_t c = c0; c <= c1; ++c, ++k) {
      KV_Tile_Entry& e = tileEntries[k];
      e.item.owner = this;
      e.tile = &win->tile(c, r);
      e.tile->insert(&e.item);
    }
  tileCount = n;
  window = win;
}

namespace {
template <int32_t KV_Wid::*Field>
KV_value intField(KV_Object* o, KV_value v) {
  KV_Wid* w = static_cast<KV_Wid*>(o);
  if (KV_isNumber(v)) w->*Field = v.asTruncated();
  return KV_value::ofInt(w->*Field);
}

KV_value widWin(KV_Object* o, KV_value v) {
  KV_Wid* w = static_cast<KV_Wid*>(o);
  // "-win 0" reads as the integer 0; a reference comes as an object, and must be a live window.
  KV_Win* win;
  if (KV_liveEntry(v, KV_LIVE_WINDOW, win)) w->attach(win);
  return KV_value::ofObject(w->window);
}

KV_value widVis(KV_Object* o, KV_value v) {
  KV_Wid* w = static_cast<KV_Wid*>(o);
  if (KV_isNumber(v)) {
    w->visible = v.asTruncated();
    if (w->drawsNow()) w->render();
  }
  return KV_value::ofInt(static_cast<int32_t>(w->visible));
}

KV_value widEnabled(KV_Object* o, KV_value v) {
  KV_Wid* w = static_cast<KV_Wid*>(o);
  if (KV_isNumber(v)) {
    w->enabled = v.asTruncated();
    w->refresh();
  }
  return KV_value::ofInt(static_cast<int32_t>(w->enabled));
}
}  // namespace

const KV_option KV_Wid_options[] = {
    KV_opt_creator(nullptr),
    KV_opt("l", intField<&KV_Wid::left>),
    KV_opt("t", intField<&KV_Wid::top>),
    KV_opt("w", intField<&KV_Wid::width>),
    KV_opt("h", intField<&KV_Wid::height>),
    KV_opt("win", widWin),
    KV_opt("vis", widVis),
    KV_opt("enabled", widEnabled),
    KV_opt("delete", KV_Object_delete),
    KV_opt_end(KV_Object_options),
};
