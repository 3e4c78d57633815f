// Sixty allpass sections and a 512-sample ring: a decorrelated copy of the
// equalised signal, read 300 samples late.
#pragma once

#include <cstdint>

#include "../primitives.h"

namespace vardo {

class AllpassDispersion {
 public:
  void clear();
  // Takes x and returns the chain output of 300 samples earlier.
  float process(float x, std::uint32_t n);
};

}  // namespace vardo
