// The two-state button: a two-frame strip (off, on); a press toggles it.
#pragma once

#include <cstddef>
#include <typeinfo>

#include "KV/Vid.h"
#include "KV/Wid/Wid.h"

struct KV_Wid_Butt : KV_Wid {
  KV_Vid strip;  // frame 0 off, frame 1 on
  KV_Shared<uint8_t> state{0};      // set by -val on any thread and by clicks
  KV_Shared<int32_t> shownFrame{0};  // the frame hit tests look at, set from the state at each refresh
  KV_Wid_com com = nullptr;
  KV_word dat = 0;
  const char* resourceName = nullptr;  // not owned
  KV_value* receiver = nullptr;

  void paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& src) override;
  void refresh() override;
  void mouseDown(int32_t x, int32_t y) override;
  bool hits(int32_t x, int32_t y) override;
  // Only the control itself: a class derived from it is not highlighted.
  bool highlightable() const override { return typeid(*this) == typeid(KV_Wid_Butt); }

  // Takes the strip named `name` laid over KVVF data (null data: the name only, no strip).
  void useResource(const char* name, const void* data, size_t size);
  // A changed state refreshes and then calls com; an unchanged one does nothing.
  void setState(uint8_t s);
};

extern const KV_option KV_Wid_Butt_options[];
