#include "allpass_dispersion.h"

#include <array>
#include <utility>

namespace vardo {

namespace {

// The quadrature pair's second branch, repeated fifteen times.
constexpr std::array<float, AllpassDispersion::kSections> makeCoefficients() {
  std::array<float, AllpassDispersion::kSections> a{};
  for (int k = 0; k < AllpassDispersion::kSections; ++k) a[k] = kQuadratureB[k % 4];
  return a;
}
constexpr std::array<float, AllpassDispersion::kSections> kCoefficients = makeCoefficients();

constexpr int kGroup = 4;

// Sections k ... k + G - 1 over the run: node holds the input node's values
// (two history values first), next receives the output node's. The nodes
// between them keep their histories in locals through the pass.
template <int G>
void runSections(AllpassChain<AllpassDispersion::kSections - 1>& chain, int k, const float* node,
                 float* next, int count) {
  float one[G];
  float two[G];
  for (int j = 1; j < G; ++j) {
    one[j] = chain.one[k + j];
    two[j] = chain.two[k + j];
  }
  float a[G];
  for (int j = 0; j < G; ++j) a[j] = kCoefficients[k + j];
  next[0] = chain.two[k + G];
  next[1] = chain.one[k + G];
  for (int i = 0; i < count; ++i) {
    float x = node[i + 2];
    float xTwoBack = node[i];
    for (int j = 0; j < G - 1; ++j) {
      // y = (x + y'') a - x'', and node k + j + 1 moves on by one sample.
      const float y = allpassStep(x, two[j + 1], a[j], xTwoBack);
      xTwoBack = two[j + 1];
      two[j + 1] = one[j + 1];
      one[j + 1] = y;
      x = y;
    }
    next[i + 2] = allpassStep(x, next[i], a[G - 1], xTwoBack);
  }
  chain.two[k] = node[count];
  chain.one[k] = node[count + 1];
  for (int j = 1; j < G; ++j) {
    chain.one[k + j] = one[j];
    chain.two[k + j] = two[j];
  }
}

}  // namespace

void AllpassDispersion::clear() { fState = {}; }

void AllpassDispersion::processRun(int count, std::uint32_t n, const float* in, float* out) {
  State& s = fState;
  AllpassChain<kSections - 1>& chain = s.chain;
  // One node's values over the run, preceded by its values two and one
  // samples before the run: node[i + 2] is sample i, node[i] two samples back.
  float bufferA[kMaxRun + 2];
  float bufferB[kMaxRun + 2];
  float* node = bufferA;
  float* next = bufferB;
  node[0] = chain.two[0];
  node[1] = chain.one[0];
  for (int i = 0; i < count; ++i) node[i + 2] = in[i];
  // Four sections per pass over the run: one section's feedback (y'' two
  // samples back) leaves room for the others' operations in between.
  constexpr int inner = kSections - 1;
  int k = 0;
  for (; k + kGroup <= inner; k += kGroup) {
    runSections<kGroup>(chain, k, node, next, count);
    std::swap(node, next);
  }
  if (inner - k == 3) {
    runSections<3>(chain, k, node, next, count);
    std::swap(node, next);
  }
  static_assert(inner % kGroup == 3, "the last pass takes the three remaining sections");
  chain.two[kSections - 1] = node[count];
  chain.one[kSections - 1] = node[count + 1];
  // The last section keeps its output history in the delay ring.
  constexpr int last = kSections - 1;
  const float a = kCoefficients[last];
  for (int i = 0; i < count; ++i) {
    const std::uint32_t at = n + static_cast<std::uint32_t>(i);
    const float y = allpassStep(node[i + 2], s.output.read(at, 2), a, node[i]);
    s.output.write(at, y);
    out[i] = s.output.read(at, kDelay);
  }
}

}  // namespace vardo
