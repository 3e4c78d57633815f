// Per-band stereo width for bands 2 ... 11 and the two channel sums.
#pragma once

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"
#include "band_equaliser.h"

namespace vardo {

class StereoWidth {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  void process(const BandOutputs& bands, float& sumA, float& sumB);
};

}  // namespace vardo
