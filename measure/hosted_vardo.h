// The plug-in as a host sees it: loaded from the built library, opened at a
// sample rate, controls set in their own units, mono programme in, two
// channels out.
#pragma once

#include <fstream>
#include <vector>

#include "controls.h"
#include "measurement_host.h"

namespace vardo::e2e {

// The process's resident set, in bytes (Linux; what an instance costs a host).
inline long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * 4096;
}

struct Stereo {
  std::vector<float> left;
  std::vector<float> right;

  void append(const Stereo& more) {
    left.insert(left.end(), more.left.begin(), more.left.end());
    right.insert(right.end(), more.right.begin(), more.right.end());
  }
};

class HostedVardo {
 public:
  explicit HostedVardo(int rate, int blockSize = 512) {
    fEffect = fHost.open();
    if (fEffect != nullptr) fHost.startup(static_cast<float>(rate), blockSize);
  }

  bool ok() const { return fEffect != nullptr && fEffect->numParams == kControlCount; }
  int initialDelay() const { return fEffect->initialDelay; }

  // Sets a control to a value in its own units through the host's 0 ... 1 scale.
  void setValue(int index, float value) {
    const ControlRow& c = kControlTable[index];
    fHost.setParameter(index, (value - c.min) / (c.max - c.min));
  }

  // Sets a control through the host's scale directly (values outside 0 ... 1
  // and non-finite ones included, as a careless host may send them).
  void setValueNormalised(int index, float value) { fHost.setParameter(index, value); }

  // effMainsChanged 0, then 1: a host's off/on, or a bypass toggle.
  void switchOffAndOn() {
    fHost.dispatch(effMainsChanged, 0, 0);
    fHost.dispatch(effMainsChanged, 0, 1);
  }

  // One replacing call; input 1 is silent.
  void process(const float* in, float* out0, float* out1, int frames) {
    if (static_cast<int>(fSilence.size()) < frames) fSilence.assign(frames, 0.0f);
    float* inputs[2] = {const_cast<float*>(in), fSilence.data()};
    float* outputs[2] = {out0, out1};
    fHost.process(inputs, outputs, frames);
  }

  Stereo render(const std::vector<float>& input, int blockSize) {
    Stereo out;
    fHost.processMono(input, blockSize, out.left, out.right);
    return out;
  }

 private:
  vardo::measure::MeasurementHost fHost;
  AEffect* fEffect = nullptr;
  std::vector<float> fSilence;
};

}  // namespace vardo::e2e
