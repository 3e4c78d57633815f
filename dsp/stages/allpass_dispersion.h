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
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fState); }

  // Longest run processRun takes at once.
  static constexpr int kMaxRun = 256;
  // Takes x of count consecutive samples (counters n ... n + count - 1) and
  // writes the chain output of 300 samples earlier for each. Computed section
  // by section over the run, so the sixty sections do not form one
  // dependency chain per sample. 1 <= count <= kMaxRun; out may be in.
  void processRun(int count, std::uint32_t n, const float* in, float* out);

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
