// The quick exponential and tangent of quick_transcendentals.h on every
// lane type the kernels are written for (they come with the functions
// themselves), and the branch-free path of the exponential.
#pragma once

#include "math/quick_transcendentals.h"
#include "simd/lanes.h"

namespace vardo {

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
