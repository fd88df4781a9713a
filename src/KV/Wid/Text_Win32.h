// Text drawn with GDI into the widget's DIB section: DrawTextA on black, then every inked pixel
// made opaque.
#pragma once

#include "KV/Pic/Pic_Win32.h"
#include "KV/Wid/Text_Base.h"

struct KV_Wid_Text_Win32 : KV_Wid_Text_Base {
  HFONT font = nullptr;
  bool enlargedDefault = false;  // font is the default font enlarged for a scale above 1

  ~KV_Wid_Text_Win32() override;

  void makeFont() override;
  void render() override;
};
