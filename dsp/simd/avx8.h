// Eight float lanes in one AVX register: the primitives of lane_ops.h, each
// the IEEE single-precision operation of the scalar code applied lane by
// lane, with the scalar operand order on ties and NaN. No FMA: a product and
// a sum stay two rounded operations.
//
// Only the chain's units compiled for AVX and for AVX2 include this header;
// the rest of the build never sees the type, and everything defined with it
// carries its namespace in its name (see chain/lanes_avx.cpp).
#pragma once

#if !defined(__AVX__)
#error "avx8.h is for code compiled with AVX enabled"
#endif

#include <immintrin.h>

#include "simd/lanes.h"

// The namespace of this unit's eight lanes (see lanes.h): avx2 where the
// unit is compiled for AVX2, else avx.
#if defined(__AVX2__)
#define VARDO_EIGHT_LANES avx2
#else
#define VARDO_EIGHT_LANES avx
#endif

namespace vardo::VARDO_EIGHT_LANES {

struct EightLanes {
  static constexpr int kWidth = 8;
  using Reg = __m256;
  // All bits set in a lane where a comparison held, clear where it did not.
  using MaskReg = __m256;
  static Reg load(const float* p) { return _mm256_loadu_ps(p); }
  static void store(float* p, Reg a) { _mm256_storeu_ps(p, a); }
  static Reg splat(float x) { return _mm256_set1_ps(x); }
  static Reg add(Reg a, Reg b) { return _mm256_add_ps(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm256_sub_ps(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm256_mul_ps(a, b); }
  static Reg div(Reg a, Reg b) { return _mm256_div_ps(a, b); }
  static Reg neg(Reg a) { return _mm256_xor_ps(a, _mm256_set1_ps(-0.0f)); }
  static Reg abs(Reg a) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a); }
  static Reg sqrt(Reg a) { return _mm256_sqrt_ps(a); }
  // VMAXPS x, y returns (x > y) ? x : y and the second operand on a tie or
  // a NaN, so the operands go in swapped; VMINPS likewise.
  static Reg max(Reg a, Reg b) { return _mm256_max_ps(b, a); }
  static Reg min(Reg a, Reg b) { return _mm256_min_ps(b, a); }
  // Ordered, non-signalling comparisons: false wherever a NaN takes part, as in C++.
  static MaskReg greater(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
  static MaskReg greaterEqual(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
  static MaskReg equal(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
  static MaskReg either(MaskReg a, MaskReg b) { return _mm256_or_ps(a, b); }
  static MaskReg both(MaskReg a, MaskReg b) { return _mm256_and_ps(a, b); }
  static unsigned bits(MaskReg m) { return static_cast<unsigned>(_mm256_movemask_ps(m)); }
#if defined(__AVX2__)
  // One blend: a comparison's lane is all ones or all zeros, so the sign bit
  // the blend reads picks as the bitwise form would.
  static Reg select(MaskReg m, Reg a, Reg b) { return _mm256_blendv_ps(b, a, m); }
#else
  // Bitwise: the compiler turns a blend into integer work that AVX without
  // AVX2 can only do one lane at a time.
  static Reg select(MaskReg m, Reg a, Reg b) {
    return _mm256_or_ps(_mm256_and_ps(m, a), _mm256_andnot_ps(m, b));
  }
#endif
};

}  // namespace vardo::VARDO_EIGHT_LANES
