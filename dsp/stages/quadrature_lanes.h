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

  // Node values one and two samples back, per branch, node and lane.
  alignas(16) float aOne[kNodes][Lanes];
  alignas(16) float aTwo[kNodes][Lanes];
  alignas(16) float bOne[kNodes][Lanes];
  alignas(16) float bTwo[kNodes][Lanes];

  // Runs both branches of lanes lane ... lane + 3 on `in` and returns
  // sqrt(max(A[n-1]^2 + B[n]^2, -90 dB floor)).
  Float4 magnitude(Float4 in, int lane) {
    const Float4 aLate = load4(aOne[4] + lane);
    chain(in, aOne, aTwo, lane, kQuadratureA);
    const Float4 bNow = chain(in, bOne, bTwo, lane, kQuadratureB);
    return sqrt4(max4(aLate * aLate + bNow * bNow, splat4(kFloor90dB)));
  }

 private:
  // AllpassChain<4>::process on four lanes.
  static Float4 chain(Float4 in, float (&one)[kNodes][Lanes], float (&two)[kNodes][Lanes],
                      int lane, const float* coeffs) {
    Float4 x = in;
    for (int k = 0; k < 4; ++k) {
      const Float4 y = (x + load4(two[k + 1] + lane)) * splat4(coeffs[k]) - load4(two[k] + lane);
      store4(two[k] + lane, load4(one[k] + lane));
      store4(one[k] + lane, x);
      x = y;
    }
    store4(two[4] + lane, load4(one[4] + lane));
    store4(one[4] + lane, x);
    return x;
  }
};

}  // namespace vardo
