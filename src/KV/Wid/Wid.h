// The widget base: a rectangle in a window that draws a part of itself into a picture, says
// whether a point belongs to it and reacts to the mouse; plus the value-reporting contract of the
// controls (-var, -dat, -com).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "KV/KV.h"
#include "KV/Pic/Base.h"
#include "KV/Shared.h"
#include "KV_cfuncs.h"

class KV_Win;
struct KV_Tile_Entry;

// The -com function: called with the -dat word after a control changed its value and refreshed.
using KV_Wid_com = void (*)(KV_word dat);

struct KV_Wid : KV_Object {
  KV_Win* window = nullptr;
  KV_Chain_Item member{this};  // place in the window's widget list
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  // Commands on any thread change these; the window's thread reads them when it composes.
  KV_Shared<int32_t> visible{1};
  KV_Shared<int32_t> enabled{1};
  KV_Shared<bool> stale{false};          // changed on another thread: to be rendered by the window's own
  KV_Tile_Entry* tileEntries = nullptr;  // one per tile the rectangle overlapped when attached
  int32_t tileCount = 0;

  KV_Wid() = default;
  KV_Wid(const KV_Wid&) = delete;
  KV_Wid& operator=(const KV_Wid&) = delete;
  ~KV_Wid() override;

  // Composites the part `src` (widget coordinates) onto `target` with its top-left at (x, y).
  virtual void paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& src);
  // Brings the widget's own picture up to date.
  virtual void render() {}
  // render, then the window's redraw of the widget's rectangle when attached. On a thread other
  // than the window's, the rendering is left to the window's thread.
  virtual void refresh();
  // Whether the caller may render the widget now: it has no window, or the caller is the window's
  // thread. Otherwise marks it stale, for the window's thread to render before it next paints it.
  bool drawsNow();
  virtual void mouseDown(int32_t x, int32_t y);
  virtual void mouseDrag(int32_t x, int32_t y);
  // Whether the widget point belongs to the widget: the whole rectangle does.
  virtual bool hits(int32_t x, int32_t y);
  virtual void mouseUp() {}
  // Whether the window draws the widget highlighted while the mouse is over it.
  virtual bool highlightable() const { return false; }

  // Leaves the current window (when it is another than `win`) and joins `win`'s widget list and
  // the tile lists its rectangle overlaps; null only leaves. Draws nothing.
  void attach(KV_Win* win);

  KV_Rect rect() const { return KV_Rect{left, top, left + width, top + height}; }

 private:
  void leaveWindow();
};

extern const KV_option KV_Wid_options[];

// The largest scale of a scaled editor that the widgets accept (-scale of texts and knobs).
constexpr int32_t KV_Wid_MAX_SCALE = 8;

// The receiver half of the contract: writes `requested` into the receiver's val (its type stays)
// and calls its notify with the dat word. The write is atomic: a receiver may be read and written
// by host threads while the window's thread reports into it.
inline void KV_Wid_report(KV_value* receiver, KV_word requested, KV_word dat) {
  std::atomic_ref<KV_word>(receiver->val).store(requested, std::memory_order_relaxed);
  receiver->notify(reinterpret_cast<KV_Object*>(dat));
}

// The -var, -dat and -com options of the controls, over fields of the same names. An object
// reference sets them; the integer 0 clears them.
template <class T>
KV_value KV_Wid_varOption(KV_Object* o, KV_value v) {
  T* t = static_cast<T*>(o);
  if (v.type == KV_OBJECT || (v.type == KV_INT && v.val == 0)) t->receiver = static_cast<KV_value*>(v.asPointer());
  return KV_value::ofObject(t->receiver);
}
template <class T>
KV_value KV_Wid_datOption(KV_Object* o, KV_value v) {
  T* t = static_cast<T*>(o);
  if (v.type == KV_OBJECT || v.type == KV_INT) t->dat = v.val;
  return KV_value(t->dat, KV_OBJECT);
}
template <class T>
KV_value KV_Wid_comOption(KV_Object* o, KV_value v) {
  T* t = static_cast<T*>(o);
  if (v.type == KV_OBJECT || (v.type == KV_INT && v.val == 0)) t->com = reinterpret_cast<KV_Wid_com>(v.val);
  return KV_value(reinterpret_cast<KV_word>(t->com), KV_OBJECT);
}

// The -res option of the picture widget and the controls: looks the name up among the library's
// resources (a missing one is reported by the loader) and hands name and data to the class's
// useResource, which keeps the name and maps the data when there is some.
template <class T>
KV_value KV_Wid_resOption(KV_Object* o, KV_value v) {
  T* t = static_cast<T*>(o);
  if (v.type == KV_STRING) {
    const char* name = static_cast<const char*>(v.asPointer());
    size_t size = 0;
    const void* data = KV_resource_sized(name, &size);
    t->useResource(name, data, size);
  }
  return KV_value::ofString(t->resourceName);
}
