// The Varnex plug-in: the VST 2.4 binding around the application.
#pragma once

#include "app/KV_Application.h"
#include "vst/AudioEffect.h"

// The product's identity, kept together.
constexpr VstInt32 kVarnexInputs = 1;
constexpr VstInt32 kVarnexOutputs = 2;
constexpr VstInt32 kVarnexUniqueID = 0x39373634;  // the bytes "4679" in memory order
extern const char* const kVarnexVendor;

class KV_Main_Vst : public AudioEffectX {
 public:
  explicit KV_Main_Vst(audioMasterCallback master);
  ~KV_Main_Vst() override;

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void setSampleRate(float rate) override;

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
  VstInt32 getVendorVersion() override { return 1000; }
  VstInt32 getPlugCategory() override { return kPlugCategEffect; }
  VstInt32 canDo(char*) override { return 0; }
  bool canParameterBeAutomated(VstInt32) override { return true; }

  KV_Application app;

 private:
  KV_Application::Param* param(VstInt32 index);
  // The object a host change is reported with: the widget's -dat object, else the application.
  KV_Object* dataObject(KV_Application::Param* p);
};
