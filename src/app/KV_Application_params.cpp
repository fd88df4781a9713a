// The product's six parameters, one row each, and the parameter object that applies a row: what
// parameter i does is paramTable[i].
#include <cstdio>
#include <cstring>

#include "KV/Spcpp.h"
#include "app/KV_Application.h"

namespace {
using A = KV_Application;

// Effects 2 … 22: the whole multiplier path, from the high-pass filter to the 3x level gain.
// clang-format off
constexpr int kPath[] = {
    A::FX_HIPASS,  A::FX_LOPASS1, A::FX_LOPASS2, A::FX_LOPASS3, A::FX_LOPASS4, A::FX_REMOVE1, A::FX_REMOVE2,
    A::FX_REMOVE3, A::FX_REMOVE4, A::FX_MUL2_1,  A::FX_MUL2_2,  A::FX_MUL2_3,  A::FX_MUL2_4,  A::FX_MUL3_1,
    A::FX_MUL3_2,  A::FX_MUL3_3,  A::FX_MUL3_4,  A::FX_SOURCE_DELAY, A::FX_SOURCE_GAIN, A::FX_X2_GAIN,
    A::FX_X3_GAIN,
};
// clang-format on
// The 2x and the 3x multiplier of every band, band by band.
constexpr int kMultipliers[] = {
    A::FX_MUL2_1, A::FX_MUL3_1, A::FX_MUL2_2, A::FX_MUL3_2, A::FX_MUL2_3, A::FX_MUL3_3, A::FX_MUL2_4, A::FX_MUL3_4,
};
constexpr int kSourceGain[] = {A::FX_SOURCE_GAIN};
constexpr int kX2Gain[] = {A::FX_X2_GAIN};
constexpr int kX3Gain[] = {A::FX_X3_GAIN};

template <size_t N>
constexpr int count(const int (&)[N]) {
  return static_cast<int>(N);
}

const char* const kKoef = "KV_Effect_Koef";
const char* const kTolvar = "KV_Effect_Tolvar";
const char* const kOf = "of all";
}  // namespace

// clang-format off
const KV_Application::ParamRow KV_Application::paramTable[PARAMS] = {
    // name, symbol, label, second, type, initial, mn, mx, widget, enabled slots, effects' class and option
    {"Multiplier state", "multiplier", "On", "Off", KV_SWITCH, 1.0f, 0.0f, 1.0f, 21, 23, 32, "KV_Effect", "on", kPath,
     count(kPath)},
    {"Source level", "source", kOf, nullptr, KV_FLOAT, 0.4f, 0.0f, 1.0f, 24, 0, 0, kKoef, "k", kSourceGain, 1},
    {"2-x level", "x2", kOf, nullptr, KV_FLOAT, 1.0f, -1.0f, 1.0f, 26, 0, 0, kKoef, "k", kX2Gain, 1},
    {"3-x level", "x3", kOf, nullptr, KV_FLOAT, -0.3f, -1.0f, 1.0f, 28, 0, 0, kKoef, "k", kX3Gain, 1},
    {"Randomize", "randomize", kOf, nullptr, KV_FLOAT, 0.4f, 0.9f, 0.1f, 30, 0, 0, kTolvar, "rand", kMultipliers,
     count(kMultipliers)},
    {"Stability", "stability", kOf, nullptr, KV_FLOAT, 0.6f, 0.0f, 0.95f, 32, 0, 0, kTolvar, "stab", kMultipliers,
     count(kMultipliers)},
};
// clang-format on

// A control reports here: the change is applied, and a listener of editor changes learns it.
void KV_Application::Param::notify(KV_Object* data) {
  auto* app = static_cast<KV_Application*>(static_cast<void*>(data));
  if (!app) return;  // a control without its -dat reports to no application
  {
    std::lock_guard<std::mutex> hold(app->changing);
    // A control's report has no answer to give: a command that fails has told so on standard output.
    KV_ignore(changed(app));
  }
  if (row && app->listener) {
    auto index = static_cast<int32_t>(row - paramTable);
    app->listener->edited(index, app->getPlain(index));
  }
}

void KV_Application::Param::nameText(char* out) { std::sprintf(out, "%s", name); }

void KV_Application::Param::valueText(char* out) {
  const KV_value now = current();
  if (type == KV_INT) std::sprintf(out, "%i", now.asInt());
  else if (type == KV_FLOAT) std::sprintf(out, "%f", static_cast<double>(now.asFloat()));
  else if (type == KV_SWITCH) std::sprintf(out, "%s", now.asInt() ? "On" : "Off");
}

void KV_Application::Param::labelText(char* out) { std::sprintf(out, "%s", label ? label : ""); }

void KV_Application::Param::setStates(const char* first, const char* second) {
  std::memset(pair, 0, sizeof pair);
  std::strncpy(pair, first, 9);
  std::memcpy(pair + 10, second, std::strlen(second) < 3 ? std::strlen(second) : 3);
  label = pair;
}

void KV_Application::Param::take(const ParamRow& r) {
  row = &r;
  name = r.name;
  type = r.type;
  if (r.type == KV_SWITCH) {
    setStates(r.label, r.second);
    put(r.initial > 0.5f ? 1 : 0);
  } else {
    label = r.label;
    put(KV_value::ofFloat(r.initial).val);
  }
}

KV_error KV_Application::Param::changed(KV_Application* app) {
  if (!row) return KV_OK;
  KV_error first = KV_OK;
  char command[64];
  std::snprintf(command, sizeof command, "%s %%o -%s %s", row->effectClass, row->option,
                type == KV_SWITCH ? "%i" : "%f");
  if (type == KV_SWITCH) {
    int32_t on = current().asInt();
    if (KV_Object* button = app->widget(row->widget))
      KV_keepFirst(first, spcpp(KV_CMD("KV_Wid_Butt %o -val %i"), button, on));
    for (int w = row->enableFirst; w > 0 && w <= row->enableLast; ++w)
      if (KV_Object* wid = app->widget(w)) KV_keepFirst(first, spcpp(KV_CMD("KV_Wid %o -enabled %i"), wid, on));
    for (int e = 0; e < row->effectCount; ++e)
      if (KV_Object* fx = app->graph[row->effects[e]]) KV_keepFirst(first, spcpp(command, fx, on));
  } else {
    double v = static_cast<double>(current().asFloat());
    if (KV_Object* knob = app->widget(row->widget))
      KV_keepFirst(first, spcpp(KV_CMD("KV_Wid_Knob %o -val %f"), knob, v));
    for (int e = 0; e < row->effectCount; ++e)
      if (KV_Object* fx = app->graph[row->effects[e]]) KV_keepFirst(first, spcpp(command, fx, v));
  }
  return first;
}

KV_value KV_Application::Param::optionValue() const {
  const KV_value now = current();
  return type == KV_SWITCH ? KV_value::ofInt(now.asInt()) : KV_value::ofFloat(now.asFloat());
}
