// The rotary knob: a frame strip whose frames show the pointer from the lowest to the highest
// position, turned by dragging one pixel per frame (`scale` pixels on a scaled editor); values map
// linearly onto frames.
#pragma once

#include <cstddef>
#include <typeinfo>

#include "KV/Vid.h"
#include "KV/Wid/Wid.h"

struct KV_Wid_Knob : KV_Wid {
  KV_Vid strip;
  int32_t anchorX = 0;
  int32_t anchorY = 0;
  int32_t anchorFrame = 0;
  float minimum = 0.0f;
  float maximum = 100.0f;
  KV_Shared<int32_t> frame{0};  // set by -val on any thread and by drags
  int32_t scale = 1;  // pixels of drag per frame: the same hand movement on a larger editor
  KV_Wid_com com = nullptr;
  KV_word dat = 0;
  const char* resourceName = nullptr;  // not owned; set once a strip has been given
  KV_value* receiver = nullptr;

  void paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& src) override;
  void refresh() override;
  void mouseDown(int32_t x, int32_t y) override;
  void mouseDrag(int32_t x, int32_t y) override;
  bool hits(int32_t x, int32_t y) override;
  // Only the control itself: a class derived from it is not highlighted.
  bool highlightable() const override { return typeid(*this) == typeid(KV_Wid_Knob); }

  // Takes the strip named `name` laid over KVVF data (null data: the name only, no strip).
  void useResource(const char* name, const void* data, size_t size);
  bool hasStrip() const { return resourceName != nullptr; }
  // Value to frame, then refresh; dropped without a strip.
  void setValue(float v);
  // The value of the current frame.
  float value() const;
  // The frame a value selects (truncated toward zero, not clamped).
  int32_t frameOf(float v) const;
};

extern const KV_option KV_Wid_Knob_options[];
