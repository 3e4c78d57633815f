#include "allpass_dispersion.h"

#include <array>

namespace vardo {

namespace {

// The quadrature pair's second branch, repeated fifteen times.
constexpr std::array<float, AllpassDispersion::kSections> makeCoefficients() {
  std::array<float, AllpassDispersion::kSections> a{};
  for (int k = 0; k < AllpassDispersion::kSections; ++k) a[k] = kQuadratureB[k % 4];
  return a;
}
constexpr std::array<float, AllpassDispersion::kSections> kCoefficients = makeCoefficients();

}  // namespace

void AllpassDispersion::clear() { fState = {}; }

float AllpassDispersion::process(float x, std::uint32_t n) {
  State& s = fState;
  constexpr int inner = kSections - 1;
  // Input of the last section and its two-back value, before the chain shifts.
  const float lastInputTwoBack = s.chain.two[inner];
  const float lastInput = s.chain.process(x, kCoefficients.data());
  const float y = (lastInput + s.output.read(n, 2)) * kCoefficients[inner] - lastInputTwoBack;
  s.output.write(n, y);
  return s.output.read(n, kDelay);
}

}  // namespace vardo
