// Quadrature allpass pairs (two four-section allpass chains fed with the same
// signal) for many lanes, with the floored magnitude of their outputs.
#pragma once

#include "../lanes.h"
#include "../primitives.h"

namespace vardo {

template <int Lanes>
struct QuadratureLanes {
  static constexpr int kNodes = 5;  // chain input and four section outputs

  // Node values of the last two samples, per branch: row `parity` holds the
  // older sample and is overwritten with the current one, row parity ^ 1
  // holds the previous sample. The owner flips the parity after each sample,
  // which saves shifting the history.
  alignas(kLaneAlign) float a[2][kNodes][Lanes];
  alignas(kLaneAlign) float b[2][kNodes][Lanes];

  // Runs both branches of the lanes from `lane` on and returns
  // sqrt(max(A[n-1]^2 + B[n]^2, -90 dB floor)).
  template <class V>
  V magnitude(V in, int lane, unsigned parity) {
    const V aLate = load<V>(a[parity ^ 1][kNodes - 1] + lane);
    chain(in, a[parity][0] + lane, kQuadratureA);
    const V bNow = chain(in, b[parity][0] + lane, kQuadratureB);
    return laneSqrt(laneMax(aLate * aLate + bNow * bNow, splat<V>(kFloor90dB)));
  }

 private:
  // y = (x + y'') a - x'' through the four sections, where `twoBack` points
  // at node 0 two samples back, the nodes Lanes floats apart, and receives
  // the new values.
  template <class V>
  static V chain(V in, float* twoBack, const float* coeffs) {
    V x = in;
    V inputTwoBack = load<V>(twoBack);
    store(twoBack, x);
    for (int k = 0; k < kNodes - 1; ++k) {
      const V outputTwoBack = load<V>(twoBack + (k + 1) * Lanes);
      const V y = allpassStep(x, outputTwoBack, splat<V>(coeffs[k]), inputTwoBack);
      store(twoBack + (k + 1) * Lanes, y);
      inputTwoBack = outputTwoBack;
      x = y;
    }
    return x;
  }
};

}  // namespace vardo
