// The LV2 UI: the product's own editor in an X11 child of the host's window (ui:parent). It has a
// product of its own for its widgets and never touches the plug-in instance: a knob drag or a
// button click writes the control port through the host, and a port the host changes moves the
// widget.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <memory>
#include <new>

#include "KV/Win/Win_Native.h"
#include "lv2/KV_Main_Lv2.h"

namespace {

struct Ui : KV_Apptpl_Listener {
  std::unique_ptr<KV_Apptpl> app;
  std::unique_ptr<KV_Win_Native> panel;
  LV2UI_Write_Function write = nullptr;
  LV2UI_Controller controller = nullptr;

  void edited(int32_t index, float plain) override {
    write(controller, KV_Lv2::FIRST_CONTROL + static_cast<uint32_t>(index), sizeof plain, 0, &plain);
  }
};

const void* feature(const LV2_Feature* const* features, const char* uri) {
  for (; features && *features; ++features)
    if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
  return nullptr;
}

void cleanup(LV2UI_Handle h) {
  auto* ui = static_cast<Ui*>(h);
  ui->app->listen(nullptr);
  (void)ui->app->detachWindow();
  ui->panel->hwnd(nullptr);
  (void)ui->app->destroy();
  delete ui;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
  void* parent = const_cast<void*>(feature(features, LV2_UI__parent));
  if (!parent || !write) return nullptr;  // an embedded X11 UI needs both
  auto* ui = new (std::nothrow) Ui;
  if (!ui) return nullptr;
  ui->write = write;
  ui->controller = controller;
  ui->app.reset(KV_Lv2::createProduct());
  if (!ui->app) {
    delete ui;
    return nullptr;
  }
  (void)ui->app->build();
  (void)ui->app->scaleEditor(ui->app->chooseEditorScale(parent));
  const int32_t w = ui->app->editorWidth(), h = ui->app->editorHeight();
  ui->panel.reset(new (std::nothrow) KV_Win_Native(w, h));
  if (!ui->panel || !ui->panel->hwnd(parent)) {
    ui->panel.reset();
    (void)ui->app->destroy();
    delete ui;
    return nullptr;
  }
  (void)ui->app->attachWindow(reinterpret_cast<KV_Object*>(ui->panel.get()));
  ui->panel->redraw(KV_Rect{0, 0, w, h});
  ui->app->listen(ui);
  if (auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize)))
    resize->ui_resize(resize->handle, w, h);
  *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(ui->panel->windowId()));
  return ui;
}

void portEvent(LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  auto* ui = static_cast<Ui*>(h);
  if (format != 0 || size != sizeof(float) || port < KV_Lv2::FIRST_CONTROL) return;
  float v;
  std::memcpy(&v, buffer, sizeof v);
  ui->app->setPlain(static_cast<int32_t>(port - KV_Lv2::FIRST_CONTROL), v);  // a host change: not written back
}

int idle(LV2UI_Handle h) {
  static_cast<Ui*>(h)->panel->idle();
  return 0;
}

const void* extensionData(const char* uri) {
  static const LV2UI_Idle_Interface idleInterface = {idle};
  return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idleInterface : nullptr;
}

}  // namespace

extern "C" KV_API const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  static const LV2UI_Descriptor descriptor = {KV_Lv2::uiUri(), instantiate, cleanup, portEvent, extensionData};
  return index == 0 && descriptor.URI ? &descriptor : nullptr;
}
