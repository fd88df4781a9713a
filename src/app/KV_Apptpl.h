// The application template: all that a format binding knows of a product.
#pragma once

#include <cstddef>
#include <cstdint>

#include "KV/KV.h"
#include "KV_cfuncs.h"

// Who the product is, as a host is told.
struct KV_Apptpl_Identity {
  const char* name;    // the effect name
  const char* vendor;  // the maker's web address
  int32_t uniqueId;    // the four-character code of the VST interface
  int32_t version;     // the vendor version
  int32_t inputs, outputs;
};

// What a host needs to know of one parameter beside its value.
struct KV_Apptpl_ParamInfo {
  const char* name;
  const char* symbol;  // a short identifier: letters, digits and underscores
  bool toggle;         // an on/off switch: plain values 0 and 1
  float minimum;       // the plain value at normalized 0 (may exceed maximum: a range that runs downward)
  float maximum;       // the plain value at normalized 1
  float initial;       // the plain value the product starts with
};

// Told of each change made in the product's editor (a knob drag, a button click), on the window's
// thread, with the parameter's new plain value.
class KV_Apptpl_Listener {
 public:
  virtual ~KV_Apptpl_Listener() = default;
  virtual void edited(int32_t index, float plain) = 0;
};

class KV_Apptpl {
 public:
  KV_API KV_Apptpl();
  virtual ~KV_Apptpl() = default;
  KV_Apptpl(const KV_Apptpl&) = delete;
  KV_Apptpl& operator=(const KV_Apptpl&) = delete;

  // Creates the graph, the widgets and the parameter values; sets the editor's size.
  virtual KV_error build() = 0;
  virtual KV_error attachWindow(KV_Object* window) = 0;
  virtual KV_error detachWindow() = 0;
  virtual KV_error destroy() = 0;
  // Returns the graph to the state of one freshly built at the current sample rate and parameter
  // values (a host's resume). Any thread may ask; the thread that runs audio does it before its
  // next block.
  virtual void reset() = 0;
  // Whether the host is to save the state as one opaque block.
  virtual bool hasState() { return false; }
  virtual KV_value saveState() { return KV_value(KV_EMPTY.val, KV_EMPTY.type, KV_EMPTY.len); }
  virtual void loadState(KV_value) {}

  // What a format binding drives, valid after build.
  virtual const KV_Apptpl_Identity& identity() const = 0;
  virtual int32_t paramCount() const = 0;
  // Index outside 0 … paramCount() - 1: a record with empty texts and a zero range.
  virtual KV_Apptpl_ParamInfo paramInfo(int32_t index) const = 0;
  // The texts a host shows, whole (a binding cuts them to its own limits); empty for a bad index.
  virtual void paramLabel(int32_t index, char* out, size_t size) = 0;
  virtual void paramDisplay(int32_t index, char* out, size_t size) = 0;
  // The value as the host's 0 … 1, and in the parameter's own units; a bad index is ignored.
  virtual float getNormalized(int32_t index) = 0;
  virtual void setNormalized(int32_t index, float value) = 0;
  virtual float getPlain(int32_t index) = 0;
  virtual void setPlain(int32_t index, float value) = 0;
  // For the audio thread: the plain value reaches the effects through their option handlers,
  // without the interpreter and so without its lock; the widgets are left as they are.
  virtual void applyPlain(int32_t index, float value) = 0;
  // The listener of editor changes, or null; the binding keeps it alive while it is set.
  virtual void listen(KV_Apptpl_Listener* listener) = 0;
  // The audio path: the first input channel in, the result to the first two outputs.
  virtual void runBlock(float** inputs, float** outputs, int32_t count) = 0;
  // A rate truncated toward zero; the effects recompute what depends on it.
  virtual void setSampleRate(int32_t rate) = 0;
  // The editor's size at its present scale.
  virtual int32_t editorWidth() const = 0;
  virtual int32_t editorHeight() const = 0;
  // The editor laid out at `scale` (1 or 2; 1 after build): every widget rectangle scaled, the
  // pictures drawn at that scale, the captions' font and the knobs' drag scaled with it. Only
  // while no window holds the widgets; another scale is refused with KV_ERROR_PARAM_REQUIRED.
  virtual KV_error scaleEditor(int32_t scale) = 0;
  virtual int32_t editorScale() const = 0;

  // The scale an editor opened into the platform window `parent` (null: before there is one) is
  // to have: the environment variable <NAME>_UI_SCALE (the product's name in upper case) set to 1
  // or 2, otherwise 2 on a screen of 144 DPI and above, else 1.
  KV_API int32_t chooseEditorScale(void* parent) const;
  // The editor's size at another scale.
  int32_t editorWidthAt(int32_t scale) const { return editorWidth() / editorScale() * scale; }
  int32_t editorHeightAt(int32_t scale) const { return editorHeight() / editorScale() * scale; }
};
