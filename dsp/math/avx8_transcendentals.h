// The quick exponential and tangent on eight lanes (simd/avx8.h), for the
// unit compiled for that lane set only.
#pragma once

#if !defined(__AVX__)
#error "avx8_transcendentals.h is for code compiled with AVX enabled"
#endif

#include <immintrin.h>

#include <cstdint>

#include "math/float_math.h"
#include "math/quick_transcendentals.h"
#include "simd/avx8.h"

namespace vardo::VARDO_EIGHT_LANES {

// The quick exponential and tangent of quick_transcendentals.h on eight
// lanes: each half of four as four doubles in one register.
namespace quick_detail {
using namespace vardo::quick_detail;

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

}  // namespace vardo::VARDO_EIGHT_LANES
