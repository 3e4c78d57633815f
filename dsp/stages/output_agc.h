// Second noise-reduction lowpass and the look-ahead output gain control that
// writes both outputs within -1 dBFS.
#pragma once

#include <cstdint>

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"
#include "level_normaliser.h"

namespace vardo {

class OutputAgc {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  void process(float xA, float xB, const SecondCorner& corner, std::uint32_t n, float& out0,
               float& out1);
};

}  // namespace vardo
