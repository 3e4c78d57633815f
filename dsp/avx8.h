// Eight float lanes in one AVX register, with the operations of float4.h:
// every operation is the IEEE single-precision operation of the scalar code
// applied lane by lane, with the scalar operand order on ties and NaN. No FMA:
// a product and a sum stay two rounded operations.
//
// Only the chain's unit compiled for AVX includes this header; the rest of
// the build never sees the type, and everything defined with it carries its
// name (see chain_avx.cpp).
#pragma once

#if !defined(__AVX__)
#error "avx8.h is for code compiled with AVX enabled"
#endif

#include <immintrin.h>

#include <cstdint>

#include "float_math.h"
#include "lanes.h"
#include "quick_transcendentals.h"

namespace vardo {

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
// mask ? a : b, lane by lane. (Bitwise: the compiler turns a blend into
// integer work that AVX without AVX2 can only do one lane at a time.)
inline Avx8 select8(AvxMask8 mask, Avx8 a, Avx8 b) {
  return {_mm256_or_ps(_mm256_and_ps(mask.v, a.v), _mm256_andnot_ps(mask.v, b.v))};
}

// The lane operations of lanes.h (where its traits are).
template <>
inline Avx8 load<Avx8>(const float* p) {
  return load8(p);
}
template <>
inline Avx8 splat<Avx8>(float x) {
  return splat8(x);
}
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

// The quick exponential and tangent of quick_transcendentals.h on eight
// lanes: each half of four as four doubles in one register.
namespace quick_detail {

inline __m256d tanTable4(__m256d d) {
  const __m128i i = _mm256_cvttpd_epi32(tanIndex(d));
  alignas(16) int index[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(index), i);
  const __m256d a = _mm256_set_pd(kTanTable[index[3]], kTanTable[index[2]], kTanTable[index[1]],
                                  kTanTable[index[0]]);
  return tanFromTable(d, _mm256_cvtepi32_pd(i), a);
}

// Four lanes of x through `approximate` (four doubles), rounded, with the
// lanes that need the library marked in `unclear`.
template <typename Approximate>
inline __m128 quarter(__m128 x, __m128 argument, Approximate approximate, float lowest,
                      float highest, std::uint32_t units, int& unclear) {
  const __m256d y = approximate(_mm256_cvtps_pd(argument));
  unclear = unclearLanes(x, _mm256_castpd256_pd128(y), _mm256_extractf128_pd(y, 1), lowest,
                         highest, units);
  return _mm256_cvtpd_ps(y);
}

// The lanes in `unclear` evaluated one by one with `exact`, out of line.
[[gnu::noinline]] inline Avx8 redo(Avx8 x, Avx8 y, int unclear, Exact exact) {
  alignas(32) float xs[8];
  alignas(32) float ys[8];
  _mm256_store_ps(xs, x.v);
  _mm256_store_ps(ys, y.v);
  for (int i = 0; i < 8; ++i) {
    if (unclear & (1 << i)) ys[i] = exactly(exact, xs[i]);
  }
  return {_mm256_load_ps(ys)};
}

template <typename Approximate>
inline Avx8 eightLanes(Avx8 x, Avx8 argument, Approximate approximate, Exact exact,
                         float lowest, float highest, std::uint32_t units) {
  int unclearLow = 0;
  int unclearHigh = 0;
  const __m128 low = quarter(_mm256_castps256_ps128(x.v), _mm256_castps256_ps128(argument.v),
                             approximate, lowest, highest, units, unclearLow);
  const __m128 high = quarter(_mm256_extractf128_ps(x.v, 1), _mm256_extractf128_ps(argument.v, 1),
                              approximate, lowest, highest, units, unclearHigh);
  const Avx8 y = {_mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1)};
  const int unclear = unclearLow | (unclearHigh << 4);
  if (unclear == 0) return y;
  return redo(x, y, unclear, exact);
}

}  // namespace quick_detail

inline Avx8 quickExp(Avx8 x) {
  using namespace quick_detail;
  const __m256 small = _mm256_and_ps(_mm256_cmp_ps(x.v, _mm256_set1_ps(kSmallExpLowest), _CMP_GE_OQ),
                                     _mm256_cmp_ps(x.v, _mm256_set1_ps(kQuickExpHighest), _CMP_LE_OQ));
  if (_mm256_movemask_ps(small) == 0xFF) {
    const SmallExp<Avx8> y = smallExp(x, splat8);
    const int unclear = _mm256_movemask_ps(
        _mm256_cmp_ps(abs8(y.e).v, _mm256_set1_ps(kSmallExpClear), _CMP_GE_OQ));
    if (unclear == 0) return y.r;
    return redo(x, y.r, unclear, Exact::kExp);
  }
  return quick_detail::eightLanes(x, x, quick_detail::expPolynomial<__m256d>, quick_detail::Exact::kExp,
                                  kQuickExpLowest, kQuickExpHighest, quick_detail::kExpUnits);
}

inline Avx8 quickTan(Avx8 x) {
  // The table is read at an index from the argument kept inside the range
  // (NaN goes to the low end); lanes outside it are redone anyway.
  const Avx8 inRange = {_mm256_min_ps(_mm256_max_ps(x.v, _mm256_set1_ps(kQuickTanLowest)),
                                        _mm256_set1_ps(kQuickTanHighest))};
  return quick_detail::eightLanes(x, inRange, quick_detail::tanTable4, quick_detail::Exact::kTan,
                                  kQuickTanLowest, kQuickTanHighest, quick_detail::kTanUnits);
}


}  // namespace vardo
