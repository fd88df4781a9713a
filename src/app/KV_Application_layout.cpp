// The editor's layout: a tiled background in a framed border, the logo, the product's name and
// one framed group holding the multiplier button and five captioned knobs. Every widget is made
// by a command and kept in its slot; the slot order is the attach order and so the painting order.
#include <cstdio>

#include "KV/Spcpp.h"
#include "app/KV_Application.h"

namespace {
// Frame piece size, and the group's left, top, width and height.
constexpr int32_t T = 10, X = 15, Y = 62, GW = 142, GH = 166;

// The light grey captions, 32 or 42 pixels wide.
KV_error caption(KV_Object** slot, int32_t w, int32_t l, int32_t t, const char* text) {
  return spcpp(KV_CMD("KV_Wid_Text -l %i -t %i -w %i -h 14 -color 0x00C0C0C0 -text %s"), slot, l, t, w, text);
}
}  // namespace

KV_error KV_Application::buildLayout() {
  KV_error first = KV_OK;
  auto step = [&first](KV_error e) { KV_keepFirst(first, e); };
  auto s = [this](int w) { return widgetSlot(w); };
  auto piece = [&](int slot, int32_t w, int32_t h, int32_t l, int32_t t, const char* res) {
    step(spcpp(KV_CMD("KV_Wid_Pic -w %i -h %i -l %i -t %i -res %s"), s(slot), w, h, l, t, res));
  };
  // The knob of parameter i: its slot and range from the parameter's row.
  auto knob = [&](int i, int32_t l, int32_t t) {
    const ParamRow& r = paramTable[i];
    step(spcpp(KV_CMD("KV_Wid_Knob -w 32 -h 32 -l %i -t %i -res knob -mn %f -mx %f -var %o -dat %o"), s(r.widget), l, t,
               static_cast<double>(r.mn), static_cast<double>(r.mx), params[i], this));
  };
  const int32_t W = width, H = height;
  piece(1, W, H, 0, 0, "bgnd");
  step(spcpp(KV_CMD("KV_Wid_Pic -l 6 -t 8 -res sitelogo"), s(10)));
  step(spcpp(KV_CMD("KV_Wid_Text -l 10 -t 40 -h 14 -w %i -text %s"), s(11), W - 20, identity().name));

  piece(2, 10, 10, 0, 0, "alt");
  piece(3, W - 20, 10, 10, 0, "amt");
  piece(4, 10, 10, W - 10, 0, "art");
  piece(5, 10, H - 20, 0, 10, "alm");
  piece(6, 10, H - 20, W - 10, 10, "arm");
  piece(7, 10, 10, 0, H - 10, "alb");
  piece(8, W - 20, 10, 10, H - 10, "amb");
  piece(9, 10, 10, W - 10, H - 10, "arb");

  piece(12, T, T, X, Y, "glt");
  piece(13, GW - 2 * T, T, X + T, Y, "gmt");
  piece(14, T, T, X + GW - T, Y, "grt");
  piece(15, T, GH - 2 * T, X, Y + T, "glm");
  // The interior reaches 4 pixels under the frame pieces on every side.
  piece(16, GW - 2 * T + 8, GH - 2 * T + 8, X + T - 4, Y + T - 4, "gmm");
  piece(17, T, GH - 2 * T, X + GW - T, Y + T, "grm");
  piece(18, T, T, X, Y + GH - T, "glb");
  piece(19, GW - 2 * T, T, X + T, Y + GH - T, "gmb");
  piece(20, T, T, X + GW - T, Y + GH - T, "grb");

  step(spcpp(KV_CMD("KV_Wid_Butt -w 40 -h 24 -l %i -t %i -res but -var %o -dat %o"), s(paramTable[0].widget), X + 11,
             Y + 11, params[0], this));
  step(spcpp(KV_CMD("KV_Wid_Pic -l %i -t %i -res t_multiplier"), s(22), X + 53, Y + 10));
  step(caption(s(23), 32, X + 11, Y + 47, "Src."));
  knob(1, X + 11, Y + 62);
  step(caption(s(25), 32, X + 55, Y + 47, "2-x"));
  knob(2, X + 55, Y + 62);
  step(caption(s(27), 32, X + 99, Y + 47, "3-x"));
  knob(3, X + 99, Y + 62);
  step(caption(s(29), 42, X + 23, Y + 110, "Rand."));
  knob(4, X + 28, Y + 125);
  step(caption(s(31), 42, X + 77, Y + 110, "Stab."));
  knob(5, X + 82, Y + 125);
  return first;
}

KV_error KV_Application::attachWindow(KV_Object* window) {
  editorWindow = window;
  KV_error first = KV_OK;
  for (KV_Object* w : widgets)
    if (w) KV_keepFirst(first, spcpp(KV_CMD("KV_Wid %o -win %o"), w, window));
  return first;
}

KV_error KV_Application::detachWindow() {
  KV_error first = KV_OK;
  for (KV_Object* w : widgets)
    if (w) KV_keepFirst(first, spcpp(KV_CMD("KV_Wid %o -win 0"), w));
  return first;
}

void KV_Application::destroyLayout() {
  for (int w = WIDGET_SLOTS - 1; w >= 0; --w) {
    if (!widgets[w]) {
      std::puts("NULL WIDGET");
      continue;
    }
    (void)spcpp(KV_CMD("%o -delete"), widgets[w]);
    widgets[w] = nullptr;
  }
}
