// Varnex: the band-limited harmonic exciter. Owns the processing graph, the editor's widgets and
// the six parameters, and turns every parameter change into commands.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "app/KV_Apptpl.h"

// Parameter type of an on/off switch; 0 to 5 are those of KV_value.
constexpr int32_t KV_SWITCH = 6;

class KV_Application : public KV_Apptpl {
 public:
  // Graph slots: the pipe, six buffers, 23 effects (effect e, 1 … 23, is at slot 6 + e).
  // clang-format off
  enum Graph : int {
    PIPE, BUF_I, BUF_V, BUF_T, BUF_X2, BUF_X3, BUF_O,
    FX_INPUT_COPY, FX_HIPASS,
    FX_LOPASS1, FX_LOPASS2, FX_LOPASS3, FX_LOPASS4,
    FX_REMOVE1, FX_REMOVE2, FX_REMOVE3, FX_REMOVE4,
    FX_MUL2_1, FX_MUL2_2, FX_MUL2_3, FX_MUL2_4,
    FX_MUL3_1, FX_MUL3_2, FX_MUL3_3, FX_MUL3_4,
    FX_SOURCE_DELAY, FX_SOURCE_GAIN, FX_X2_GAIN, FX_X3_GAIN, FX_OUTPUT_COPY,
    GRAPH_SLOTS
  };
  // clang-format on
  static constexpr int WIDGET_SLOTS = 32;
  static constexpr int PARAMS = 6;

  // One row per parameter: what it is, the widget that shows it and the effects it drives.
  struct ParamRow {
    const char* name;
    const char* symbol;  // the identifier a format shows beside the name
    const char* label;   // the unit label; for a switch its first state name
    const char* second;  // the second state name of a switch, else null
    int32_t type;        // KV_FLOAT or KV_SWITCH
    float initial;
    float mn, mx;                 // a knob's -mn and -mx: the plain values at host values 0 and 1
    int widget;                   // widget slot (1 … 32) of its knob or button
    int enableFirst, enableLast;  // widget slots a switch enables and disables; 0 for none
    const char* effectClass;      // the class of the effects it drives, and their option word
    const char* option;
    const int* effects;  // graph slots of those effects, in the order they receive it
    int effectCount;
  };
  static const ParamRow paramTable[PARAMS];

  // A parameter: the value the host reads and writes and the receiver a knob or button writes into.
  struct Param : KV_value {
    const char* name = "";
    const char* label;  // unit label; for a switch, a pair of state names 10 bytes apart
    KV_Object* widget = nullptr;
    int32_t min = 0, max = 0;
    char pair[14] = {'Y', 'e', 's', 0, 0, 0, 0, 0, 0, 0, 'N', 'o', 0, 0};
    const ParamRow* row = nullptr;

    Param() : KV_value(0, KV_NONE, -1), label(pair) {}
    virtual ~Param() = default;

    void notify(KV_Object* data) override;
    virtual void nameText(char* out);
    virtual void valueText(char* out);
    virtual void labelText(char* out);
    // Sends the value to its widget and to the effects of its row; the first failure, or KV_OK.
    virtual KV_error changed(KV_Application* app);
    // The value as its effects' option takes it.
    KV_value optionValue() const;

    // The value now: a knob or button writes it on the editor's thread, a host on its own threads.
    KV_value current() const {
      return KV_value(std::atomic_ref<KV_word>(const_cast<KV_word&>(val)).load(std::memory_order_relaxed), type, len);
    }
    void put(KV_word v) { std::atomic_ref<KV_word>(val).store(v, std::memory_order_relaxed); }

    const char* firstState() const { return label; }
    const char* secondState() const { return label ? label + 10 : nullptr; }
    void setStates(const char* first, const char* second);
    // Takes the row's name, label, type and initial value.
    void take(const ParamRow& r);
  };

  KV_Application();
  ~KV_Application() override;

  KV_error build() override;
  KV_error attachWindow(KV_Object* window) override;
  KV_error detachWindow() override;
  KV_error destroy() override;
  void reset() override { resetPending.store(true, std::memory_order_release); }

  const KV_Apptpl_Identity& identity() const override;
  int32_t paramCount() const override { return PARAMS; }
  KV_Apptpl_ParamInfo paramInfo(int32_t index) const override;
  void paramLabel(int32_t index, char* out, size_t size) override;
  void paramDisplay(int32_t index, char* out, size_t size) override;
  float getNormalized(int32_t index) override;
  void setNormalized(int32_t index, float value) override;
  float getPlain(int32_t index) override;
  void setPlain(int32_t index, float value) override;
  void applyPlain(int32_t index, float value) override;
  void listen(KV_Apptpl_Listener* l) override { listener = l; }
  // Runs a host block: the first input channel in, the result to the first two outputs.
  void runBlock(float** inputs, float** outputs, int32_t count) override;
  void setSampleRate(int32_t rate) override;
  int32_t editorWidth() const override { return width * scale; }
  int32_t editorHeight() const override { return height * scale; }
  KV_error scaleEditor(int32_t to) override;
  int32_t editorScale() const override { return scale; }

  // Gives every effect the sample rate, in run order.
  void sendClock();

  // The range of a real parameter: its knob's -mn and -mx.
  void rangeOf(int index, float& mn, float& mx) const;

  // Held while a parameter takes a value and sends it on, so that the last value stored is the
  // last one its widget and effects receive, whichever threads change it.
  std::mutex changing;
  std::atomic<bool> resetPending{false};  // a reset asked for and not yet done by runBlock
  int32_t width = 0, height = 0;          // the editor's size at scale 1
  int32_t scale = 1;
  int32_t blockLength = 0;
  int32_t sampleRate = 0;
  KV_Object* graph[GRAPH_SLOTS] = {};
  KV_Object* widgets[WIDGET_SLOTS] = {};
  KV_Object* editorWindow = nullptr;
  Param* params[PARAMS];

  KV_Object* effect(int e) const { return graph[FX_INPUT_COPY + e - 1]; }
  // Widget slot w, 1 … 32.
  KV_Object* widget(int w) const { return widgets[w - 1]; }
  KV_Object** widgetSlot(int w) { return &widgets[w - 1]; }

 private:
  Param paramObjects[PARAMS];
  KV_Apptpl_Listener* listener = nullptr;
  // Stores a plain value into the parameter, as its type keeps it; false for a value not finite.
  static bool store(Param* p, float value);
  Param* param(int32_t index);
  // The object a host change is reported with: the widget's -dat object, else the application.
  KV_Object* dataObject(Param* p);
  // Reports the value just stored in the parameter, as its widget would.
  void applied(Param* p);
  KV_error buildGraph();
  void destroyGraph();
  KV_error buildLayout();
  // One widget's rectangle, picture and drawing from scale `from` to scale `to`.
  KV_error scaleWidget(int slot, int32_t from, int32_t to);
  // The resource names of the widgets at the present scale; the widgets keep pointers to them.
  char scaledResources[WIDGET_SLOTS][24] = {};
  void destroyLayout();
};
