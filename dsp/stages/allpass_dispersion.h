// Sixty allpass sections and a 512-sample ring: a decorrelated copy of the
// equalised signal, read 300 samples late.
#pragma once

#include <cstdint>

#include "../primitives.h"

namespace vardo {

class AllpassDispersion {
 public:
  static constexpr int kSections = 60;
  static constexpr std::uint32_t kDelay = 300;

  void clear();
  // Takes x and returns the chain output of 300 samples earlier.
  float process(float x, std::uint32_t n);

 private:
  // Sections 1 ... 59 with their shared node histories; the last section
  // keeps its output history in the ring that also delays it.
  struct State {
    AllpassChain<kSections - 1> chain;
    Ring<512> output;
  };
  State fState;
};

}  // namespace vardo
