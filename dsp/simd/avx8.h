// Eight float lanes in one AVX register, with the operations of float4.h:
// every operation is the IEEE single-precision operation of the scalar code
// applied lane by lane, with the scalar operand order on ties and NaN. No FMA:
// a product and a sum stay two rounded operations.
//
// Only the chain's unit compiled for AVX includes this header; the rest of
// the build never sees the type, and everything defined with it carries its
// name (see chain/lanes_avx.cpp).
#pragma once

#if !defined(__AVX__)
#error "avx8.h is for code compiled with AVX enabled"
#endif

#include <immintrin.h>

#include <cstdint>

#include "simd/lanes.h"

// The namespace of this unit's eight lanes (see lanes.h): avx2 where the
// unit is compiled for AVX2, else avx.
#if defined(__AVX2__)
#define VARDO_EIGHT_LANES avx2
#else
#define VARDO_EIGHT_LANES avx
#endif

namespace vardo::VARDO_EIGHT_LANES {

struct Avx8 {
  __m256 v;
};
// All bits set in a lane where a comparison held, clear where it did not.
struct AvxMask8 {
  __m256 v;
};

inline Avx8 load8(const float* p) { return {_mm256_loadu_ps(p)}; }
inline void store8(float* p, Avx8 a) { _mm256_storeu_ps(p, a.v); }
inline Avx8 splat8(float x) { return {_mm256_set1_ps(x)}; }

inline Avx8 operator+(Avx8 a, Avx8 b) { return {_mm256_add_ps(a.v, b.v)}; }
inline Avx8 operator-(Avx8 a, Avx8 b) { return {_mm256_sub_ps(a.v, b.v)}; }
inline Avx8 operator*(Avx8 a, Avx8 b) { return {_mm256_mul_ps(a.v, b.v)}; }
inline Avx8 operator/(Avx8 a, Avx8 b) { return {_mm256_div_ps(a.v, b.v)}; }
// -a: flips the sign bit only, like scalar negation.
inline Avx8 operator-(Avx8 a) { return {_mm256_xor_ps(a.v, _mm256_set1_ps(-0.0f))}; }
// |a|: clears the sign bit only, like std::fabs.
inline Avx8 abs8(Avx8 a) { return {_mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v)}; }
inline Avx8 sqrt8(Avx8 a) { return {_mm256_sqrt_ps(a.v)}; }

// std::max(a, b) = (a < b) ? b : a. VMAXPS x, y returns (x > y) ? x : y and
// the second operand on a tie or a NaN, so the operands go in swapped.
inline Avx8 max8(Avx8 a, Avx8 b) { return {_mm256_max_ps(b.v, a.v)}; }
// std::min(a, b) = (b < a) ? b : a, likewise.
inline Avx8 min8(Avx8 a, Avx8 b) { return {_mm256_min_ps(b.v, a.v)}; }

// Ordered, non-signalling comparisons: false wherever a NaN takes part, as in C++.
inline AvxMask8 greater8(Avx8 a, Avx8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)}; }
inline AvxMask8 greaterEqual8(Avx8 a, Avx8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GE_OQ)}; }
inline AvxMask8 equal8(Avx8 a, Avx8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)}; }
inline AvxMask8 or8(AvxMask8 a, AvxMask8 b) { return {_mm256_or_ps(a.v, b.v)}; }
inline bool allOf8(AvxMask8 mask) { return _mm256_movemask_ps(mask.v) == 0xFF; }
#if defined(__AVX2__)
// mask ? a : b, lane by lane, in one blend. A comparison's lane is all ones
// or all zeros, so the sign bit the blend reads picks as the bitwise form would.
inline Avx8 select8(AvxMask8 mask, Avx8 a, Avx8 b) { return {_mm256_blendv_ps(b.v, a.v, mask.v)}; }
#else
// mask ? a : b, lane by lane. (Bitwise: the compiler turns a blend into
// integer work that AVX without AVX2 can only do one lane at a time.)
inline Avx8 select8(AvxMask8 mask, Avx8 a, Avx8 b) {
  return {_mm256_or_ps(_mm256_and_ps(mask.v, a.v), _mm256_andnot_ps(mask.v, b.v))};
}
#endif

}  // namespace vardo::VARDO_EIGHT_LANES

namespace vardo {
// The lane operations of lanes.h (where its traits are).
template <>
inline VARDO_EIGHT_LANES::Avx8 load<VARDO_EIGHT_LANES::Avx8>(const float* p) {
  return VARDO_EIGHT_LANES::load8(p);
}
template <>
inline VARDO_EIGHT_LANES::Avx8 splat<VARDO_EIGHT_LANES::Avx8>(float x) {
  return VARDO_EIGHT_LANES::splat8(x);
}
}  // namespace vardo::VARDO_EIGHT_LANES

namespace vardo::VARDO_EIGHT_LANES {
inline void store(float* p, Avx8 v) { store8(p, v); }
inline Avx8 laneMax(Avx8 a, Avx8 b) { return max8(a, b); }
inline Avx8 laneMin(Avx8 a, Avx8 b) { return min8(a, b); }
inline Avx8 laneAbs(Avx8 a) { return abs8(a); }
inline Avx8 laneSqrt(Avx8 a) { return sqrt8(a); }
inline AvxMask8 greater(Avx8 a, Avx8 b) { return greater8(a, b); }
inline AvxMask8 greaterEqual(Avx8 a, Avx8 b) { return greaterEqual8(a, b); }
inline AvxMask8 equal(Avx8 a, Avx8 b) { return equal8(a, b); }
inline AvxMask8 eitherMask(AvxMask8 a, AvxMask8 b) { return or8(a, b); }
inline bool allLanes(AvxMask8 mask) { return allOf8(mask); }
inline Avx8 select(AvxMask8 mask, Avx8 a, Avx8 b) { return select8(mask, a, b); }

}  // namespace vardo::VARDO_EIGHT_LANES
