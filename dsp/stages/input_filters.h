// Input band-limiting: two copies of a sixth-order elliptic highpass at 40 Hz
// and two copies of a sixth-order elliptic lowpass at the "Lowpass Filter"
// corner, feeding a 256-sample history ring.
#pragma once

#include <cstdint>

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"

namespace vardo {

class InputFilters {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // Filters one input sample into the history ring at slot n.
  void process(float x, std::uint32_t n);
  const Ring<256>& history() const { return fHistory; }

 private:
  Ring<256> fHistory;
};

}  // namespace vardo
