#include "vst/KV_Main_Vst.h"

#include "vst/KV_Main_Vst_Editor.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "KV/Spcpp.h"

const char* const kVarnexVendor = "https://www.varnex-audio.example";

namespace {

constexpr int kParamText = 8;  // 7 characters and the NUL

void putText(char* out, const char* text) { vst_strncpy(out, text, kParamText); }

}  // namespace

KV_Main_Vst::KV_Main_Vst(audioMasterCallback master) : AudioEffectX(master, 1, KV_Application::PARAMS) {
  app.build();
  sizeWindow(app.width, app.height);
  if (app.hasState()) programsAreChunks(true);
  setNumInputs(kVarnexInputs);
  setNumOutputs(kVarnexOutputs);
  setUniqueID(kVarnexUniqueID);
  setEditor(new KV_Main_Vst_Editor(this));
}

KV_Main_Vst::~KV_Main_Vst() { app.destroy(); }

void KV_Main_Vst::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  app.runBlock(inputs, outputs, sampleFrames);
}

void KV_Main_Vst::setSampleRate(float rate) {
  // A rate that is negative, not a number, or beyond an int32 is ignored; 0 is a valid clock.
  if (!(rate >= 0.0f && rate < 2147483648.0f)) return;
  AudioEffectX::setSampleRate(rate);
  app.sampleRate = static_cast<int32_t>(rate);
  app.sendClock();
}

KV_Application::Param* KV_Main_Vst::param(VstInt32 index) {
  return index >= 0 && index < KV_Application::PARAMS ? app.params[index] : nullptr;
}

KV_Object* KV_Main_Vst::dataObject(KV_Application::Param* p) {
  KV_Object* data = nullptr;
  if (p->widget && spcpp(KV_CMD("%o -dat"), p->widget, &data) == KV_OK && data) return data;
  return reinterpret_cast<KV_Object*>(&app);
}

void KV_Main_Vst::setParameter(VstInt32 index, float value) {
  KV_Application::Param* p = param(index);
  if (!p || !std::isfinite(value)) return;
  if (p->type == KV_FLOAT) {
    float mn, mx;
    app.rangeOf(index, mn, mx);
    long double v = static_cast<long double>(mn) + static_cast<long double>(value) * (static_cast<long double>(mx) - mn);
    *static_cast<KV_value*>(p) = KV_value::ofFloat(static_cast<float>(v));
    p->type = KV_FLOAT;
  } else if (p->type == KV_SWITCH) {
    p->val = value > 0.5f ? 1 : 0;
  } else if (p->type == KV_INT) {
    long double v = (static_cast<long double>(p->max) - p->min + 0.999999999L) * value + p->min;
    p->val = static_cast<int32_t>(v);
  }
  p->notify(dataObject(p));
}

float KV_Main_Vst::getParameter(VstInt32 index) {
  KV_Application::Param* p = param(index);
  if (!p) return 0.0f;
  if (p->type == KV_FLOAT) {
    float mn, mx;
    app.rangeOf(index, mn, mx);
    if (mx == mn) return 0.0f;
    return static_cast<float>((static_cast<double>(p->asFloat()) - mn) / (static_cast<double>(mx) - mn));
  }
  if (p->type == KV_SWITCH) return p->asInt() ? 1.0f : 0.0f;
  if (p->type == KV_INT)
    return static_cast<float>((static_cast<double>(p->asInt()) - p->min + 0.5) / (static_cast<double>(p->max) - p->min + 1));
  return 0.0f;
}

void KV_Main_Vst::getParameterName(VstInt32 index, char* text) {
  KV_Application::Param* p = param(index);
  putText(text, p ? p->name : "");
}

void KV_Main_Vst::getParameterLabel(VstInt32 index, char* text) {
  KV_Application::Param* p = param(index);
  char buf[64] = "";
  if (p && (p->type == KV_FLOAT || p->type == KV_INT) && p->label) {
    std::snprintf(buf, sizeof buf, "%s", p->label);
  } else if (p && p->type == KV_SWITCH && p->label) {
    std::snprintf(buf, sizeof buf, "%s/%s", p->firstState(), p->secondState());
  }
  putText(text, buf);
}

void KV_Main_Vst::getParameterDisplay(VstInt32 index, char* text) {
  KV_Application::Param* p = param(index);
  char buf[128] = "";
  const char* space = p && p->label ? " " : "";
  const char* label = p && p->label ? p->label : "";
  if (p && p->type == KV_FLOAT)
    std::snprintf(buf, sizeof buf, "%f%s%s", static_cast<double>(p->asFloat()), space, label);
  else if (p && p->type == KV_INT)
    std::snprintf(buf, sizeof buf, "%d%s%s", p->asInt(), space, label);
  else if (p && p->type == KV_SWITCH)
    std::snprintf(buf, sizeof buf, "%s", p->asInt() ? p->firstState() : p->secondState());
  putText(text, buf);
}

void KV_Main_Vst::getProgramName(char* name) { vst_strncpy(name, "Default program", kVstMaxProgNameLen); }

bool KV_Main_Vst::getProgramNameIndexed(VstInt32, VstInt32, char* text) {
  vst_strncpy(text, "Default program", kVstMaxProgNameLen);
  return true;
}

VstInt32 KV_Main_Vst::getChunk(void** data, bool) {
  KV_value state = app.saveState();
  *data = state.asPointer();
  return state.len;
}

VstInt32 KV_Main_Vst::setChunk(void* data, VstInt32 byteSize, bool) {
  app.loadState(KV_value(reinterpret_cast<KV_word>(data), KV_NONE, byteSize));
  return byteSize;
}

bool KV_Main_Vst::getEffectName(char* name) {
  vst_strncpy(name, "Varnex", kVstMaxEffectNameLen);
  return true;
}

bool KV_Main_Vst::getVendorString(char* text) {
  vst_strncpy(text, kVarnexVendor, kVstMaxVendorStrLen);
  return true;
}

bool KV_Main_Vst::getProductString(char* text) {
  char buf[kVstMaxProductStrLen];
  std::snprintf(buf, sizeof buf, "%s Varnex", kVarnexVendor);
  vst_strncpy(text, buf, kVstMaxProductStrLen);
  return true;
}
