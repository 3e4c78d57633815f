// Look-ahead level normaliser with the treble-driven first noise-reduction
// lowpass; also computes the corner of the second noise-reduction lowpass.
#pragma once

#include <cstdint>

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"

namespace vardo {

// Coefficient terms of the second noise-reduction lowpass for the current sample.
struct SecondCorner {
  float k = 0.0f;          // 1 / tan(pi f2 / fs)
  float oneMinusK = 0.0f;  // 1 - k
  float kPlusOne = 0.0f;   // k + 1
};

class LevelNormaliser {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // Reads the band-limited history (already holding sample n) and returns o.
  float process(const Ring<256>& history, std::uint32_t n);
  const SecondCorner& secondCorner() const { return fSecond; }

 private:
  SecondCorner fSecond;
};

}  // namespace vardo
