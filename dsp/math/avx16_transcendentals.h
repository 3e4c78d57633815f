// The work in double precision of the quick exponential and tangent
// (quick_transcendentals.h) on sixteen lanes (simd/avx16.h): each half of
// eight as eight doubles in one register. For the unit compiled for
// AVX-512 only.
#pragma once

#if !defined(__AVX512F__)
#error "avx16_transcendentals.h is for code compiled with AVX-512 enabled"
#endif

#include <immintrin.h>

#include <cstdint>

#include "math/quick_transcendentals.h"
#include "simd/avx16.h"

namespace vardo {

template <>
struct quick_detail::DoubleLanes<avx512::SixteenLanes> {
  using D = __m512d;
  static D low(__m512 x) { return _mm512_cvtps_pd(_mm512_castps512_ps256(x)); }
  static D high(__m512 x) {
    return _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(x), 1)));
  }
  static __m512 narrow(D lo, D hi) {
    return _mm512_castpd_ps(_mm512_insertf64x4(
        _mm512_castps_pd(_mm512_castps256_ps512(_mm512_cvtpd_ps(lo))),
        _mm256_castps_pd(_mm512_cvtpd_ps(hi)), 1));
  }
  // The table is small enough for four registers, which two permutes and a
  // blend read (a gather is several times slower).
  static D tanTable(D d) {
    const __m256i i = _mm512_cvttpd_epi32(tanIndex(d));
    const __m512i index = _mm512_cvtepi32_epi64(i);
    const D low = _mm512_permutex2var_pd(_mm512_loadu_pd(kTanTable.data()), index,
                                         _mm512_loadu_pd(kTanTable.data() + 8));
    const D high = _mm512_permutex2var_pd(_mm512_loadu_pd(kTanTable.data() + 16), index,
                                          _mm512_loadu_pd(kTanTable.data() + 24));
    const D a = _mm512_mask_blend_pd(_mm512_test_epi64_mask(index, _mm512_set1_epi64(16)), low,
                                     high);
    return tanFromTable(d, _mm512_cvtepi32_pd(i), a);
  }
  // The dropped bits within `units` of the midpoint 2^28, as roundsClearly.
  // (Compared in 64 bits: a difference that wraps is huge in either width.)
  static unsigned nearMidpoints(D lo, D hi, std::uint32_t units) {
    return near(lo, units) | near(hi, units) << 8;
  }
  static unsigned near(D y, std::uint32_t units) {
    const __m512i dropped =
        _mm512_and_si512(_mm512_castpd_si512(y), _mm512_set1_epi64(0x1FFFFFFF));
    const __m512i distance =
        _mm512_sub_epi64(dropped, _mm512_set1_epi64(static_cast<long long>(0x10000000u - units)));
    return _mm512_cmp_epu64_mask(distance, _mm512_set1_epi64(2 * static_cast<long long>(units)),
                                 _MM_CMPINT_LE);
  }
};

}  // namespace vardo
