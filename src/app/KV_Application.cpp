#include "app/KV_Application.h"

#include <cstdio>
#include <cstring>

#include "KV/Spcpp.h"

namespace {

// The knobs' ranges (their -mn and -mx), by parameter index; the switch has none.
struct Range {
  float mn, mx;
};
constexpr Range knobRanges[KV_Application::PARAMS] = {
    {0.0f, 1.0f}, {0.0f, 1.0f}, {-1.0f, 1.0f}, {-1.0f, 1.0f}, {0.9f, 0.1f}, {0.0f, 0.95f},
};

// Widget slots of the ten controls below the button, and of each knob.
constexpr int FIRST_ENABLED_WIDGET = 23, LAST_ENABLED_WIDGET = 32;
constexpr int BUTTON_WIDGET = 21;
constexpr int KNOB_WIDGET[KV_Application::PARAMS] = {0, 24, 26, 28, 30, 32};

double realValue(const KV_value& v) { return static_cast<double>(v.asFloat()); }

void knobValue(KV_Application* app, int index, double v) {
  if (KV_Object* knob = app->widget(KNOB_WIDGET[index])) spcpp(KV_CMD("KV_Wid_Knob %o -val %f"), knob, v);
}

void gain(KV_Object* effect, double k) { spcpp(KV_CMD("KV_Effect_Koef %o -k %f"), effect, k); }

struct MultiplierState : KV_Application::Param {
  void changed(KV_Application* app) override {
    int on = asInt();
    if (KV_Object* button = app->widget(BUTTON_WIDGET)) spcpp(KV_CMD("KV_Wid_Butt %o -val %i"), button, on);
    for (int w = FIRST_ENABLED_WIDGET; w <= LAST_ENABLED_WIDGET; ++w)
      if (KV_Object* wid = app->widget(w)) spcpp(KV_CMD("KV_Wid %o -enabled %i"), wid, on);
    for (int e = 2; e <= 22; ++e)
      if (KV_Object* fx = app->effect(e)) spcpp(KV_CMD("KV_Effect %o -on %i"), fx, on);
  }
};

struct SourceLevel : KV_Application::Param {
  void changed(KV_Application* app) override {
    knobValue(app, 1, realValue(*this));
    gain(app->graph[KV_Application::FX_SOURCE_GAIN], realValue(*this));
  }
};

struct X2Level : KV_Application::Param {
  void changed(KV_Application* app) override {
    knobValue(app, 2, realValue(*this));
    gain(app->graph[KV_Application::FX_X2_GAIN], realValue(*this));
  }
};

struct X3Level : KV_Application::Param {
  void changed(KV_Application* app) override {
    knobValue(app, 3, realValue(*this));
    gain(app->graph[KV_Application::FX_X3_GAIN], realValue(*this));
  }
};

// Sends one multiplier option to the 2x and the 3x multiplier of every band, band by band.
void eachMultiplier(KV_Application* app, char* command, double v) {
  for (int b = 0; b < 4; ++b) {
    spcpp(command, app->graph[KV_Application::FX_MUL2_1 + b], v);
    spcpp(command, app->graph[KV_Application::FX_MUL3_1 + b], v);
  }
}

struct Randomize : KV_Application::Param {
  void changed(KV_Application* app) override {
    knobValue(app, 4, realValue(*this));
    eachMultiplier(app, KV_CMD("KV_Effect_Tolvar %o -rand %f"), realValue(*this));
  }
};

struct Stability : KV_Application::Param {
  void changed(KV_Application* app) override {
    knobValue(app, 5, realValue(*this));
    eachMultiplier(app, KV_CMD("KV_Effect_Tolvar %o -stab %f"), realValue(*this));
  }
};

void setReal(KV_Application::Param* p, const char* name, float v) {
  p->name = name;
  p->label = "of all";
  p->type = KV_FLOAT;
  *static_cast<KV_value*>(p) = KV_value::ofFloat(v);
}

}  // namespace

// ---- Param

void KV_Application::Param::notify(KV_Object* data) { changed(static_cast<KV_Application*>(static_cast<void*>(data))); }

void KV_Application::Param::nameText(char* out) { std::sprintf(out, "%s", name); }

void KV_Application::Param::valueText(char* out) {
  if (type == KV_INT) std::sprintf(out, "%i", asInt());
  else if (type == KV_FLOAT) std::sprintf(out, "%f", static_cast<double>(asFloat()));
  else if (type == KV_SWITCH) std::sprintf(out, "%s", asInt() ? "On" : "Off");
}

void KV_Application::Param::labelText(char* out) { std::sprintf(out, "%s", label ? label : ""); }

void KV_Application::Param::setStates(const char* first, const char* second) {
  std::memset(pair, 0, sizeof pair);
  std::strncpy(pair, first, 9);
  std::memcpy(pair + 10, second, std::strlen(second) < 3 ? std::strlen(second) : 3);
  label = pair;
}

// ---- KV_Application

KV_Application::KV_Application() {
  params[0] = new MultiplierState;
  params[1] = new SourceLevel;
  params[2] = new X2Level;
  params[3] = new X3Level;
  params[4] = new Randomize;
  params[5] = new Stability;
}

KV_Application::~KV_Application() {
  for (Param* p : params) delete p;
}

void KV_Application::rangeOf(int index, float& mn, float& mx) const {
  mn = knobRanges[index].mn;
  mx = knobRanges[index].mx;
  KV_Object* knob = index > 0 && index < PARAMS ? widget(KNOB_WIDGET[index]) : nullptr;
  if (!knob) return;
  int32_t a = 0, b = 0;
  if (spcpp(KV_CMD("KV_Wid_Knob %o -mn -mx"), knob, &a, &b) != KV_OK) return;
  std::memcpy(&mn, &a, sizeof mn);
  std::memcpy(&mx, &b, sizeof mx);
}

