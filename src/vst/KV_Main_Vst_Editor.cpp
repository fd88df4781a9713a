#include "vst/KV_Main_Vst_Editor.h"

#include "vst/KV_Main_Vst.h"

namespace {
// One rectangle record for every instance; each getRect refills it.
ERect sharedRect;
}  // namespace

KV_Main_Vst_Editor::KV_Main_Vst_Editor(KV_Main_Vst* p)
    : AEffEditor(p), panel(new KV_Win_Native(p->app->editorWidth(), p->app->editorHeight())), plugin(p) {}

KV_Main_Vst_Editor::~KV_Main_Vst_Editor() = default;

bool KV_Main_Vst_Editor::getRect(ERect** rect) {
  // Open: the size shown; closed: the size the next open will choose.
  const KV_Apptpl& app = *plugin->app;
  const int32_t scale = systemWindow ? app.editorScale() : app.chooseEditorScale(nullptr);
  sharedRect.top = 0;
  sharedRect.left = 0;
  sharedRect.bottom = static_cast<int16_t>(app.editorHeightAt(scale));
  sharedRect.right = static_cast<int16_t>(app.editorWidthAt(scale));
  *rect = &sharedRect;
  return true;
}

void KV_Main_Vst_Editor::useScale(int32_t scale) {
  (void)plugin->app->scaleEditor(scale);
  const int32_t w = plugin->app->editorWidth(), h = plugin->app->editorHeight();
  if (panel->width != w || panel->height != h) panel.reset(new KV_Win_Native(w, h));
}

bool KV_Main_Vst_Editor::open(void* parent) {
  useScale(plugin->app->chooseEditorScale(parent));
  systemWindow = parent;
  if (parent)
    KV_Win_Native::fitParent(static_cast<KV_Win_Parent>(parent), plugin->app->editorWidth(),
                             plugin->app->editorHeight());
  panel->hwnd(static_cast<KV_Win_Parent>(parent));
  (void)plugin->app->attachWindow(reinterpret_cast<KV_Object*>(panel.get()));
  panel->redraw(KV_Rect{0, 0, panel->width, panel->height});
  return true;
}

void KV_Main_Vst_Editor::close() {
  (void)plugin->app->detachWindow();
  panel->hwnd(nullptr);
  systemWindow = nullptr;
}

void KV_Main_Vst_Editor::idle() { panel->idle(); }
