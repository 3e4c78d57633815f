// The quick exponential and tangent of quick_transcendentals.h on every
// lane type the kernels are written for: the plain float and the four lanes
// come with the functions themselves, eight lanes run as two halves.
#pragma once

#include "math/quick_transcendentals.h"
#include "simd/lanes.h"

namespace vardo {

// The quick exponential and tangent (quick_transcendentals.h) on both halves.
inline Float8 quickExp(Float8 x) { return {quickExp(x.lo), quickExp(x.hi)}; }
inline Float8 quickTan(Float8 x) { return {quickTan(x.lo), quickTan(x.hi)}; }

// The single-precision path of quickExp alone, with no branch: y gets
// exp(x) in every lane and the answer is true when every lane lies in the
// path's range and rounds clearly; otherwise y is of no use.
template <class V>
[[gnu::always_inline]] inline bool quickExpClearly(V x, V& y) {
  const auto [r, e] = quick_detail::smallExp(x, [](float c) { return splat<V>(c); });
  y = r;
  return allLanes(greaterEqual(x, splat<V>(kSmallExpLowest))) &
         allLanes(greaterEqual(splat<V>(kQuickExpHighest), x)) &
         allLanes(greater(splat<V>(quick_detail::kSmallExpClear), laneAbs(e)));
}

}  // namespace vardo
