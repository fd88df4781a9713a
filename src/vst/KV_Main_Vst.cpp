#include "vst/KV_Main_Vst.h"

#include <cstdio>

#include "vst/KV_Main_Vst_Editor.h"

namespace {

constexpr int kParamText = 8;  // 7 characters and the NUL

void putText(char* out, const char* text) { vst_strncpy(out, text, kParamText); }

}  // namespace

KV_Main_Vst::KV_Main_Vst(audioMasterCallback master, KV_Apptpl* product)
    : AudioEffectX(master, 1, product ? product->paramCount() : 0), app(product) {
  if (!app) return;
  (void)app->build();  // a failed command leaves its slot empty; the rest of the product still works
  sizeWindow(app->editorWidth(), app->editorHeight());
  if (app->hasState()) programsAreChunks(true);
  const KV_Apptpl_Identity& id = app->identity();
  setNumInputs(id.inputs);
  setNumOutputs(id.outputs);
  setUniqueID(id.uniqueId);
  setEditor(new KV_Main_Vst_Editor(this));
}

KV_Main_Vst::~KV_Main_Vst() {
  if (app) (void)app->destroy();
}

void KV_Main_Vst::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  app->runBlock(inputs, outputs, sampleFrames);
}

void KV_Main_Vst::setSampleRate(float rate) {
  // A rate that is negative, not a number, or beyond an int32 is ignored; 0 is a valid clock.
  if (!(rate >= 0.0f && rate < 2147483648.0f)) return;
  AudioEffectX::setSampleRate(rate);
  app->setSampleRate(static_cast<int32_t>(rate));
}

// A host resumes before a render and expects it to start clean (Ardour does so before every
// bounce): the graph starts over as a fresh instance's would.
void KV_Main_Vst::resume() {
  AudioEffectX::resume();
  app->reset();
}

void KV_Main_Vst::setParameter(VstInt32 index, float value) { app->setNormalized(index, value); }

float KV_Main_Vst::getParameter(VstInt32 index) { return app->getNormalized(index); }

void KV_Main_Vst::getParameterName(VstInt32 index, char* text) { putText(text, app->paramInfo(index).name); }

void KV_Main_Vst::getParameterLabel(VstInt32 index, char* text) {
  char buf[64];
  app->paramLabel(index, buf, sizeof buf);
  putText(text, buf);
}

void KV_Main_Vst::getParameterDisplay(VstInt32 index, char* text) {
  char buf[128];
  app->paramDisplay(index, buf, sizeof buf);
  putText(text, buf);
}

void KV_Main_Vst::getProgramName(char* name) { vst_strncpy(name, "Default program", kVstMaxProgNameLen); }

bool KV_Main_Vst::getProgramNameIndexed(VstInt32, VstInt32, char* text) {
  vst_strncpy(text, "Default program", kVstMaxProgNameLen);
  return true;
}

VstInt32 KV_Main_Vst::getChunk(void** data, bool) {
  KV_value state = app->saveState();
  *data = state.asPointer();
  return state.len;
}

VstInt32 KV_Main_Vst::setChunk(void* data, VstInt32 byteSize, bool) {
  app->loadState(KV_value(reinterpret_cast<KV_word>(data), KV_NONE, byteSize));
  return byteSize;
}

bool KV_Main_Vst::getEffectName(char* name) {
  vst_strncpy(name, app->identity().name, kVstMaxEffectNameLen);
  return true;
}

bool KV_Main_Vst::getVendorString(char* text) {
  vst_strncpy(text, app->identity().vendor, kVstMaxVendorStrLen);
  return true;
}

bool KV_Main_Vst::getProductString(char* text) {
  char buf[kVstMaxProductStrLen];
  std::snprintf(buf, sizeof buf, "%s %s", app->identity().vendor, app->identity().name);
  vst_strncpy(text, buf, kVstMaxProductStrLen);
  return true;
}
