#include "vst/AudioEffect.h"

#include <cstring>

#include "vst/FpuGuard.h"

namespace {

AudioEffect* self(AEffect* e) { return e ? static_cast<AudioEffect*>(e->object) : nullptr; }

VstIntPtr VSTCALLBACK dispatchEffect(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                     float opt) {
  FpuGuard fpu;
  AudioEffect* fx = self(e);
  if (!fx) return 0;
  VstIntPtr result = fx->dispatcher(opcode, index, value, ptr, opt);
  if (opcode == effClose) {
    delete fx;
    return 1;
  }
  return result;
}

void VSTCALLBACK processEffect(AEffect* e, float** in, float** out, VstInt32 n) {
  FpuGuard fpu;
  if (AudioEffect* fx = self(e)) fx->process(in, out, n);
}

void VSTCALLBACK processReplacingEffect(AEffect* e, float** in, float** out, VstInt32 n) {
  FpuGuard fpu;
  if (AudioEffect* fx = self(e)) fx->processReplacing(in, out, n);
}

void VSTCALLBACK processDoubleEffect(AEffect* e, double** in, double** out, VstInt32 n) {
  FpuGuard fpu;
  if (AudioEffect* fx = self(e)) fx->processDoubleReplacing(in, out, n);
}

void VSTCALLBACK setParameterEffect(AEffect* e, VstInt32 index, float value) {
  FpuGuard fpu;
  if (AudioEffect* fx = self(e)) fx->setParameter(index, value);
}

float VSTCALLBACK getParameterEffect(AEffect* e, VstInt32 index) {
  FpuGuard fpu;
  AudioEffect* fx = self(e);
  return fx ? fx->getParameter(index) : 0.0f;
}

}  // namespace

void vst_strncpy(char* out, const char* text, int limit) {
  if (!out || limit <= 0) return;
  std::memset(out, 0, static_cast<size_t>(limit));
  if (text) std::strncpy(out, text, static_cast<size_t>(limit - 1));
}

AudioEffect::AudioEffect(audioMasterCallback master, VstInt32 programs, VstInt32 params)
    : audioMaster(master), numPrograms(programs), numParams(params) {
  std::memset(&cEffect, 0, sizeof cEffect);
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatchEffect;
  cEffect.process = processEffect;
  cEffect.setParameter = setParameterEffect;
  cEffect.getParameter = getParameterEffect;
  cEffect.numPrograms = programs;
  cEffect.numParams = params;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = effFlagsCanReplacing;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.version = 1;
  cEffect.processReplacing = processReplacingEffect;
  cEffect.processDoubleReplacing = processDoubleEffect;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::programsAreChunks(bool state) {
  if (state) cEffect.flags |= effFlagsProgramChunks;
  else cEffect.flags &= ~effFlagsProgramChunks;
}

void AudioEffect::setEditor(AEffEditor* e) {
  editor = e;
  if (e) cEffect.flags |= effFlagsHasEditor;
  else cEffect.flags &= ~effFlagsHasEditor;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
      if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
      return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName: if (ptr) setProgramName(static_cast<char*>(ptr)); return 0;
    case effGetProgramName: if (ptr) getProgramName(static_cast<char*>(ptr)); return 0;
    case effGetParamLabel: if (ptr) getParameterLabel(index, static_cast<char*>(ptr)); return 0;
    case effGetParamDisplay: if (ptr) getParameterDisplay(index, static_cast<char*>(ptr)); return 0;
    case effGetParamName: if (ptr) getParameterName(index, static_cast<char*>(ptr)); return 0;
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); return 0;
    case effMainsChanged:
      if (value) resume();
      else suspend();
      return 0;
    case effEditGetRect:
      if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
      return 0;
    case effEditOpen: return editor ? (editor->open(ptr) ? 1 : 0) : 0;
    case effEditClose: if (editor) editor->close(); return 0;
    case effEditIdle: if (editor) editor->idle(); return 0;
    case effIdentify: return kEffectIdentify;
    case effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk: return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default: return 0;
  }
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
    case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
    case effGetProgramNameIndexed:
      return text ? (getProgramNameIndexed(static_cast<VstInt32>(value), index, text) ? 1 : 0) : 0;
    case effGetPlugCategory: return getPlugCategory();
    case effGetEffectName: return text ? (getEffectName(text) ? 1 : 0) : 0;
    case effGetVendorString: return text ? (getVendorString(text) ? 1 : 0) : 0;
    case effGetProductString: return text ? (getProductString(text) ? 1 : 0) : 0;
    case effGetVendorVersion: return getVendorVersion();
    case effCanDo: return text ? canDo(text) : 0;
    case effGetTailSize: return getGetTailSize();
    case effGetVstVersion: return getVstVersion();
    case effEditKeyDown:
      return editor ? (editor->onKeyDown(index, static_cast<VstInt32>(value), static_cast<VstInt32>(opt)) ? 1 : 0) : 0;
    case effEditKeyUp:
      return editor ? (editor->onKeyUp(index, static_cast<VstInt32>(value), static_cast<VstInt32>(opt)) ? 1 : 0) : 0;
    case effSetEditKnobMode: return editor ? (editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0) : 0;
    case effGetCurrentMidiProgram: return getCurrentMidiProgram(index, ptr);
    case effSetTotalSampleToProcess: return setTotalSampleToProcess(static_cast<VstInt32>(value));
    default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

void AudioEffectX::resume() {
  // Asks the plug-in's own canDo whether it takes MIDI; only then does it want events.
  char midi[] = "receiveVstMidiEvent";
  if (canDo(midi) == 1) wantEvents();
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return callHost(audioMasterSizeWindow, width, height) != 0;
}

void AudioEffectX::wantEvents(VstInt32 filter) { callHost(audioMasterWantMidi, 0, filter); }
