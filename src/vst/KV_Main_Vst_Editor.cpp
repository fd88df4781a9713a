#include "vst/KV_Main_Vst_Editor.h"

#include "vst/KV_Main_Vst.h"

namespace {
// One rectangle record for every instance; each getRect refills it.
ERect sharedRect;
}  // namespace

KV_Main_Vst_Editor::KV_Main_Vst_Editor(KV_Main_Vst* p)
    : AEffEditor(p), panel(new KV_Win_Native(p->app.width, p->app.height)), plugin(p) {}

KV_Main_Vst_Editor::~KV_Main_Vst_Editor() { delete panel; }

bool KV_Main_Vst_Editor::getRect(ERect** rect) {
  sharedRect.top = 0;
  sharedRect.left = 0;
  sharedRect.bottom = static_cast<int16_t>(plugin->app.height);
  sharedRect.right = static_cast<int16_t>(plugin->app.width);
  *rect = &sharedRect;
  return true;
}

bool KV_Main_Vst_Editor::open(void* parent) {
  systemWindow = parent;
  if (parent) KV_Win_Native::fitParent(static_cast<KV_Win_Parent>(parent), plugin->app.width, plugin->app.height);
  panel->hwnd(static_cast<KV_Win_Parent>(parent));
  plugin->app.attachWindow(reinterpret_cast<KV_Object*>(panel));
  panel->redraw(KV_Rect{0, 0, panel->width, panel->height});
  return true;
}

void KV_Main_Vst_Editor::close() {
  plugin->app.detachWindow();
  panel->hwnd(nullptr);
  systemWindow = nullptr;
}

void KV_Main_Vst_Editor::idle() { panel->idle(); }
