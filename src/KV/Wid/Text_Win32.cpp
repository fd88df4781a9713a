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

void KV_Wid_Text_Win32::makeFont() {
  if (!face || size == 0) return;
  HFONT made = CreateFontA(-size, 0, 0, 0, bold ? 700 : 400, FALSE, FALSE, FALSE, 0, OUT_TT_PRECIS, 0,
                           PROOF_QUALITY, 0, face);
  if (!made) return;
  if (picture.dc) SelectObject(picture.dc, made);
  if (font) DeleteObject(font);
  font = made;
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

