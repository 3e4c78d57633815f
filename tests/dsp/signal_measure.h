// Signal generators and measurements for the DSP unit tests.
#pragma once

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "controls.h"

namespace vardo::test {

inline ControlFields defaultControls() {
  ControlFields c{};
  resetControlFields(c);
  return c;
}

inline double toDb(double gain) { return 20.0 * std::log10(gain); }

// Amplitude of the component at f in y[start, start + count), by projection
// onto sine and cosine; count should span whole periods.
inline double toneAmplitude(const std::vector<float>& y, double f, double fs, std::size_t start,
                            std::size_t count) {
  double re = 0.0, im = 0.0;
  for (std::size_t i = start; i < start + count; ++i) {
    const double phase = 2.0 * std::numbers::pi * f * static_cast<double>(i) / fs;
    re += y[i] * std::cos(phase);
    im += y[i] * std::sin(phase);
  }
  return 2.0 * std::hypot(re, im) / static_cast<double>(count);
}

inline std::vector<float> sine(double f, double fs, std::size_t length, double amplitude = 1.0) {
  std::vector<float> x(length);
  for (std::size_t i = 0; i < length; ++i)
    x[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * f * static_cast<double>(i) / fs));
  return x;
}

inline std::vector<float> noise(std::size_t length, double amplitude = 1.0, unsigned seed = 7) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-amplitude, amplitude);
  std::vector<float> x(length);
  for (auto& v : x) v = static_cast<float>(dist(gen));
  return x;
}

}  // namespace vardo::test
