// The quick exponential and tangent on sixteen lanes (simd/avx16.h), for the
// unit compiled for that lane set only.
#pragma once

#if !defined(__AVX512F__)
#error "avx16_transcendentals.h is for code compiled with AVX-512 enabled"
#endif

#include <immintrin.h>

#include <cstdint>

#include "math/float_math.h"
#include "math/quick_transcendentals.h"
#include "simd/avx16.h"

namespace vardo {

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
