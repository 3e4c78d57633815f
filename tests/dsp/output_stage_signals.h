// Small signal generators and measurements shared by the output-stage tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace vardo::testing {

inline std::vector<float> sine(double freq, double fs, float amplitude, int count) {
  std::vector<float> s(count);
  for (int i = 0; i < count; ++i)
    s[i] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * freq * i / fs));
  return s;
}

// Uniform white noise in [-amplitude, amplitude] from a fixed-seed LCG.
inline std::vector<float> noise(float amplitude, int count, std::uint32_t seed = 12345u) {
  std::vector<float> s(count);
  for (int i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    s[i] = amplitude * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
  }
  return s;
}

// Amplitude of the component at freq in x[begin, end), by correlation with a
// sine/cosine pair (the span should hold many periods).
inline double amplitudeAt(const std::vector<float>& x, double freq, double fs, int begin, int end) {
  double re = 0.0;
  double im = 0.0;
  for (int i = begin; i < end; ++i) {
    const double ph = 2.0 * M_PI * freq * i / fs;
    re += x[i] * std::cos(ph);
    im += x[i] * std::sin(ph);
  }
  return 2.0 * std::sqrt(re * re + im * im) / (end - begin);
}

inline float peakAbs(const std::vector<float>& x, int begin = 0, int end = -1) {
  if (end < 0) end = static_cast<int>(x.size());
  float m = 0.0f;
  for (int i = begin; i < end; ++i) m = std::max(m, std::fabs(x[i]));
  return m;
}

}  // namespace vardo::testing
