// A cascade of recursive stages run as a wavefront over a run of samples.
//
// Run stage by stage within each sample, a cascade is one long chain of
// dependent operations per sample, and the processor can keep only a few
// samples of it in flight. Skewed, step t gives stage j sample t - j: the
// stages of one step no longer wait for each other (stage j's input is
// stage j - 1's output of the step before), so every stage's recursion
// runs beside the others'. Each stage still takes its samples in order and
// computes them exactly as before.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

namespace vardo {

// Runs count samples through `stages` (callables V -> V, each holding its
// own state), the first taking input(k) and the last giving output(k, y),
// in the order of k.
template <class V, class Input, class Output, class... Stages>
[[gnu::always_inline]] inline void runSkewed(int count, Input&& input, Output&& output,
                                             Stages&&... stages) {
  constexpr int kStages = static_cast<int>(sizeof...(Stages));
  auto stage = std::forward_as_tuple(stages...);
  V latest[kStages]{};  // each stage's newest output
  // One step; only the first and last few steps have stages without a
  // sample, and only they ask.
  const auto step = [&]<bool kEdge, std::size_t... J>(std::bool_constant<kEdge>,
                                                      std::index_sequence<J...>, int t) {
    // The last stage first, so that each stage reads its predecessor's
    // output of the step before, not of this one.
    (
        [&] {
          constexpr int j = kStages - 1 - static_cast<int>(J);
          const int k = t - j;
          if (kEdge && (k < 0 || k >= count)) return;
          if constexpr (j == 0) {
            latest[0] = std::get<0>(stage)(input(k));
          } else {
            latest[j] = std::get<j>(stage)(latest[j - 1]);
          }
          if constexpr (j == kStages - 1) output(k, latest[j]);
        }(),
        ...);
  };
  constexpr auto order = std::make_index_sequence<kStages>{};
  const int last = count + kStages - 1;  // steps in all
  const int steadyFrom = kStages - 1 < last ? kStages - 1 : last;
  const int steadyTo = count > steadyFrom ? count : steadyFrom;
  int t = 0;
  for (; t < steadyFrom; ++t) step(std::true_type{}, order, t);
  for (; t < steadyTo; ++t) step(std::false_type{}, order, t);
  for (; t < last; ++t) step(std::true_type{}, order, t);
}

}  // namespace vardo
