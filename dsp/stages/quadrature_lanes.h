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

  // The same for `count` samples of the lanes from `lane` on, the first
  // sample at `parity`: input(i) gives sample i's input, and its magnitude
  // goes to *output(i). Each branch runs over all the samples with its node
  // histories in registers, and leaves its rows as `count` calls of
  // magnitude would (the owner flips the parity count times).
  template <class V, class Input, class Output>
  void magnitudes(int count, int lane, unsigned parity, Input input, Output output) {
    const unsigned last = parity ^ (static_cast<unsigned>(count) & 1u);  // older row after the run
    V aLate = load<V>(a[parity ^ 1][kNodes - 1] + lane);
    {
      // Branch a's outputs go to the out rows for the moment.
      V two[kNodes];
      V one[kNodes];
      loadRows(a, parity, lane, two, one);
      for (int i = 0; i < count; ++i) {
        store(output(i), step(input(i), two, one, kQuadratureA));
      }
      storeRows(a, last, lane, two, one);
    }
    V two[kNodes];
    V one[kNodes];
    loadRows(b, parity, lane, two, one);
    for (int i = 0; i < count; ++i) {
      const V aNow = load<V>(output(i));
      const V bNow = step(input(i), two, one, kQuadratureB);
      store(output(i), laneSqrt(laneMax(aLate * aLate + bNow * bNow, splat<V>(kFloor90dB))));
      aLate = aNow;
    }
    storeRows(b, last, lane, two, one);
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

  // One sample through a branch whose node values two and one samples back
  // are held in `two` and `one`, which move on by the sample.
  template <class V>
  [[gnu::always_inline]] static V step(V in, V (&two)[kNodes], V (&one)[kNodes],
                                       const float* coeffs) {
    V x = in;
    V inputTwoBack = two[0];
    two[0] = one[0];
    one[0] = x;
    for (int k = 0; k < kNodes - 1; ++k) {
      const V outputTwoBack = two[k + 1];
      const V y = allpassStep(x, outputTwoBack, splat<V>(coeffs[k]), inputTwoBack);
      two[k + 1] = one[k + 1];
      one[k + 1] = y;
      inputTwoBack = outputTwoBack;
      x = y;
    }
    return x;
  }

  // A branch's rows into registers (`older` is the row of the older sample)
  // and back.
  template <class V>
  static void loadRows(const float (&rows)[2][kNodes][Lanes], unsigned older, int lane,
                       V (&two)[kNodes], V (&one)[kNodes]) {
    for (int k = 0; k < kNodes; ++k) {
      two[k] = load<V>(rows[older][k] + lane);
      one[k] = load<V>(rows[older ^ 1][k] + lane);
    }
  }
  template <class V>
  static void storeRows(float (&rows)[2][kNodes][Lanes], unsigned older, int lane,
                        const V (&two)[kNodes], const V (&one)[kNodes]) {
    for (int k = 0; k < kNodes; ++k) {
      store(rows[older][k] + lane, two[k]);
      store(rows[older ^ 1][k] + lane, one[k]);
    }
  }
};

}  // namespace vardo
