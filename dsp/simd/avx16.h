// Sixteen float lanes in one AVX-512 register: the primitives of lane_ops.h,
// each the IEEE single-precision operation of the scalar code applied lane
// by lane, with the scalar operand order on ties and NaN. No FMA: a product
// and a sum stay two rounded operations (contraction is off everywhere, and
// nothing here asks for a fused operation).
//
// Only the chain's unit compiled for AVX-512 includes this header; the rest
// of the build never sees the type, and everything defined with it carries
// its namespace, vardo::avx512, in its name. Only AVX-512 Foundation is used.
#pragma once

#if !defined(__AVX512F__)
#error "avx16.h is for code compiled with AVX-512 enabled"
#endif

#include <immintrin.h>

#include <cstdint>

#include "simd/lanes.h"

namespace vardo::avx512 {

struct SixteenLanes {
  static constexpr int kWidth = 16;
  using Reg = __m512;
  // One bit per lane: set where a comparison held.
  using MaskReg = __mmask16;
  static Reg load(const float* p) { return _mm512_loadu_ps(p); }
  static void store(float* p, Reg a) { _mm512_storeu_ps(p, a); }
  static Reg splat(float x) { return _mm512_set1_ps(x); }
  static Reg add(Reg a, Reg b) { return _mm512_add_ps(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm512_sub_ps(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm512_mul_ps(a, b); }
  static Reg div(Reg a, Reg b) { return _mm512_div_ps(a, b); }
  // Integer logic for the sign: the float forms belong to a later extension.
  static Reg neg(Reg a) {
    return _mm512_castsi512_ps(
        _mm512_xor_si512(_mm512_castps_si512(a), _mm512_set1_epi32(INT32_MIN)));
  }
  static Reg abs(Reg a) {
    return _mm512_castsi512_ps(
        _mm512_and_si512(_mm512_castps_si512(a), _mm512_set1_epi32(INT32_MAX)));
  }
  static Reg sqrt(Reg a) { return _mm512_sqrt_ps(a); }
  // VMAXPS x, y returns (x > y) ? x : y and the second operand on a tie or
  // a NaN, so the operands go in swapped; VMINPS likewise.
  static Reg max(Reg a, Reg b) { return _mm512_max_ps(b, a); }
  static Reg min(Reg a, Reg b) { return _mm512_min_ps(b, a); }
  // Ordered, non-signalling comparisons: false wherever a NaN takes part, as in C++.
  static MaskReg greater(Reg a, Reg b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
  static MaskReg greaterEqual(Reg a, Reg b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
  static MaskReg equal(Reg a, Reg b) { return _mm512_cmp_ps_mask(a, b, _CMP_EQ_OQ); }
  static MaskReg either(MaskReg a, MaskReg b) { return static_cast<MaskReg>(a | b); }
  static MaskReg both(MaskReg a, MaskReg b) { return static_cast<MaskReg>(a & b); }
  static unsigned bits(MaskReg m) { return m; }
  // The blend takes its second operand where the mask is set.
  static Reg select(MaskReg m, Reg a, Reg b) { return _mm512_mask_blend_ps(m, b, a); }
};

}  // namespace vardo::avx512