KV_error KV_Application::build() {
  KV_CommandLock lock;  // another instance's build must not join this pipe
  width = 172;
  height = 238;
  blockLength = 512;
  buildGraph();

  Param* p = params[0];
  p->name = "Multiplier state";
  p->type = KV_SWITCH;
  p->val = 1;
  p->setStates("On", "Off");
  setReal(params[1], "Source level", 0.4f);
  setReal(params[2], "2-x level", 1.0f);
  setReal(params[3], "3-x level", -0.3f);
  setReal(params[4], "Randomize", 0.4f);
  setReal(params[5], "Stability", 0.6f);
  buildLayout();
  for (int i = 1; i < PARAMS; ++i) params[i]->widget = widget(KNOB_WIDGET[i]);

  for (Param* q : params) q->notify(reinterpret_cast<KV_Object*>(this));
  return KV_OK;
}

void KV_Application::buildGraph() {
  KV_Object** g = graph;
  int32_t began = 0;
  spcpp(KV_CMD("KV_Soundpipe -bl %i -b"), &g[PIPE], blockLength, &began);
  spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_I], "buf_i");
  spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_O], "buf_o");
  spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_V], "buf_v");
  spcpp(KV_CMD("KV_Effect_Copy -i %o -o %o"), &g[FX_INPUT_COPY], g[BUF_I], g[BUF_O]);
  spcpp(KV_CMD("KV_Effect_Koef -i %o -o %o -oper mul"), &g[FX_SOURCE_GAIN], g[BUF_O], g[BUF_O]);
  spcpp(KV_CMD("KV_Effect_Deline -i %o -g % -go %o -d % -da 1 -dt 0.02"), &g[FX_SOURCE_DELAY], g[BUF_O], g[BUF_O]);
  spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_T], "buf_t");
  spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_X2], "buf_x2");
  spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_X3], "buf_x3");
  double f = 200.0;
  spcpp(KV_CMD("KV_Effect_Hipass -i %o -o %o -f %f"), &g[FX_HIPASS], g[BUF_I], g[BUF_T], f / 1.6);
  for (int b = 0; b < 4; ++b) {
    const char* mode = b == 0 ? "set" : "add";
    spcpp(KV_CMD("KV_Effect_Lopass -i %o -o %o -f %f"), &g[FX_LOPASS1 + b], g[BUF_T], g[BUF_V], f);
    spcpp(KV_CMD("KV_Effect_Copy -i %o -o %o -mode sub"), &g[FX_REMOVE1 + b], g[BUF_V], g[BUF_T]);
    spcpp(KV_CMD("KV_Effect_Tolvar -i %o -o %o -k 2 -mode %s"), &g[FX_MUL2_1 + b], g[BUF_V], g[BUF_X2], mode);
    spcpp(KV_CMD("KV_Effect_Tolvar -i %o -o %o -k 3 -mode %s"), &g[FX_MUL3_1 + b], g[BUF_V], g[BUF_X3], mode);
    f *= 1.6;
  }
  spcpp(KV_CMD("KV_Effect_Koef -i %o -o %o -oper mul -mode add"), &g[FX_X2_GAIN], g[BUF_X2], g[BUF_O]);
  spcpp(KV_CMD("KV_Effect_Koef -i %o -o %o -oper mul -mode add"), &g[FX_X3_GAIN], g[BUF_X3], g[BUF_O]);
  spcpp(KV_CMD("KV_Effect_Copy -i %o -o %o"), &g[FX_OUTPUT_COPY], g[BUF_O], g[BUF_O]);
  int32_t ended = 0;
  spcpp(KV_CMD("KV_Soundpipe %o -e"), g[PIPE], &ended);
}

// The effects in the order the pipe runs them (their creation order).
static constexpr int runOrder[] = {
    KV_Application::FX_INPUT_COPY, KV_Application::FX_SOURCE_GAIN, KV_Application::FX_SOURCE_DELAY,
    KV_Application::FX_HIPASS,
    KV_Application::FX_LOPASS1,    KV_Application::FX_REMOVE1,     KV_Application::FX_MUL2_1, KV_Application::FX_MUL3_1,
    KV_Application::FX_LOPASS2,    KV_Application::FX_REMOVE2,     KV_Application::FX_MUL2_2, KV_Application::FX_MUL3_2,
    KV_Application::FX_LOPASS3,    KV_Application::FX_REMOVE3,     KV_Application::FX_MUL2_3, KV_Application::FX_MUL3_3,
    KV_Application::FX_LOPASS4,    KV_Application::FX_REMOVE4,     KV_Application::FX_MUL2_4, KV_Application::FX_MUL3_4,
    KV_Application::FX_X2_GAIN,    KV_Application::FX_X3_GAIN,     KV_Application::FX_OUTPUT_COPY,
};

void KV_Application::sendClock() {
  for (int slot : runOrder)
    if (graph[slot]) spcpp(KV_CMD("KV_Effect %o -clock %i"), graph[slot], sampleRate);
}

KV_error KV_Application::destroy() {
  KV_CommandLock lock;
  destroyGraph();
  destroyLayout();
  return KV_OK;
}

void KV_Application::destroyGraph() {
  for (int s = GRAPH_SLOTS - 1; s >= 0; --s)
    if (graph[s]) {
      spcpp(KV_CMD("%o -delete"), graph[s]);
      graph[s] = nullptr;
    }
}
