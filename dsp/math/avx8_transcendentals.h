// The work in double precision of the quick exponential and tangent
// (quick_transcendentals.h) on eight lanes (simd/avx8.h): each half of four
// as four doubles in one register. For the units compiled for AVX or AVX2 only.
#pragma once

#if !defined(__AVX__)
#error "avx8_transcendentals.h is for code compiled with AVX enabled"
#endif

#include <immintrin.h>

#include <cstdint>

#include "math/quick_transcendentals.h"
#include "simd/avx8.h"

namespace vardo {

template <>
struct quick_detail::DoubleLanes<VARDO_EIGHT_LANES::EightLanes> {
  using D = __m256d;
  static D low(__m256 x) { return _mm256_cvtps_pd(_mm256_castps256_ps128(x)); }
  static D high(__m256 x) { return _mm256_cvtps_pd(_mm256_extractf128_ps(x, 1)); }
  static __m256 narrow(D lo, D hi) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(lo)), _mm256_cvtpd_ps(hi), 1);
  }
  static D tanTable(D d) {
    const __m128i i = _mm256_cvttpd_epi32(tanIndex(d));
    alignas(16) int index[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(index), i);
    const D a = _mm256_set_pd(kTanTable[index[3]], kTanTable[index[2]], kTanTable[index[1]],
                              kTanTable[index[0]]);
    return tanFromTable(d, _mm256_cvtepi32_pd(i), a);
  }
  // Each four doubles as the four-lane set reads them.
  static unsigned nearMidpoints(D lo, D hi, std::uint32_t units) {
    using Four = DoubleLanes<FourLanes>;
    return Four::nearMidpoints(_mm256_castpd256_pd128(lo), _mm256_extractf128_pd(lo, 1), units) |
           Four::nearMidpoints(_mm256_castpd256_pd128(hi), _mm256_extractf128_pd(hi, 1), units)
               << 4;
  }
};

}  // namespace vardo
