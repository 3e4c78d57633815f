// Sixteen float lanes in one AVX-512 register, with the operations of
// float4.h: every operation is the IEEE single-precision operation of the
// scalar code applied lane by lane, with the scalar operand order on ties and
// NaN. No FMA: a product and a sum stay two rounded operations (contraction
// is off everywhere, and nothing here asks for a fused operation).
//
// Only the chain's unit compiled for AVX-512 includes this header; the rest
// of the build never sees the type, and everything defined with it carries
// its name (see chain_avx512.cpp). Only AVX-512 Foundation is used.
#pragma once

#if !defined(__AVX512F__)
#error "avx16.h is for code compiled with AVX-512 enabled"
#endif

#include <immintrin.h>

#include <cstdint>

#include "simd/lanes.h"

namespace vardo {

struct Avx16 {
  __m512 v;
};
// One bit per lane: set where a comparison held.
struct AvxMask16 {
  __mmask16 bits;
};

inline Avx16 load16(const float* p) { return {_mm512_loadu_ps(p)}; }
inline void store16(float* p, Avx16 a) { _mm512_storeu_ps(p, a.v); }
inline Avx16 splat16(float x) { return {_mm512_set1_ps(x)}; }

inline Avx16 operator+(Avx16 a, Avx16 b) { return {_mm512_add_ps(a.v, b.v)}; }
inline Avx16 operator-(Avx16 a, Avx16 b) { return {_mm512_sub_ps(a.v, b.v)}; }
inline Avx16 operator*(Avx16 a, Avx16 b) { return {_mm512_mul_ps(a.v, b.v)}; }
inline Avx16 operator/(Avx16 a, Avx16 b) { return {_mm512_div_ps(a.v, b.v)}; }
// -a: flips the sign bit only, like scalar negation. (Integer logic: the
// float forms belong to a later extension.)
inline Avx16 operator-(Avx16 a) {
  return {_mm512_castsi512_ps(
      _mm512_xor_si512(_mm512_castps_si512(a.v), _mm512_set1_epi32(INT32_MIN)))};
}
// |a|: clears the sign bit only, like std::fabs.
inline Avx16 abs16(Avx16 a) {
  return {_mm512_castsi512_ps(
      _mm512_and_si512(_mm512_castps_si512(a.v), _mm512_set1_epi32(INT32_MAX)))};
}
inline Avx16 sqrt16(Avx16 a) { return {_mm512_sqrt_ps(a.v)}; }

// std::max(a, b) = (a < b) ? b : a. VMAXPS x, y returns (x > y) ? x : y and
// the second operand on a tie or a NaN, so the operands go in swapped.
inline Avx16 max16(Avx16 a, Avx16 b) { return {_mm512_max_ps(b.v, a.v)}; }
// std::min(a, b) = (b < a) ? b : a, likewise.
inline Avx16 min16(Avx16 a, Avx16 b) { return {_mm512_min_ps(b.v, a.v)}; }

// Ordered, non-signalling comparisons: false wherever a NaN takes part, as in C++.
inline AvxMask16 greater16(Avx16 a, Avx16 b) { return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_GT_OQ)}; }
inline AvxMask16 greaterEqual16(Avx16 a, Avx16 b) {
  return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_GE_OQ)};
}
inline AvxMask16 equal16(Avx16 a, Avx16 b) { return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_EQ_OQ)}; }
inline AvxMask16 or16(AvxMask16 a, AvxMask16 b) {
  return {static_cast<__mmask16>(a.bits | b.bits)};
}
inline bool allOf16(AvxMask16 mask) { return mask.bits == 0xFFFF; }
// mask ? a : b, lane by lane (the blend takes its second operand where the mask is set).
inline Avx16 select16(AvxMask16 mask, Avx16 a, Avx16 b) {
  return {_mm512_mask_blend_ps(mask.bits, b.v, a.v)};
}

// The lane operations of lanes.h (where its traits are).
template <>
inline Avx16 load<Avx16>(const float* p) {
  return load16(p);
}
template <>
inline Avx16 splat<Avx16>(float x) {
  return splat16(x);
}
inline void store(float* p, Avx16 v) { store16(p, v); }
inline Avx16 laneMax(Avx16 a, Avx16 b) { return max16(a, b); }
inline Avx16 laneMin(Avx16 a, Avx16 b) { return min16(a, b); }
inline Avx16 laneAbs(Avx16 a) { return abs16(a); }
inline Avx16 laneSqrt(Avx16 a) { return sqrt16(a); }
inline AvxMask16 greater(Avx16 a, Avx16 b) { return greater16(a, b); }
inline AvxMask16 greaterEqual(Avx16 a, Avx16 b) { return greaterEqual16(a, b); }
inline AvxMask16 equal(Avx16 a, Avx16 b) { return equal16(a, b); }
inline AvxMask16 eitherMask(AvxMask16 a, AvxMask16 b) { return or16(a, b); }
inline bool allLanes(AvxMask16 mask) { return allOf16(mask); }
inline Avx16 select(AvxMask16 mask, Avx16 a, Avx16 b) { return select16(mask, a, b); }

}  // namespace vardo
