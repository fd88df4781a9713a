// The text widget's settings, independent of how the text is drawn: the text, its colour, the
// font face and size, alignment and weight. The platform layer below draws the text into the
// inherited picture.
#pragma once

#include <cstdint>

#include "KV/Wid/Pic.h"

struct KV_Wid_Text_Base : KV_Wid_Pic {
  const char* text = "test string";  // not owned
  uint32_t color = 0x00FFFFFF;        // 0x00BBGGRR
  uint32_t background = 0;            // black, which ends up transparent
  const char* face = nullptr;         // not owned
  int32_t size = 0;                   // character height in pixels
  int32_t alignment = 0;              // 0 centred, negative left, positive right
  uint8_t bold = 0;
  int32_t scale = 1;                  // the font is drawn at this many times its size, the default one too
  const char* rendered = nullptr;     // the text pointer at the last render

  // Draws the text first when it is not the one last drawn (a new -text, or never drawn).
  void paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& src) override {
    if (rendered != text || !picture.pixels) render();
    picture.blend(target, x, y, src);
  }

  // Makes the font of the face, size, weight and scale now set; nothing here.
  virtual void makeFont() {}
};

// Every pixel to 0 (transparent black), before the text is drawn.
void KV_Wid_Text_clear(KV_Pic_Base<KV_Pix_A32>& pic);
// The drawing rule both platforms share: a pixel that is not 0 after the text was drawn on black
// becomes opaque; what stayed 0 stays transparent.
void KV_Wid_Text_opaqueInk(KV_Pic_Base<KV_Pix_A32>& pic);
