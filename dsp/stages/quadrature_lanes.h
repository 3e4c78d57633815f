// Quadrature allpass pairs (QuadraturePair in primitives.h) for many lanes,
// stepped four lanes at a time, with the floored magnitude of their outputs.
#pragma once

#include "../float4.h"
#include "../primitives.h"

namespace vardo {

template <int Lanes>
struct QuadratureLanes {
  static_assert(Lanes % 4 == 0, "lanes are taken four at a time");
  static constexpr int kNodes = 5;  // chain input and four section outputs

  // Node values of the last two samples, per branch: row `parity` holds the
  // older sample and is overwritten with the current one, row parity ^ 1
  // holds the previous sample. The owner flips the parity after each sample,
  // which saves shifting the history.
  alignas(16) float a[2][kNodes][Lanes];
  alignas(16) float b[2][kNodes][Lanes];

  // Runs both branches of lanes lane ... lane + 3 on `in` and returns
  // sqrt(max(A[n-1]^2 + B[n]^2, -90 dB floor)).
  Float4 magnitude(Float4 in, int lane, unsigned parity) {
    const Float4 aLate = load4(a[parity ^ 1][kNodes - 1] + lane);
    chain(in, a[parity][0] + lane, kQuadratureA);
    const Float4 bNow = chain(in, b[parity][0] + lane, kQuadratureB);
    return sqrt4(max4(aLate * aLate + bNow * bNow, splat4(kFloor90dB)));
  }

 private:
  // AllpassChain<4>::process on four lanes: y = (x + y'') a - x'', where
  // `twoBack` points at node 0 of four lanes two samples back, the nodes
  // Lanes floats apart, and receives the new values.
  static Float4 chain(Float4 in, float* twoBack, const float* coeffs) {
    Float4 x = in;
    Float4 inputTwoBack = load4(twoBack);
    store4(twoBack, x);
    for (int k = 0; k < kNodes - 1; ++k) {
      const Float4 outputTwoBack = load4(twoBack + (k + 1) * Lanes);
      const Float4 y = (x + outputTwoBack) * splat4(coeffs[k]) - inputTwoBack;
      store4(twoBack + (k + 1) * Lanes, y);
      inputTwoBack = outputTwoBack;
      x = y;
    }
    return x;
  }
};

}  // namespace vardo
