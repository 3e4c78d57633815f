#include "dehum.h"

#include <cmath>
#include <numbers>

namespace vardo::tools {

HumFilter::HumFilter(double fundamentalHz, double sampleRate) {
  for (int k = 1; k * fundamentalHz <= kHumTopHz * 1.0001 && k * fundamentalHz < 0.45 * sampleRate;
       ++k) {
    const double w0 = 2.0 * std::numbers::pi * k * fundamentalHz / sampleRate;
    const double q = k * fundamentalHz / kHumNotchWidthHz;
    const double alpha = std::sin(w0) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    const double c = -2.0 * std::cos(w0);
    fNotches.push_back({1.0 / a0, c / a0, 1.0 / a0, c / a0, (1.0 - alpha) / a0});
  }
}

void HumFilter::process(float* samples, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    double x = samples[i];
    for (Notch& n : fNotches) {
      const double y = n.b0 * x + n.s1;
      n.s1 = n.b1 * x - n.a1 * y + n.s2;
      n.s2 = n.b2 * x - n.a2 * y;
      x = y;
    }
    samples[i] = static_cast<float>(x);
  }
}

}  // namespace vardo::tools
