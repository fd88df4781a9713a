// The VST 2.4 binding: translates the host's calls into the application template's operations.
// It knows the product only through KV_Apptpl and the one factory below.
#pragma once

#include <memory>

#include "app/KV_Apptpl.h"
#include "vst/AudioEffect.h"

class KV_Main_Vst : public AudioEffectX {
 public:
  // The product this binding drives, not yet built; null when it cannot be made.
  static KV_Apptpl* createProduct();

  // Owns and builds the product; with none (app null) the entry gives the host no plug-in.
  explicit KV_Main_Vst(audioMasterCallback master, KV_Apptpl* product = createProduct());
  ~KV_Main_Vst() override;

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void setSampleRate(float rate) override;
  void resume() override;

  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void getParameterName(VstInt32 index, char* text) override;
  void getParameterLabel(VstInt32 index, char* text) override;
  void getParameterDisplay(VstInt32 index, char* text) override;

  void getProgramName(char* name) override;
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
  void setProgram(VstInt32) override {}
  void setProgramName(char*) override {}
  VstInt32 getProgram() override { return 0; }
  VstInt32 getChunk(void** data, bool isPreset) override;
  VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override { return app->identity().version; }
  VstInt32 getPlugCategory() override { return kPlugCategEffect; }
  VstInt32 canDo(char*) override { return 0; }
  bool canParameterBeAutomated(VstInt32) override { return true; }

  const std::unique_ptr<KV_Apptpl> app;
};
