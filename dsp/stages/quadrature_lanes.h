// Quadrature allpass pairs (two four-section allpass chains fed with the same
// signal) for many lanes, with the floored magnitude of their outputs.
#pragma once

#include "primitives/primitives.h"
#include "simd/lanes.h"

namespace vardo {

// The lanes from `lane` on of values laid out as component lanes are: the
// first half's from lane 0 on, the second half's from lane `second` on.
// They are read from a run of floats that holds the first half's values
// from its start and the second half's from `stride` on. A lane group that
// straddles the halves takes its lanes from both, by the mask `secondLanes`
// (1 in the lanes of the second half).
template <class V>
[[gnu::always_inline]] inline V lanesOfHalves(const float* run, int stride, int lane, int second,
                                              const float* secondLanes) {
  if (lane + kLaneWidth<V> <= second) return load<V>(run + lane);
  const V secondHalf = load<V>(run + stride + (lane - second));
  if (lane >= second) return secondHalf;
  return select(greater(load<V>(secondLanes + lane), splat<V>(0.0f)), secondHalf,
                load<V>(run + lane));
}

template <int Lanes>
struct QuadratureLanes {
  static constexpr int kNodes = AllpassChain<float>::kNodes;

  // Node values of the last two samples, per branch: row `parity` holds the
  // older sample, row parity ^ 1 the newer one. The owner flips the parity
  // with every sample, which saves shifting the history.
  alignas(kLaneAlign) float a[2][kNodes][Lanes];
  alignas(kLaneAlign) float b[2][kNodes][Lanes];

  // Runs both branches of the lanes from `lane` on over `count` samples, the
  // first at `parity`: input(i) gives sample i's input, and its magnitude
  // sqrt(max(A[i-1]^2 + B[i]^2, -90 dB floor)) goes to *output(i). Each
  // branch runs over all the samples with its node histories in registers
  // and leaves its rows for the sample after the last (the owner flips the
  // parity count times).
  template <class V, class Input, class Output>
  void magnitudes(int count, int lane, unsigned parity, Input input, Output output) {
    const unsigned last = parity ^ (static_cast<unsigned>(count) & 1u);  // older row after the run
    V aLate = load<V>(a[parity ^ 1][kNodes - 1] + lane);
    {
      // Branch a's outputs go to the out rows for the moment.
      AllpassChain<V> branch = loadRows<V>(a, parity, lane);
      for (int i = 0; i < count; ++i) store(output(i), branch.process(input(i), kQuadratureA));
      storeRows(a, last, lane, branch);
    }
    AllpassChain<V> branch = loadRows<V>(b, parity, lane);
    for (int i = 0; i < count; ++i) {
      const V aNow = load<V>(output(i));
      const V bNow = branch.process(input(i), kQuadratureB);
      store(output(i), laneSqrt(laneMax(aLate * aLate + bNow * bNow, splat<V>(kFloor90dB))));
      aLate = aNow;
    }
    storeRows(b, last, lane, branch);
  }

 private:
  // A branch's rows into registers (`older` is the row of the older sample)
  // and back.
  template <class V>
  static AllpassChain<V> loadRows(const float (&rows)[2][kNodes][Lanes], unsigned older,
                                      int lane) {
    AllpassChain<V> h;
    for (int k = 0; k < kNodes; ++k) {
      h.two[k] = load<V>(rows[older][k] + lane);
      h.one[k] = load<V>(rows[older ^ 1][k] + lane);
    }
    return h;
  }
  template <class V>
  static void storeRows(float (&rows)[2][kNodes][Lanes], unsigned older, int lane,
                        const AllpassChain<V>& h) {
    for (int k = 0; k < kNodes; ++k) {
      store(rows[older][k] + lane, h.two[k]);
      store(rows[older ^ 1][k] + lane, h.one[k]);
    }
  }
};

}  // namespace vardo
