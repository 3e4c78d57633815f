// A cascade of sections run as a wavefront on groups of four lanes. Each
// section takes kWidth lanes (one per channel), so a group holds 4 / kWidth
// consecutive sections. At every step each section takes its predecessor's
// output of the step before: all the recursions of the cascade run side by
// side instead of one after the other, and each section still sees its own
// samples in order with its own arithmetic.
#pragma once

#include <type_traits>

#include "simd/float4.h"

namespace vardo {

// A group's input at a step: its own latest outputs moved up by one section,
// with `carried` moved in below: the previous group's latest outputs (its
// last section's lanes), or for the first group the fresh samples (one lane
// a section: lane 3, a splat serves; two lanes: lanes 0 and 1).
template <int kWidth>
Float4 frontInput(Float4 carried, Float4 own, bool first);
template <>
[[gnu::always_inline]] inline Float4 frontInput<1>(Float4 carried, Float4 own, bool) {
  return shiftIn4(own, carried);
}
template <>
[[gnu::always_inline]] inline Float4 frontInput<2>(Float4 carried, Float4 own, bool first) {
  return first ? lowPairs4(carried, own) : middlePairs4(carried, own);
}

// One step of the front: step(k, x) runs group k on its input x and returns
// its outputs, which become latest[k]. Returns the last group's outputs.
template <int kWidth, int G, class Step>
[[gnu::always_inline]] inline Float4 advanceFront(Float4 (&latest)[G], Float4 fresh, Step step) {
  Float4 carried = fresh;
  for (int k = 0; k < G; ++k) {
    const Float4 x = frontInput<kWidth>(carried, latest[k], k == 0);
    carried = latest[k];
    latest[k] = step(k, x);
  }
  return latest[G - 1];
}

// count samples through a front that starts and ends empty: step t gives
// section s sample t - s. fresh(t) gives the samples of step t < count;
// step<kAll>(k, x, active) runs group k and moves on the recursions only of
// the lanes marked active (those holding a sample of the run), unless all
// are (kAll); done(i, y) takes the last group's outputs for sample i.
template <int kWidth, int G, class Fresh, class Step, class Done>
[[gnu::always_inline]] inline void runFront(int count, Fresh fresh, Step step, Done done) {
  constexpr int kSections = 4 * G / kWidth;
  const Float4 zero = splat4(0.0f);
  const Float4 runLength = splat4(static_cast<float>(count));
  Float4 latest[G];
  Float4 section[G];  // the section of each lane
  for (int k = 0; k < G; ++k) {
    latest[k] = zero;
    alignas(16) float lanes[4];
    for (int l = 0; l < 4; ++l) lanes[l] = static_cast<float>((4 * k + l) / kWidth);
    section[k] = load4(lanes);
  }
  const auto at = [&]<bool kAll>(std::bool_constant<kAll>, int t) {
    const Float4 now = splat4(static_cast<float>(t));
    advanceFront<kWidth>(latest, t < count ? fresh(t) : zero, [&](int k, Float4 x) {
      Mask4 active{};
      if constexpr (!kAll) {
        // Lane of section s holds sample t - s: inside the run when 0 <= t - s < count.
        const Float4 sample = now - section[k];
        active = and4(greaterEqual4(sample, zero), less4(sample, runLength));
      }
      return step.template operator()<kAll>(k, x, active);
    });
    const int i = t - (kSections - 1);
    if (i >= 0 && i < count) done(i, latest[G - 1]);
  };
  // Every section has a sample from step kSections - 1 up to step count - 1.
  int t = 0;
  for (; t < kSections - 1; ++t) at(std::false_type{}, t);
  for (; t < count; ++t) at(std::true_type{}, t);
  for (; t < count + kSections - 1; ++t) at(std::false_type{}, t);
}

}  // namespace vardo
