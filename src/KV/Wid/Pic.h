// The picture widget: a KVIF picture from the library's resources, repeated from the widget's
// top-left corner when the widget is larger than the picture.
#pragma once

#include <cstddef>

#include "KV/Pic/Pic.h"
#include "KV/Wid/Wid.h"

struct KV_Wid_Pic : KV_Wid {
  KV_Pic<KV_Pix_A32> picture;
  const char* resourceName = nullptr;  // not owned

  void paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& src) override;

  // Maps the picture onto KVIF data and takes its size where the widget has none yet.
  bool usePicture(const void* data, size_t size);
  // Keeps the resource name and, when there is data, maps it (usePicture).
  void useResource(const char* name, const void* data, size_t size);
};

extern const KV_option KV_Wid_Pic_options[];
