#include "allpass_dispersion.h"

#include <utility>

#include "primitives/section_front.h"
#include "simd/float4.h"

namespace vardo {

namespace {

// The quadrature pair's second branch, repeated fifteen times: the sections
// in groups of four lanes, lane j of every group with coefficient j.
constexpr int kGroups = AllpassDispersion::kSections / 4;
static_assert(AllpassDispersion::kSections % 4 == 0, "the sections fill groups of four lanes");

// Each section takes the sample this many steps after its predecessor.
constexpr std::uint32_t kSkew = 2;

// Groups per pass over the run.
constexpr int kPassGroups = 5;
static_assert(kGroups % kPassGroups == 0, "the passes take the groups evenly");

// Input and output histories of groups of four at one step parity, in
// locals for a pass: a step reads the values two steps back and leaves its
// own in their place, so the two sets take turns without moving.
template <int G>
struct Histories {
  Float4 input[G], output[G];
};

// One step of groups 0 ... G - 1, on the history set `back` (two steps back);
// the stage input or the previous pass's stream gives `carry`. Returns the
// last section's output.
template <int G>
[[gnu::always_inline]] inline float stepGroups(Histories<G>& back, Float4 a, float carryIn) {
  // Lane j takes lane j - 1's output of two steps before; lane 0 the
  // previous group's lane 3 (or the stage input).
  const Float4 y = advanceFront<1>(back.output, splat4(carryIn), [&](int k, Float4 x) {
    // y = (x + y'') a - x''
    const Float4 out = AllpassSection::step(x, back.output[k], a, back.input[k]);
    back.input[k] = x;
    return out;
  });
  return lane3Of4(y);
}

// Groups g0 ... g0 + G - 1 over the run. carryIn[t] is the output of
// section 4 g0 - 1 from two steps before step t (for the first group, the
// stage input of step t); carryOut[t] receives the same of the pass's last
// section, so carryOut[t + 2] is its output at step t.
template <int G>
void runGroups(float* inputOne, float* inputTwo, float* outputOne, float* outputTwo,
               const float* carryIn, float* carryOut, int count) {
  const Float4 a = load4(kQuadratureB);
  Histories<G> one;
  Histories<G> two;
  for (int k = 0; k < G; ++k) {
    one.input[k] = load4(inputOne + 4 * k);
    one.output[k] = load4(outputOne + 4 * k);
    two.input[k] = load4(inputTwo + 4 * k);
    two.output[k] = load4(outputTwo + 4 * k);
  }
  carryOut[0] = lane3Of4(two.output[G - 1]);
  carryOut[1] = lane3Of4(one.output[G - 1]);
  int t = 0;
  for (; t + 2 <= count; t += 2) {
    carryOut[t + 2] = stepGroups(two, a, carryIn[t]);
    carryOut[t + 3] = stepGroups(one, a, carryIn[t + 1]);
  }
  if (t < count) {
    // An odd step: its values become the latest, the others two steps back.
    carryOut[t + 2] = stepGroups(two, a, carryIn[t]);
    std::swap(one, two);
  }
  for (int k = 0; k < G; ++k) {
    store4(inputOne + 4 * k, one.input[k]);
    store4(outputOne + 4 * k, one.output[k]);
    store4(inputTwo + 4 * k, two.input[k]);
    store4(outputTwo + 4 * k, two.output[k]);
  }
}

}  // namespace

void AllpassDispersion::clear() { fState = {}; }

void AllpassDispersion::processRun(int count, std::uint32_t n, const float* in, float* out) {
  State& s = fState;
  // The stream passed from one pass to the next: the outputs of the pass's
  // last section from the two steps before the run, then after each step.
  float bufferA[kMaxRun + 2];
  float bufferB[kMaxRun + 2];
  const float* carryIn = in;
  float* carryOut = bufferA;
  float* spare = bufferB;
  for (int g0 = 0; g0 < kGroups; g0 += kPassGroups) {
    const int at = 4 * g0;
    runGroups<kPassGroups>(s.inputOne + at, s.inputTwo + at, s.outputOne + at, s.outputTwo + at,
                           carryIn, carryOut, count);
    carryIn = carryOut;
    std::swap(carryOut, spare);
  }
  // carryIn[t + 2] is the chain output at step t, for the sample 118 steps older.
  constexpr std::uint32_t lag = kSkew * (kSections - 1);
  static_assert(lag < kDelay, "the chain output is ready before the delay reads it");
  for (int t = 0; t < count; ++t) {
    const std::uint32_t step = n + static_cast<std::uint32_t>(t);
    s.output.write(step - lag, carryIn[t + 2]);
    out[t] = s.output.read(step, kDelay);
  }
}

}  // namespace vardo
