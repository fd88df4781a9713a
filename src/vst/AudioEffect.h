// The VST 2.4 plug-in base classes: AudioEffect fills the effect record and translates the
// host's calls into virtual operations; AudioEffectX adds the 2.x opcodes; AEffEditor is the
// editor base.
#pragma once

#include "vst/aeffect.h"

class AudioEffect;

class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect = nullptr) : effect(effect) {}
  virtual ~AEffEditor() = default;

  virtual bool getRect(ERect** rect) {
    *rect = nullptr;
    return false;
  }
  virtual bool open(void* ptr) {
    systemWindow = ptr;
    return false;
  }
  virtual void close() { systemWindow = nullptr; }
  virtual bool isOpen() { return systemWindow != nullptr; }
  virtual void idle() {}
  virtual bool onKeyDown(VstInt32, VstInt32, VstInt32) { return false; }
  virtual bool onKeyUp(VstInt32, VstInt32, VstInt32) { return false; }
  virtual bool setKnobMode(VstInt32) { return false; }

 protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
};

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();

  AEffect* getAeffect() { return &cEffect; }
  AEffEditor* getEditor() { return editor; }

  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}

  virtual void setSampleRate(float rate) { sampleRate = rate; }
  virtual void setBlockSize(VstInt32 size) { blockSize = size; }
  virtual float getSampleRate() { return sampleRate; }
  virtual VstInt32 getBlockSize() { return blockSize; }

  virtual void setProgram(VstInt32 program) { curProgram = program; }
  virtual VstInt32 getProgram() { return curProgram; }
  virtual void setProgramName(char*) {}
  virtual void getProgramName(char* name) { *name = 0; }

  virtual void setParameter(VstInt32, float) {}
  virtual float getParameter(VstInt32) { return 0; }
  virtual void getParameterLabel(VstInt32, char* label) { *label = 0; }
  virtual void getParameterDisplay(VstInt32, char* text) { *text = 0; }
  virtual void getParameterName(VstInt32, char* text) { *text = 0; }

  virtual VstInt32 getChunk(void** data, bool isPreset) { return 0; }
  virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) { return 0; }

  virtual void process(float**, float**, VstInt32) {}
  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processDoubleReplacing(double**, double**, VstInt32) {}

  void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
  void setNumInputs(VstInt32 n) { cEffect.numInputs = n; }
  void setNumOutputs(VstInt32 n) { cEffect.numOutputs = n; }
  void programsAreChunks(bool state = true);
  void setEditor(AEffEditor* e);

  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0);

 protected:
  audioMasterCallback audioMaster;
  AEffEditor* editor = nullptr;
  float sampleRate = 44100.0f;
  VstInt32 blockSize = 1024;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 curProgram = 0;
  AEffect cEffect;
};

class AudioEffectX : public AudioEffect {
 public:
  using AudioEffect::AudioEffect;

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
  void resume() override;

  virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) { return false; }
  virtual bool canParameterBeAutomated(VstInt32) { return true; }
  virtual VstInt32 getPlugCategory() { return kPlugCategUnknown; }
  virtual bool getEffectName(char*) { return false; }
  virtual bool getVendorString(char*) { return false; }
  virtual bool getProductString(char*) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstInt32 canDo(char*) { return 0; }
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual VstInt32 getVstVersion() { return 2400; }
  virtual VstInt32 getCurrentMidiProgram(VstInt32, void*) { return -1; }
  virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }

  bool sizeWindow(VstInt32 width, VstInt32 height);
  void wantEvents(VstInt32 filter = 1);
};

// Writes at most `limit - 1` characters of `text` into `out`, after clearing `limit` bytes.
void vst_strncpy(char* out, const char* text, int limit);
