// The editor's layout: a tiled background in a framed border, the logo, the product's name and
// one framed group holding the multiplier button and five captioned knobs. Every widget is made
// by a command and kept in its slot; the slot order is the attach order and so the painting order.
#include <cstdio>

#include "KV/Spcpp.h"
#include "app/KV_Application.h"

namespace {
// Frame piece size, and the group's left, top, width and height.
constexpr int32_t T = 10, X = 15, Y = 62, GW = 142, GH = 166;
const char* const kEffectName = "Varnex";

void groupPiece(KV_Object** slot, int32_t w, int32_t h, int32_t l, int32_t t, const char* res) {
  spcpp(KV_CMD("KV_Wid_Pic -w %i -h %i -l %i -t %i -res %s"), slot, w, h, l, t, res);
}
// The light grey captions, 32 or 42 pixels wide.
void caption32(KV_Object** slot, int32_t l, int32_t t, const char* text) {
  spcpp(KV_CMD("KV_Wid_Text -l %i -t %i -w 32 -h 14 -color 0x00C0C0C0 -text %s"), slot, l, t, text);
}
void caption42(KV_Object** slot, int32_t l, int32_t t, const char* text) {
  spcpp(KV_CMD("KV_Wid_Text -l %i -t %i -w 42 -h 14 -color 0x00C0C0C0 -text %s"), slot, l, t, text);
}
}  // namespace

void KV_Application::buildLayout() {
  KV_Object** s = widgets - 1;  // s[1] … s[32]: the slots as the layout numbers them
  const int32_t W = width, H = height;
  spcpp(KV_CMD("KV_Wid_Pic -w %i -h %i -l 0 -t 0 -res bgnd"), &s[1], W, H);
  spcpp(KV_CMD("KV_Wid_Pic -l 6 -t 8 -res sitelogo"), &s[10]);
  spcpp(KV_CMD("KV_Wid_Text -l 10 -t 40 -h 14 -w %i -text %s"), &s[11], W - 20, kEffectName);

  spcpp(KV_CMD("KV_Wid_Pic -w 10 -h 10 -l 0 -t 0 -res alt"), &s[2]);
  spcpp(KV_CMD("KV_Wid_Pic -w %i -h 10 -l 10 -t 0 -res amt"), &s[3], W - 20);
  spcpp(KV_CMD("KV_Wid_Pic -w 10 -h 10 -l %i -t 0 -res art"), &s[4], W - 10);
  spcpp(KV_CMD("KV_Wid_Pic -w 10 -h %i -l 0 -t 10 -res alm"), &s[5], H - 20);
  spcpp(KV_CMD("KV_Wid_Pic -w 10 -h %i -l %i -t 10 -res arm"), &s[6], H - 20, W - 10);
  spcpp(KV_CMD("KV_Wid_Pic -w 10 -h 10 -l 0 -t %i -res alb"), &s[7], H - 10);
  spcpp(KV_CMD("KV_Wid_Pic -w %i -h 10 -l 10 -t %i -res amb"), &s[8], W - 20, H - 10);
  spcpp(KV_CMD("KV_Wid_Pic -w 10 -h 10 -l %i -t %i -res arb"), &s[9], W - 10, H - 10);

  groupPiece(&s[12], T, T, X, Y, "glt");
  groupPiece(&s[13], GW - 2 * T, T, X + T, Y, "gmt");
  groupPiece(&s[14], T, T, X + GW - T, Y, "grt");
  groupPiece(&s[15], T, GH - 2 * T, X, Y + T, "glm");
  // The interior reaches 4 pixels under the frame pieces on every side.
  groupPiece(&s[16], GW - 2 * T + 8, GH - 2 * T + 8, X + T - 4, Y + T - 4, "gmm");
  groupPiece(&s[17], T, GH - 2 * T, X + GW - T, Y + T, "grm");
  groupPiece(&s[18], T, T, X, Y + GH - T, "glb");
  groupPiece(&s[19], GW - 2 * T, T, X + T, Y + GH - T, "gmb");
  groupPiece(&s[20], T, T, X + GW - T, Y + GH - T, "grb");

  spcpp(KV_CMD("KV_Wid_Butt -w 40 -h 24 -l %i -t %i -res but -var %o -dat %o"), &s[21], X + 11, Y + 11, params[0],
        this);
  spcpp(KV_CMD("KV_Wid_Pic -l %i -t %i -res t_multiplier"), &s[22], X + 53, Y + 10);
  caption32(&s[23], X + 11, Y + 47, "Src.");
  spcpp(KV_CMD("KV_Wid_Knob -w 32 -h 32 -l %i -t %i -res knob -mn 0 -mx 1 -var %o -dat %o"), &s[24], X + 11, Y + 62,
        params[1], this);
  caption32(&s[25], X + 55, Y + 47, "2-x");
  spcpp(KV_CMD("KV_Wid_Knob -w 32 -h 32 -l %i -t %i -res knob -mn -1 -mx 1 -var %o -dat %o"), &s[26], X + 55, Y + 62,
        params[2], this);
  caption32(&s[27], X + 99, Y + 47, "3-x");
  spcpp(KV_CMD("KV_Wid_Knob -w 32 -h 32 -l %i -t %i -res knob -mn -1 -mx 1 -var %o -dat %o"), &s[28], X + 99, Y + 62,
        params[3], this);
  caption42(&s[29], X + 23, Y + 110, "Rand.");
  spcpp(KV_CMD("KV_Wid_Knob -w 32 -h 32 -l %i -t %i -res knob -mn 0.9 -mx 0.1 -var %o -dat %o"), &s[30], X + 28,
        Y + 125, params[4], this);
  caption42(&s[31], X + 77, Y + 110, "Stab.");
  spcpp(KV_CMD("KV_Wid_Knob -w 32 -h 32 -l %i -t %i -res knob -mn 0 -mx 0.95 -var %o -dat %o"), &s[32], X + 82,
        Y + 125, params[5], this);
}

KV_error KV_Application::attachWindow(KV_Object* window) {
  editorWindow = window;
  for (KV_Object* w : widgets)
    if (w) spcpp(KV_CMD("KV_Wid %o -win %o"), w, window);
  return KV_OK;
}

KV_error KV_Application::detachWindow() {
  for (KV_Object* w : widgets)
    if (w) spcpp(KV_CMD("KV_Wid %o -win 0"), w);
  return KV_OK;
}

void KV_Application::destroyLayout() {
  for (int w = WIDGET_SLOTS - 1; w >= 0; --w) {
    if (!widgets[w]) {
      std::puts("NULL WIDGET");
      continue;
    }
    spcpp(KV_CMD("%o -delete"), widgets[w]);
    widgets[w] = nullptr;
  }
}
