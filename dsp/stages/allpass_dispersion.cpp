#include "allpass_dispersion.h"

#include <utility>

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

// Input and output histories of one group of four at one step parity, in
// locals for a pass: a step reads the values two steps back and leaves its
// own in their place, so the two sets take turns without moving.
struct Histories {
  Float4 input, output;
};

// One step of groups 0 ... G - 1, on the history set `back` (two steps back)
// of each group; the stage input or the previous pass's stream gives
// `carry`. Returns the last section's output.
template <int G>
[[gnu::always_inline]] inline float stepGroups(Histories (&back)[G], Float4 a, float carryIn) {
  Float4 carry = splat4(carryIn);
  for (int k = 0; k < G; ++k) {
    // Lane j takes lane j - 1's output of two steps before; lane 0 the
    // previous group's lane 3 (or the stage input).
    const Float4 x = shiftIn4(back[k].output, carry);
    carry = back[k].output;
    // y = (x + y'') a - x''
    back[k].output = allpassStep(x, back[k].output, a, back[k].input);
    back[k].input = x;
  }
  return lane3Of4(back[G - 1].output);
}

// Groups g0 ... g0 + G - 1 over the run. carryIn[t] is the output of
// section 4 g0 - 1 from two steps before step t (for the first group, the
// stage input of step t); carryOut[t] receives the same of the pass's last
// section, so carryOut[t + 2] is its output at step t.
template <int G>
void runGroups(float* inputOne, float* inputTwo, float* outputOne, float* outputTwo,
               const float* carryIn, float* carryOut, int count) {
  const Float4 a = load4(kQuadratureB);
  Histories one[G];
  Histories two[G];
  for (int k = 0; k < G; ++k) {
    one[k] = {load4(inputOne + 4 * k), load4(outputOne + 4 * k)};
    two[k] = {load4(inputTwo + 4 * k), load4(outputTwo + 4 * k)};
  }
  carryOut[0] = lane3Of4(two[G - 1].output);
  carryOut[1] = lane3Of4(one[G - 1].output);
  int t = 0;
  for (; t + 2 <= count; t += 2) {
    carryOut[t + 2] = stepGroups(two, a, carryIn[t]);
    carryOut[t + 3] = stepGroups(one, a, carryIn[t + 1]);
  }
  if (t < count) {
    // An odd step: its values become the latest, the others two steps back.
    carryOut[t + 2] = stepGroups(two, a, carryIn[t]);
    for (int k = 0; k < G; ++k) std::swap(one[k], two[k]);
  }
  for (int k = 0; k < G; ++k) {
    store4(inputOne + 4 * k, one[k].input);
    store4(outputOne + 4 * k, one[k].output);
    store4(inputTwo + 4 * k, two[k].input);
    store4(outputTwo + 4 * k, two[k].output);
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
