// The parameters as a host sees them: values from 0 to 1 or in the parameter's own units, and
// the texts it shows. A host change runs the same `changed` as the parameter's widget.
#include <cmath>
#include <cstdio>

#include "KV/Spcpp.h"
#include "app/KV_Application.h"

KV_Application::Param* KV_Application::param(int32_t index) {
  return index >= 0 && index < PARAMS ? params[index] : nullptr;
}

KV_Object* KV_Application::dataObject(Param* p) {
  KV_Object* data = nullptr;
  if (p->widget && spcpp(KV_CMD("%o -dat"), p->widget, &data) == KV_OK && data) return data;
  return reinterpret_cast<KV_Object*>(this);
}

// A host change runs the parameter's changed with the object its widget reports with; unlike a
// widget's notify, it is not an editor change. A host's set has no answer to give: a command that
// fails has told so on standard output.
void KV_Application::applied(Param* p) {
  KV_ignore(p->changed(static_cast<KV_Application*>(static_cast<void*>(dataObject(p)))));
}

KV_Apptpl_ParamInfo KV_Application::paramInfo(int32_t index) const {
  KV_Apptpl_ParamInfo info = {"", "", false, 0.0f, 0.0f, 0.0f};
  if (index < 0 || index >= PARAMS) return info;
  const ParamRow& row = paramTable[index];
  info.name = row.name;
  info.symbol = row.symbol;
  info.initial = row.initial;
  if (row.type == KV_SWITCH) {
    info.toggle = true;
    info.maximum = 1.0f;
  } else {
    rangeOf(index, info.minimum, info.maximum);
  }
  return info;
}

void KV_Application::paramLabel(int32_t index, char* out, size_t size) {
  Param* p = param(index);
  if (size) *out = 0;
  if (!p || !p->label) return;
  if (KV_isNumber(*p)) std::snprintf(out, size, "%s", p->label);
  else if (p->type == KV_SWITCH) std::snprintf(out, size, "%s/%s", p->firstState(), p->secondState());
}

void KV_Application::paramDisplay(int32_t index, char* out, size_t size) {
  Param* found = param(index);
  if (size) *out = 0;
  if (!found) return;
  const KV_value now = found->current();
  const KV_value* p = &now;
  const char* label = found->label ? found->label : "";
  const char* space = found->label ? " " : "";
  if (p->type == KV_FLOAT) std::snprintf(out, size, "%f%s%s", static_cast<double>(p->asFloat()), space, label);
  else if (p->type == KV_INT) std::snprintf(out, size, "%d%s%s", p->asInt(), space, label);
  else if (p->type == KV_SWITCH)
    std::snprintf(out, size, "%s", p->asInt() ? found->firstState() : found->secondState());
}

void KV_Application::setNormalized(int32_t index, float value) {
  Param* p = param(index);
  if (!p || !std::isfinite(value)) return;
  KV_word v = 0;
  if (p->type == KV_FLOAT) {
    float mn, mx;
    rangeOf(index, mn, mx);
    long double plain =
        static_cast<long double>(mn) + static_cast<long double>(value) * (static_cast<long double>(mx) - mn);
    v = KV_value::ofFloat(static_cast<float>(plain)).val;
  } else if (p->type == KV_SWITCH) {
    v = value > 0.5f ? 1 : 0;
  } else if (p->type == KV_INT) {
    v = static_cast<int32_t>((static_cast<long double>(p->max) - p->min + 0.999999999L) * value + p->min);
  } else {
    v = p->current().val;
  }
  std::lock_guard<std::mutex> hold(changing);
  p->put(v);
  applied(p);
}

float KV_Application::getNormalized(int32_t index) {
  Param* found = param(index);
  if (!found) return 0.0f;
  const KV_value now = found->current();
  const KV_value* p = &now;
  if (p->type == KV_FLOAT) {
    float mn, mx;
    rangeOf(index, mn, mx);
    if (mx == mn) return 0.0f;
    return static_cast<float>((static_cast<double>(p->asFloat()) - mn) / (static_cast<double>(mx) - mn));
  }
  if (p->type == KV_SWITCH) return p->asInt() ? 1.0f : 0.0f;
  if (p->type == KV_INT)
    return static_cast<float>((static_cast<double>(p->asInt()) - found->min + 0.5) /
                              (static_cast<double>(found->max) - found->min + 1));
  return 0.0f;
}

bool KV_Application::store(Param* p, float value) {
  if (!std::isfinite(value)) return false;
  if (p->type == KV_FLOAT) p->put(KV_value::ofFloat(value).val);
  else if (p->type == KV_SWITCH) p->put(value > 0.5f ? 1 : 0);
  else if (p->type == KV_INT) p->put(value <= p->min ? p->min : value >= p->max ? p->max : static_cast<int32_t>(value));
  return true;
}

void KV_Application::setPlain(int32_t index, float value) {
  Param* p = param(index);
  if (!p) return;
  std::lock_guard<std::mutex> hold(changing);
  if (store(p, value)) applied(p);
}

void KV_Application::applyPlain(int32_t index, float value) {
  Param* p = param(index);
  if (!p || !p->row || !store(p, value)) return;
  const KV_value v = p->optionValue();
  for (int e = 0; e < p->row->effectCount; ++e) {
    KV_Object* fx = graph[p->row->effects[e]];
    if (KV_handler set = fx ? KV_findOption(fx->options, p->row->option) : nullptr) set(fx, v);
  }
}

float KV_Application::getPlain(int32_t index) {
  Param* found = param(index);
  if (!found) return 0.0f;
  const KV_value now = found->current();
  const KV_value* p = &now;
  if (p->type == KV_FLOAT) return p->asFloat();
  if (p->type == KV_SWITCH || p->type == KV_INT) return static_cast<float>(p->asInt());
  return 0.0f;
}
