// Eight float lanes in one AVX register, with the operations of float4.h:
// every operation is the IEEE single-precision operation of the scalar code
// applied lane by lane, with the scalar operand order on ties and NaN. No FMA:
// a product and a sum stay two rounded operations.
//
// Only code compiled for AVX includes this header (the chain's AVX unit);
// the rest of the build never sees the type.
#pragma once

#if !defined(__AVX__)
#error "float8.h is for code compiled with AVX enabled"
#endif

#include <immintrin.h>

namespace vardo {

struct Float8 {
  __m256 v;
};
// All bits set in a lane where a comparison held, clear where it did not.
struct Mask8 {
  __m256 v;
};

inline Float8 load8(const float* p) { return {_mm256_loadu_ps(p)}; }
inline void store8(float* p, Float8 a) { _mm256_storeu_ps(p, a.v); }
inline Float8 splat8(float x) { return {_mm256_set1_ps(x)}; }

inline Float8 operator+(Float8 a, Float8 b) { return {_mm256_add_ps(a.v, b.v)}; }
inline Float8 operator-(Float8 a, Float8 b) { return {_mm256_sub_ps(a.v, b.v)}; }
inline Float8 operator*(Float8 a, Float8 b) { return {_mm256_mul_ps(a.v, b.v)}; }
inline Float8 operator/(Float8 a, Float8 b) { return {_mm256_div_ps(a.v, b.v)}; }
// -a: flips the sign bit only, like scalar negation.
inline Float8 operator-(Float8 a) { return {_mm256_xor_ps(a.v, _mm256_set1_ps(-0.0f))}; }
// |a|: clears the sign bit only, like std::fabs.
inline Float8 abs8(Float8 a) { return {_mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v)}; }
inline Float8 sqrt8(Float8 a) { return {_mm256_sqrt_ps(a.v)}; }

// std::max(a, b) = (a < b) ? b : a. VMAXPS x, y returns (x > y) ? x : y and
// the second operand on a tie or a NaN, so the operands go in swapped.
inline Float8 max8(Float8 a, Float8 b) { return {_mm256_max_ps(b.v, a.v)}; }
// std::min(a, b) = (b < a) ? b : a, likewise.
inline Float8 min8(Float8 a, Float8 b) { return {_mm256_min_ps(b.v, a.v)}; }

// Ordered, non-signalling comparisons: false wherever a NaN takes part, as in C++.
inline Mask8 greater8(Float8 a, Float8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)}; }
inline Mask8 greaterEqual8(Float8 a, Float8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GE_OQ)}; }
inline Mask8 equal8(Float8 a, Float8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)}; }
inline Mask8 or8(Mask8 a, Mask8 b) { return {_mm256_or_ps(a.v, b.v)}; }
inline bool allOf8(Mask8 mask) { return _mm256_movemask_ps(mask.v) == 0xFF; }
// mask ? a : b, lane by lane. (Bitwise: the compiler turns a blend into
// integer work that AVX without AVX2 can only do one lane at a time.)
inline Float8 select8(Mask8 mask, Float8 a, Float8 b) {
  return {_mm256_or_ps(_mm256_and_ps(mask.v, a.v), _mm256_andnot_ps(mask.v, b.v))};
}

}  // namespace vardo
