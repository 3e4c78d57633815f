// Hum removal before the chain: narrow notches at the mains frequency and its
// harmonics up to about 1 kHz, where hum and its buzz sit.
#pragma once

#include <cstddef>
#include <vector>

namespace vardo::tools {

// The highest harmonic notched, in Hz.
inline constexpr double kHumTopHz = 1000.0;
// Each notch's width between its -3 dB points, in Hz: wide enough for mains
// that drifts by a few tenths of a percent, narrow enough to leave the
// programme between the harmonics as it is.
inline constexpr double kHumNotchWidthHz = 3.0;

// A cascade of second-order notches at the fundamental and every harmonic up
// to kHumTopHz (and below 0.45 of the sample rate), computed in double.
class HumFilter {
 public:
  HumFilter(double fundamentalHz, double sampleRate);
  void process(float* samples, std::size_t count);
  std::size_t notchCount() const { return fNotches.size(); }

 private:
  struct Notch {
    double b0, b1, b2, a1, a2;
    double s1 = 0.0, s2 = 0.0;  // transposed direct form II state
  };
  std::vector<Notch> fNotches;
};

}  // namespace vardo::tools
