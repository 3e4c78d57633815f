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

void AllpassDispersion::processChunk(const float* in, float* out, int count, std::uint32_t n) {
  State& s = fState;
  AllpassChain<kSections - 1>& chain = s.chain;
  // One node's values over the run, preceded by its values two and one
  // samples before the run: node[i + 2] is sample i, node[i] two samples back.
  float bufferA[kMaxChunk + 2];
  float bufferB[kMaxChunk + 2];
  float* node = bufferA;
  float* next = bufferB;
  node[0] = chain.two[0];
  node[1] = chain.one[0];
  for (int i = 0; i < count; ++i) node[i + 2] = in[i];
  for (int k = 0; k < kSections - 1; ++k) {
    // y = (x + y'') a - x'' along the run; section k's input history moves on.
    const float a = kCoefficients[k];
    next[0] = chain.two[k + 1];
    next[1] = chain.one[k + 1];
    for (int i = 0; i < count; ++i) next[i + 2] = (node[i + 2] + next[i]) * a - node[i];
    chain.two[k] = node[count];
    chain.one[k] = node[count + 1];
    float* const done = node;
    node = next;
    next = done;
  }
  chain.two[kSections - 1] = node[count];
  chain.one[kSections - 1] = node[count + 1];
  // The last section keeps its output history in the delay ring.
  constexpr int last = kSections - 1;
  const float a = kCoefficients[last];
  for (int i = 0; i < count; ++i) {
    const std::uint32_t at = n + static_cast<std::uint32_t>(i);
    const float y = (node[i + 2] + s.output.read(at, 2)) * a - node[i];
    s.output.write(at, y);
    out[i] = s.output.read(at, kDelay);
  }
}

}  // namespace vardo
