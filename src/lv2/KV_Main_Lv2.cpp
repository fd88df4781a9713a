// The LV2 plug-in: one product per instance. Control ports are read at the start of each run, on
// the audio thread, and a changed value goes to the effects without the interpreter's lock.
#include "lv2/KV_Main_Lv2.h"

#include <lv2/core/lv2.h>

#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace {

struct Instance {
  std::unique_ptr<KV_Apptpl> app;
  const float* input = nullptr;
  float* outputs[2] = {};
  std::vector<const float*> controls;  // one per parameter, as the host connects them
  std::vector<float> applied;          // the value last given to the product, per parameter
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
  auto* self = new (std::nothrow) Instance;
  if (!self) return nullptr;
  self->app.reset(KV_Lv2::createProduct());
  if (!self->app) {
    delete self;
    return nullptr;
  }
  (void)self->app->build();  // a failed command leaves its slot empty; the rest still works
  // As the VST binding: a rate beyond an int32 or not a number leaves the effects' own clock.
  if (rate >= 0.0 && rate < 2147483648.0) self->app->setSampleRate(static_cast<int32_t>(rate));
  const int32_t n = self->app->paramCount();
  self->controls.assign(static_cast<size_t>(n), nullptr);
  for (int32_t i = 0; i < n; ++i) self->applied.push_back(self->app->getPlain(i));
  return self;
}

void connectPort(LV2_Handle h, uint32_t port, void* data) {
  auto* self = static_cast<Instance*>(h);
  if (port == KV_Lv2::AUDIO_IN) self->input = static_cast<const float*>(data);
  else if (port == KV_Lv2::AUDIO_OUT_L) self->outputs[0] = static_cast<float*>(data);
  else if (port == KV_Lv2::AUDIO_OUT_R) self->outputs[1] = static_cast<float*>(data);
  else if (port - KV_Lv2::FIRST_CONTROL < self->controls.size())
    self->controls[port - KV_Lv2::FIRST_CONTROL] = static_cast<const float*>(data);
}

// A host activates before it runs the plug-in, and again after a deactivation: the graph starts
// clean, as the VST binding's resume does.
void activate(LV2_Handle h) { static_cast<Instance*>(h)->app->reset(); }

void run(LV2_Handle h, uint32_t frames) {
  auto* self = static_cast<Instance*>(h);
  for (size_t i = 0; i < self->controls.size(); ++i) {
    const float* port = self->controls[i];
    if (!port || !std::isfinite(*port) || *port == self->applied[i]) continue;
    self->applied[i] = *port;
    self->app->applyPlain(static_cast<int32_t>(i), *port);
  }
  if (frames > INT32_MAX) frames = INT32_MAX;
  float* inputs[1] = {const_cast<float*>(self->input)};
  self->app->runBlock(inputs, self->outputs, static_cast<int32_t>(frames));
}

void cleanup(LV2_Handle h) {
  auto* self = static_cast<Instance*>(h);
  (void)self->app->destroy();
  delete self;
}

}  // namespace

extern "C" KV_API const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  static const LV2_Descriptor descriptor = {
      KV_Lv2::pluginUri(), instantiate, connectPort, activate, run, nullptr, cleanup, nullptr};
  return index == 0 && descriptor.URI ? &descriptor : nullptr;
}
