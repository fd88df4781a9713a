// The LV2 binding: the product as an LV2 plug-in and its X11 UI. Like the VST binding it knows
// the product only through KV_Apptpl and the one factory below.
#pragma once

#include <cstdint>

#include "app/KV_Apptpl.h"

namespace KV_Lv2 {
// The product this binding carries, not yet built; null when it cannot be made.
KV_Apptpl* createProduct();

// Ports: the audio input, the two audio outputs, then one control input per parameter.
constexpr uint32_t AUDIO_IN = 0, AUDIO_OUT_L = 1, AUDIO_OUT_R = 2, FIRST_CONTROL = 3;

// The plug-in's URI and its UI's, under the product's vendor address; null when no product
// can be made.
const char* pluginUri();
const char* uiUri();
}  // namespace KV_Lv2
