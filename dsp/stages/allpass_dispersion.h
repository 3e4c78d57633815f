// Sixty allpass sections and a 512-sample ring: a decorrelated copy of the
// equalised signal, read 300 samples late.
#pragma once

#include <cstdint>

#include "primitives/primitives.h"

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
  // writes the chain output of 300 samples earlier for each. 1 <= count <=
  // kMaxRun; out may be in.
  //
  // The sections run as a wavefront on four lanes: at each step section s
  // takes the sample 2 s steps older than the newest, from section s - 1's
  // output of two steps before. As each section's recursion reaches two
  // samples back, even and odd steps form independent chains. The chain's
  // output leaves it 118 steps late, within the 300-sample delay, and each
  // section still sees its samples in order with the same arithmetic. Before
  // the first sample the sections work on silence, which leaves a cleared
  // state as it was.
  void processRun(int count, std::uint32_t n, const float* in, float* out);

 private:
  // Input and output of each section one and two steps back; section s
  // stands at the sample 2 s before the latest the stage took.
  struct State {
    float inputOne[kSections];
    float inputTwo[kSections];
    float outputOne[kSections];
    float outputTwo[kSections];
    RingDelay<512> output;  // the last section's outputs, read 300 samples late
  };
  State fState;
};

}  // namespace vardo
