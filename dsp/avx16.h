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

#include "float_math.h"
#include "lanes.h"
#include "quick_transcendentals.h"

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

// The quick exponential and tangent of quick_transcendentals.h on sixteen
// lanes: each half of eight as eight doubles in one register.
namespace quick_detail {

// The table is small enough for four registers, which two permutes and a
// blend read (a gather is several times slower).
inline __m512d tanTable8(__m512d d) {
  const __m256i i = _mm512_cvttpd_epi32(tanIndex(d));
  const __m512i index = _mm512_cvtepi32_epi64(i);
  const __m512d low = _mm512_permutex2var_pd(_mm512_loadu_pd(kTanTable.data()), index,
                                             _mm512_loadu_pd(kTanTable.data() + 8));
  const __m512d high = _mm512_permutex2var_pd(_mm512_loadu_pd(kTanTable.data() + 16), index,
                                              _mm512_loadu_pd(kTanTable.data() + 24));
  const __m512d a = _mm512_mask_blend_pd(_mm512_test_epi64_mask(index, _mm512_set1_epi64(16)),
                                         low, high);
  return tanFromTable(d, _mm512_cvtepi32_pd(i), a);
}

// Lanes whose double y does not round clearly to float, as in roundsClearly:
// the dropped bits lie within `units` of the midpoint 2^28. (Compared in
// 64 bits: a difference that wraps is huge in either width.)
inline __mmask8 unclearDoubles(__m512d y, std::uint32_t units) {
  const __m512i dropped =
      _mm512_and_si512(_mm512_castpd_si512(y), _mm512_set1_epi64(0x1FFFFFFF));
  const __m512i distance =
      _mm512_sub_epi64(dropped, _mm512_set1_epi64(static_cast<long long>(0x10000000u - units)));
  return _mm512_cmp_epu64_mask(distance, _mm512_set1_epi64(2 * static_cast<long long>(units)),
                               _MM_CMPINT_LE);
}

// The lanes in `unclear` evaluated one by one with `exact`, out of line.
[[gnu::noinline]] inline Avx16 redo(Avx16 x, Avx16 y, unsigned unclear, Exact exact) {
  alignas(64) float xs[16];
  alignas(64) float ys[16];
  _mm512_store_ps(xs, x.v);
  _mm512_store_ps(ys, y.v);
  for (int i = 0; i < 16; ++i) {
    if (unclear & (1u << i)) ys[i] = exactly(exact, xs[i]);
  }
  return {_mm512_load_ps(ys)};
}

// x through `approximate` (eight doubles at a time, from `argument`),
// rounded; lanes outside [lowest, highest] or without a clear rounding are
// redone with the library.
template <typename Approximate>
inline Avx16 sixteenLanes(Avx16 x, Avx16 argument, Approximate approximate, Exact exact,
                          float lowest, float highest, std::uint32_t units) {
  const __m512d low = approximate(_mm512_cvtps_pd(_mm512_castps512_ps256(argument.v)));
  const __m512d high = approximate(_mm512_cvtps_pd(_mm256_castpd_ps(
      _mm512_extractf64x4_pd(_mm512_castps_pd(argument.v), 1))));
  const Avx16 y = {_mm512_castpd_ps(_mm512_insertf64x4(
      _mm512_castps_pd(_mm512_castps256_ps512(_mm512_cvtpd_ps(low))),
      _mm256_castps_pd(_mm512_cvtpd_ps(high)), 1))};
  const __mmask16 inside =
      _mm512_cmp_ps_mask(x.v, _mm512_set1_ps(lowest), _CMP_GE_OQ) &
      _mm512_cmp_ps_mask(x.v, _mm512_set1_ps(highest), _CMP_LE_OQ);
  const unsigned near = static_cast<unsigned>(unclearDoubles(low, units)) |
                        (static_cast<unsigned>(unclearDoubles(high, units)) << 8);
  const unsigned unclear = (near | ~static_cast<unsigned>(inside)) & 0xFFFFu;
  if (unclear == 0) return y;
  return redo(x, y, unclear, exact);
}

}  // namespace quick_detail

inline Avx16 quickExp(Avx16 x) {
  using namespace quick_detail;
  const __mmask16 small = _mm512_cmp_ps_mask(x.v, _mm512_set1_ps(kSmallExpLowest), _CMP_GE_OQ) &
                          _mm512_cmp_ps_mask(x.v, _mm512_set1_ps(kQuickExpHighest), _CMP_LE_OQ);
  if (small == 0xFFFF) {
    const SmallExp<Avx16> y = smallExp(x, splat16);
    const unsigned unclear =
        _mm512_cmp_ps_mask(abs16(y.e).v, _mm512_set1_ps(kSmallExpClear), _CMP_GE_OQ);
    if (unclear == 0) return y.r;
    return redo(x, y.r, unclear, Exact::kExp);
  }
  return quick_detail::sixteenLanes(x, x, quick_detail::expPolynomial<__m512d>, quick_detail::Exact::kExp,
                                    kQuickExpLowest, kQuickExpHighest, quick_detail::kExpUnits);
}

inline Avx16 quickTan(Avx16 x) {
  // The table is read at an index from the argument kept inside the range
  // (NaN goes to the low end); lanes outside it are redone anyway.
  const Avx16 inRange = {_mm512_min_ps(_mm512_max_ps(x.v, _mm512_set1_ps(kQuickTanLowest)),
                                       _mm512_set1_ps(kQuickTanHighest))};
  return quick_detail::sixteenLanes(x, inRange, quick_detail::tanTable8, quick_detail::Exact::kTan,
                                    kQuickTanLowest, kQuickTanHighest, quick_detail::kTanUnits);
}

}  // namespace vardo
