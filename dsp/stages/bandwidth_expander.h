// Bandwidth expansion of one channel: squares the analytic signal of the band
// between 5 kHz and the lowpass corner to synthesise content above it.
#pragma once

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"

namespace vardo {

class BandwidthExpander {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  float process(float s);
};

}  // namespace vardo
