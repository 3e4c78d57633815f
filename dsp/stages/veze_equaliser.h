// The fixed equaliser: seven shelves built from Butterworth crossovers and
// three peaking filters; "Disable VEZE EQ" bypasses it.
#pragma once

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"

namespace vardo {

class VezeEqualiser {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  float process(float o);
};

}  // namespace vardo
