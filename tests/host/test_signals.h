// Test signals and the measurements made on them, shared by every test
// group: tones, fixed-seed noise (the measurement library's, so a figure in a
// test and in the benchmark start from the same samples), a tone's amplitude
// and a peak.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

#include "programme.h"

namespace vardo::test {

using programme::whiteNoise;

// amplitude sin(2 pi f i / fs) for samples i = from ... from + count - 1,
// evaluated in double and rounded to float.
inline std::vector<float> sine(double f, double fs, std::size_t count, double amplitude = 1.0,
                               std::size_t from = 0) {
  std::vector<float> x(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double n = static_cast<double>(from + i);
    x[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * f * n / fs));
  }
  return x;
}

// Amplitude of the component at f in y[start, start + count), by projection
// onto sine and cosine; count should span many periods.
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

// The largest magnitude in x[begin, end) (end -1: to the end).
inline float peakAbs(const std::vector<float>& x, std::size_t begin = 0, std::ptrdiff_t end = -1) {
  const std::size_t stop = end < 0 ? x.size() : static_cast<std::size_t>(end);
  float m = 0.0f;
  for (std::size_t i = begin; i < stop; ++i) m = std::max(m, std::fabs(x[i]));
  return m;
}

}  // namespace vardo::test
