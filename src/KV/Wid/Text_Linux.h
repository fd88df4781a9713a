// Text drawn with FreeType into the widget's picture, by the rules of the Windows widget: the face
// found by name through fontconfig, the size a character height in pixels, one line centred
// vertically, aligned left, centred or right, drawn on black, every inked pixel made opaque.
#pragma once

#include "KV/Wid/Text_Base.h"

struct KV_Wid_Text_Linux : KV_Wid_Text_Base {
  void* font = nullptr;            // the FreeType face of the last makeFont

  // Without a face and size of its own the widget draws with this one, as a device context
  // draws with its default font.
  static constexpr const char* DEFAULT_FACE = "DejaVu Sans";
  static constexpr int32_t DEFAULT_SIZE = 12;

  ~KV_Wid_Text_Linux() override;

  void makeFont() override;
  void render() override;
};
