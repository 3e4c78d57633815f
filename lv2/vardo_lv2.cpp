// The LV2 plug-in: the same DSP and the same parameter objects as the VST 2.4
// effect, driven the same way. Control ports carry real values; each run call
// reads them once, clamps them as the VST parameters clamp host values, and
// hands the block to the DSP with the thread's denormal mode set.
#include <lv2/core/lv2.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>

#include "chain/chain.h"
#include "effect_block.h"
#include "mydsp.h"
#include "ports.h"
#include "text_and_numbers.h"
#include "vst_ui.h"

namespace {

using vardo::lv2::Port;

struct Instance {
  std::unique_ptr<mydsp> dsp;
  std::unique_ptr<vstUI> table;
  const float* input = nullptr;
  float* outputs[2] = {nullptr, nullptr};
  const float* controls[kControlCount] = {};
  float* latency = nullptr;
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const*) {
  try {
    auto self = std::make_unique<Instance>();
    self->dsp = std::make_unique<mydsp>();
    self->table = std::make_unique<vstUI>();
    self->dsp->declareControls(self->table.get());
    if (self->table->size() != kControlCount) return nullptr;
    // The rate as a VST host hands it over, a float, so both formats
    // initialise the DSP for the same integer rate.
    const float hostRate = rate > FLT_MAX ? INFINITY : rate < -FLT_MAX ? -INFINITY : static_cast<float>(rate);
    self->dsp->initialize(truncateToInt(hostRate));
    return self.release();
  } catch (...) {
    return nullptr;
  }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
  auto* self = static_cast<Instance*>(handle);
  switch (port) {
    case Port::kInput:
      self->input = static_cast<const float*>(data);
      return;
    case Port::kOutput0:
    case Port::kOutput1:
      self->outputs[port - Port::kOutput0] = static_cast<float*>(data);
      return;
    case Port::kLatency:
      self->latency = static_cast<float*>(data);
      return;
    default:
      if (port >= Port::kFirstControl && port < Port::kLatency)
        self->controls[port - Port::kFirstControl] = static_cast<const float*>(data);
      return;
  }
}

// A fresh start: no history of earlier runs is heard after re-activation.
void activate(LV2_Handle handle) { static_cast<Instance*>(handle)->dsp->clearState(); }

void run(LV2_Handle handle, uint32_t sampleCount) {
  auto* self = static_cast<Instance*>(handle);
  if (self->latency != nullptr) *self->latency = static_cast<float>(vardo::kSignalPathDelay);
  // Ports not connected keep the control's last value.
  for (int i = 0; i < kControlCount; ++i)
    if (self->controls[i] != nullptr) setPlainValue(*self->table->at(i), *self->controls[i]);

  vardo::enableFlushToZero();
  // The DSP reads input 0 only; it counts in int, so a count beyond that
  // arrives in pieces.
  float* input = const_cast<float*>(self->input);
  uint32_t done = 0;
  do {
    const uint32_t left = sampleCount - done;
    const int frames = static_cast<int>(left < INT_MAX ? left : INT_MAX);
    float* in[2] = {input ? input + done : nullptr, input ? input + done : nullptr};
    float* out[2] = {self->outputs[0] ? self->outputs[0] + done : nullptr,
                     self->outputs[1] ? self->outputs[1] + done : nullptr};
    if (vardo::effectBuffersUsable(*self->dsp, in, out, frames))
      self->dsp->computeBlock(frames, in, out);
    done += static_cast<uint32_t>(frames);
  } while (done < sampleCount);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {vardo::lv2::kPluginUri, instantiate, connectPort, activate,
                                    run, deactivate, cleanup, extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
