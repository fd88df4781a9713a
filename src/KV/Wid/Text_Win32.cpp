#include "KV/Wid/Text_Win32.h"

#include "KV/Win/Win.h"

KV_Wid_Text_Win32::~KV_Wid_Text_Win32() {
  // The picture's device context may still hold the font; it is deleted with the picture, after
  // this, so the font is released once the context is gone.
  if (picture.dc) {
    DeleteDC(picture.dc);
    picture.dc = nullptr;
  }
  if (font) DeleteObject(font);
}

namespace {
// The device context's default font at `scale` times its size, for a widget without a face of its
// own; null at scale 1, where the default font itself is used.
HFONT scaledDefaultFont(int32_t scale) {
  LOGFONTA lf{};
  if (scale == 1 || !GetObjectA(GetStockObject(SYSTEM_FONT), sizeof lf, &lf)) return nullptr;
  lf.lfHeight *= scale;
  lf.lfWidth *= scale;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfQuality = PROOF_QUALITY;
  return CreateFontIndirectA(&lf);
}
}  // namespace

void KV_Wid_Text_Win32::makeFont() {
  if (!face || size == 0) {
    // Without a face only the scale decides: the default font enlarged, or the default itself
    // again in place of one enlarged before.
    if (scale == 1 && !enlargedDefault) return;
    HFONT made = scaledDefaultFont(scale);
    if (picture.dc) SelectObject(picture.dc, made ? made : static_cast<HFONT>(GetStockObject(SYSTEM_FONT)));
    if (font) DeleteObject(font);
    font = made;
    enlargedDefault = made != nullptr;
    return;
  }
  HFONT made = CreateFontA(-size * scale, 0, 0, 0, bold ? 700 : 400, FALSE, FALSE, FALSE, 0, OUT_TT_PRECIS, 0,
                           PROOF_QUALITY, 0, face);
  if (!made) return;
  if (picture.dc) SelectObject(picture.dc, made);
  if (font) DeleteObject(font);
  font = made;
  enlargedDefault = false;
}

void KV_Wid_Text_Win32::render() {
  if (!window) return;
  RECT r{0, 0, width, height};
  if (picture.width != width || picture.height != height) {
    // The old bitmap cannot be deleted while a context holds it: a new size gets a new context.
    if (picture.dc) {
      DeleteDC(picture.dc);
      picture.dc = nullptr;
    }
    picture.resize(width, height);
  }
  if (!picture.pixels) return;
  if (!picture.dc) {
    picture.dc = CreateCompatibleDC(static_cast<HDC>(window->tileContext()));
    if (!picture.dc) return;
    SetMapMode(picture.dc, MM_TEXT);
    SelectObject(picture.dc, picture.bitmap);
  }
  if (font) SelectObject(picture.dc, font);
  GdiFlush();
  KV_Wid_Text_clear(picture);
  SetBkColor(picture.dc, background);
  SetTextColor(picture.dc, color);
  const UINT align = alignment == 0 ? DT_CENTER : (alignment < 0 ? DT_LEFT : DT_RIGHT);
  DrawTextA(picture.dc, text ? text : "", -1, &r, DT_SINGLELINE | DT_VCENTER | align);
  GdiFlush();  // the pixels are read directly below
  KV_Wid_Text_opaqueInk(picture);
  rendered = text;
}

