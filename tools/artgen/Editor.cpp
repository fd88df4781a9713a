#include "artgen/Editor.h"

#include <cstdio>
#include <cstring>

#include "KV/Wid/Wid.h"
#include "KV/Win/Win_Picture.h"
#include "KV_cfuncs.h"
#include "KV_resources.h"
#include "app/KV_Application.h"

namespace artgen {

namespace {
using Resources = std::map<std::string, std::vector<uint8_t>>;

// The library's resources while it lives: the widgets' -res looks their names up in it.
class ResourceTable {
 public:
  explicit ResourceTable(const Resources& files) {
    for (auto& [name, bytes] : files) rows.push_back({name.c_str(), bytes.data(), bytes.size()});
    rows.push_back({nullptr, nullptr, 0});
    KV_resource_set_table(rows.data());
  }
  ~ResourceTable() { KV_resource_set_table(nullptr); }
  ResourceTable(const ResourceTable&) = delete;
  ResourceTable& operator=(const ResourceTable&) = delete;

 private:
  std::vector<KV_resource_entry> rows;
};

// Counts the library's reports (a picture it could not find) while it lives, each also written
// on standard error.
class ReportCounter {
 public:
  ReportCounter() {
    count = 0;
    KV_set_error_presenter(report);
  }
  ~ReportCounter() { KV_set_error_presenter(nullptr); }
  ReportCounter(const ReportCounter&) = delete;
  ReportCounter& operator=(const ReportCounter&) = delete;
  bool none() const { return count == 0; }

 private:
  static inline int count = 0;
  static int report(const char* text, const char* caption) {
    ++count;
    std::fprintf(stderr, "artgen: %s: %s\n", caption, text);
    return 1;  // what the platform's box answers: OK
  }
};

// The mouse comes to rest on the middle of the control of parameter `index`.
void hover(KV_Application& app, KV_Win& win, int index) {
  const auto* w = static_cast<const KV_Wid*>(app.widget(KV_Application::paramTable[index].widget));
  if (w) win.mouseMove(w->left + w->width / 2, w->top + w->height / 2);
}

kvpic::Image opaque(const KV_Pic_Base<KV_Pix_A32>& screen) {
  kvpic::Image img(screen.width, screen.height);
  if (!screen.pixels) return img;
  std::memcpy(img.bgra.data(), screen.pixels, img.bgra.size());
  for (size_t i = 3; i < img.bgra.size(); i += 4) img.bgra[i] = 255;
  return img;
}

// The built editor put in the state `view` and composed whole on a window of its own.
bool show(KV_Application& app, const EditorView& view, kvpic::Image& out) {
  if (!view.multiplierOn) app.setPlain(0, 0.0f);
  KV_Win_Picture win(app.editorWidth(), app.editorHeight());
  const bool attached = app.attachWindow(reinterpret_cast<KV_Object*>(&win)) == KV_OK;
  if (view.hovered >= 0 && view.hovered < KV_Application::PARAMS) hover(app, win, view.hovered);
  win.paintRect(nullptr, KV_Rect{0, 0, win.width, win.height});
  out = opaque(win.screen);
  return app.detachWindow() == KV_OK && attached;
}
}  // namespace

bool composeEditor(const Resources& resources, const EditorView& view, kvpic::Image& out) {
  const ResourceTable table(resources);
  const ReportCounter reports;
  KV_Application app;
  bool ok = app.build() == KV_OK && show(app, view, out);
  ok = app.destroy() == KV_OK && ok;
  ok = ok && reports.none();
  if (!ok) std::fprintf(stderr, "artgen: cannot compose the editor from the artwork\n");
  return ok;
}

}  // namespace artgen
