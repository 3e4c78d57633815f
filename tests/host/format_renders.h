// One programme through both plug-in formats of a build: the VST 2.4 library
// through the test host, the LV2 plug-in through its descriptor (however the
// caller found and instantiated it), with the same controls.
#pragma once

#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ports.h"
#include "reference_signals.h"
#include "measurement_host.h"

namespace vardo::reference {

// Drives an LV2 instance block by block, as a host's audio thread does. The
// caller keeps the instance (activation and clean-up are its own).
class Lv2Runner {
 public:
  Lv2Runner(const LV2_Descriptor* descriptor, LV2_Handle handle)
      : fDescriptor(descriptor), fHandle(handle), fControls(kControlCount, 0.0f) {
    for (std::uint32_t i = 0; i < kControlCount; ++i)
      connect(lv2::Port::kFirstControl + i, &fControls[i]);
    connect(lv2::Port::kLatency, &fLatency);
  }
  void connect(std::uint32_t port, void* data) { fDescriptor->connect_port(fHandle, port, data); }
  // The ports' storage stays where it was connected.
  void setControls(const std::vector<float>& values) {
    std::copy(values.begin(), values.end(), fControls.begin());
  }
  float latency() const { return fLatency; }
  void run(std::uint32_t frames) { fDescriptor->run(fHandle, frames); }

  void render(const std::vector<float>& input, int block, std::vector<float>& out0,
              std::vector<float>& out1) {
    std::vector<float> in(input);
    out0.assign(input.size(), 0.0f);
    out1.assign(input.size(), 0.0f);
    for (std::size_t start = 0; start < input.size(); start += static_cast<std::size_t>(block)) {
      const std::size_t n = std::min(input.size() - start, static_cast<std::size_t>(block));
      connect(lv2::Port::kInput, in.data() + start);
      connect(lv2::Port::kOutput0, out0.data() + start);
      connect(lv2::Port::kOutput1, out1.data() + start);
      run(static_cast<std::uint32_t>(n));
    }
  }

 private:
  const LV2_Descriptor* fDescriptor;
  LV2_Handle fHandle;
  std::vector<float> fControls;
  float fLatency = -1.0f;
};

struct FormatRenders {
  std::vector<float> vst0, vst1, lv0, lv1;
};

// Renders input through both formats in blocks of block frames: the first
// half at the defaults, the second after the host changed every control to
// setting (none: no change). Both instances must be fresh and started.
inline FormatRenders renderBothFormats(measure::MeasurementHost& vst, Lv2Runner& lv2,
                                       const ControlTable& controls,
                                       const std::vector<float>& input, int block,
                                       const Setting* setting) {
  const auto middle = input.begin() + static_cast<std::ptrdiff_t>(input.size() / 2);
  const std::vector<float> first(input.begin(), middle);
  const std::vector<float> second(middle, input.end());
  FormatRenders r;
  std::vector<float> a, b;
  lv2.setControls(controls.defaults());
  vst.processMono(first, block, r.vst0, r.vst1);
  lv2.render(first, block, r.lv0, r.lv1);
  if (setting) {
    for (int i = 0; i < kControlCount; ++i)
      vst.setParameter(i, setting->normalised[static_cast<std::size_t>(i)]);
    lv2.setControls(controls.portValues(setting->normalised));
  }
  vst.processMono(second, block, a, b);
  r.vst0.insert(r.vst0.end(), a.begin(), a.end());
  r.vst1.insert(r.vst1.end(), b.begin(), b.end());
  lv2.render(second, block, a, b);
  r.lv0.insert(r.lv0.end(), a.begin(), a.end());
  r.lv1.insert(r.lv1.end(), b.begin(), b.end());
  return r;
}

}  // namespace vardo::reference
