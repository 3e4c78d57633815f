// Quicker evaluations of fexp and ftan that return the very same floats, one
// value at a time or on every lane type.
//
// Each function approximates the function in double precision with a known
// error bound, then rounds to float. The library's double result lies within
// about one double ulp of the true value, so when the approximation is
// farther than (its bound + that ulp) from every point where rounding to
// float changes its mind (the midpoints between adjacent floats), the
// library's double and the approximation round to the same float. When it is
// that close, or the argument lies outside the range the approximation
// covers, the library is called. The exhaustive test over every float of
// each covered range confirms the agreement.
//
// Rounding a double to float keeps its top 24 significant bits and looks at
// the 29 it drops: the midpoints are where those read exactly 2^28. A double
// whose dropped bits lie more than M units (of its own last place) from 2^28
// therefore rounds like every double within M units of it, also across a
// power of two, where the dropped bits are near 0 or near 2^29 instead.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "simd/float4.h"
#include "math/float_math.h"

namespace vardo {

namespace quick_detail {

// Whether a positive double rounds to float unambiguously with a margin of
// `units` double last places.
inline bool roundsClearly(double y, std::uint32_t units) {
  const std::uint32_t dropped = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(y)) &
                                0x1FFFFFFFu;
  return dropped - (0x10000000u - units) > 2u * units;
}

// The exponential's results lie in [0.98, 1): its bound 2^-48 is 32 units of
// 2^-53; twice that covers the library's own error.
inline constexpr std::uint32_t kExpUnits = 64;
// The tangent's relative bound 2^-44 is at most 512 units; twice that again.
inline constexpr std::uint32_t kTanUnits = 1024;

// exp(d) for |d| <= 2^-6: the Taylor polynomial to d^6 leaves d^7 / 7! < 5e-17,
// and the evaluation near 1 adds a few double ulps (1.1e-16 each). Its terms
// are grouped in powers d^2 and d^4 (Estrin's scheme), so that the groups
// are evaluated side by side: about half the latency of nesting them all.
// D is a double or a vector of doubles (scalars apply to every element).
template <class D>
inline D expPolynomial(D d) {
  const D d2 = d * d;
  const D d4 = d2 * d2;
  return ((1.0 + d) + d2 * (0.5 + d * (1.0 / 6.0))) +
         d4 * ((1.0 / 24.0 + d * (1.0 / 120.0)) + d2 * (1.0 / 720.0));
}

// tan(i / 16) for i = 0 ... 25 (25 / 16 = 1.5625, just under pi / 2), and
// zeros to fill four registers of eight doubles, filled by the library when
// the program starts (in a unit compiled for the baseline processor: the
// wide units must run no code of their own at start-up).
inline constexpr int kTanSteps = 16;
inline constexpr int kTanPoints = 26;
extern const std::array<double, 32> kTanTable;

// Which library function a lane falls back to.
enum class Exact { kExp, kTan };
inline float exactly(Exact which, float x) { return which == Exact::kExp ? fexp(x) : ftan(x); }

// tan(d) for d in [2^-16, 1.568]: tan(a + h) = (tan a + tan h) / (1 - tan a tan h),
// with a = i / 16 the nearest multiple of 1/16 (h exact, |h| <= 1/32) and
// tan h from its series to h^9 (the next term is below 2^-57 relative). Up to
// 1.568 the denominator stays above 1/3, so the result carries a relative
// error of a few double ulps; 2^-44 leaves a wide margin. D is a double or a
// vector of doubles. tanIndex gives d * 16 + 0.5, whose integer part is i;
// tanFromTable takes i (as D) and a = tan(i / 16) from the table.
template <class D>
inline D tanIndex(D d) {
  return d * static_cast<double>(kTanSteps) + 0.5;
}
template <class D>
inline D tanFromTable(D d, D i, D a) {
  const D h = d - i * (1.0 / kTanSteps);
  const D h2 = h * h;
  const D t = h + h * h2 * (1.0 / 3.0 + h2 * (2.0 / 15.0 + h2 * (17.0 / 315.0 + h2 * (62.0 / 2835.0))));
  return (a + t) / (1.0 - a * t);
}

inline double tanTable(double d) {
  const int i = static_cast<int>(tanIndex(d));
  return tanFromTable(d, static_cast<double>(i), kTanTable[i]);
}

// exp(d) for -2^-8 <= d <= -2^-21 in single precision, as the float sum
// s + t of s = fl(1 + d) and t, the rest of the series, with the rounding
// error e of r = fl(s + t), from which the caller judges whether r is the
// float the library's double rounds to. Taylor to d^4: the next terms add
// less than 2^-46.9. s's own rounding error comes back exactly (1 + d and
// d - (s - 1) as in Fast2Sum), c = d^2 (1/2 + d (1/6 + d / 24)) carries at
// most 2.5 float roundings relative to its 2^-17, 2^-39.7 in all, and t's
// own rounding adds at most 2^-41. e is exact: r - s is exact, and so is
// t - (r - s), a multiple of t's last place no larger than 2^-25. With the
// library's 2^-53, s + t lies within 2^-39.2 of exp(d). V is a float or a
// lane type (with its constants from `k`).
template <class V>
struct SmallExp {
  V r;  // fl(s + t)
  V e;  // (s + t) - r, exactly
};
template <class V, class Constant>
inline SmallExp<V> smallExp(V d, Constant k) {
  const V series = d * (d * k(1.0f / 24.0f) + k(1.0f / 6.0f)) + k(0.5f);
  const V c = (d * d) * series;
  const V s = k(1.0f) + d;
  const V t = (d - (s - k(1.0f))) + c;
  const V r = s + t;
  return {r, t - (r - s)};
}

// r is in [0.99, 1), where floats lie 2^-24 apart: it is the library's float
// when s + t lies more than 2^-37 (over four times the error bound) from
// the midpoints 2^-25 either side of r, that is |e| < kSmallExpClear.
inline constexpr float kSmallExpClear = 0x1p-25f - 0x1p-37f;

}  // namespace quick_detail

// Range of the single-precision path of quickExp (the release factors'
// arguments at the usual rates); the double path covers the rest of the
// quick range.
inline constexpr float kSmallExpLowest = -0x1p-8f;

// Range of arguments quickExp approximates; outside it the library is called.
inline constexpr float kQuickExpLowest = -0x1p-6f;
inline constexpr float kQuickExpHighest = -0x1p-21f;

// fexp(x), for the small negative arguments of per-sample pole factors.
inline float quickExp(float x) {
  if (!(x >= kQuickExpLowest && x <= kQuickExpHighest)) return fexp(x);
  if (x >= kSmallExpLowest) {
    const auto [r, e] = quick_detail::smallExp(x, [](float c) { return c; });
    return std::fabs(e) < quick_detail::kSmallExpClear ? r : fexp(x);
  }
  const double y = quick_detail::expPolynomial<double>(x);
  if (quick_detail::roundsClearly(y, quick_detail::kExpUnits)) return static_cast<float>(y);
  return fexp(x);
}

// Range of arguments quickTan approximates (up to just below pi / 2, beyond
// the highest angle of a corner kept under the Nyquist frequency).
inline constexpr float kQuickTanLowest = 0x1p-16f;
inline constexpr float kQuickTanHighest = 1.568f;

// ftan(x), for angles in the first quadrant.
inline float quickTan(float x) {
  if (!(x >= kQuickTanLowest && x <= kQuickTanHighest)) return ftan(x);
  const double y = quick_detail::tanTable(x);
  if (quick_detail::roundsClearly(y, quick_detail::kTanUnits)) return static_cast<float>(y);
  return ftan(x);
}

// The same on every lane type; each lane gives what the one-value function
// gives. An instruction set lends the work in double precision through
// DoubleLanes<P> (P being its lane primitives, see simd/lane_ops.h):
//
//   D                            half the lanes as doubles
//   low(x) high(x)               the lower and upper half of x, widened
//   narrow(lo, hi)               both halves rounded back to float lanes
//   tanTable(d)                  tanFromTable at the table entries of tanIndex(d)
//   nearMidpoints(lo, hi, units) one bit per lane (lo's lanes lowest) for the
//                                doubles that do not round clearly (roundsClearly)
//
// Without it (the plain four-float fallback) the lanes go one at a time.
namespace quick_detail {

template <class P>
struct DoubleLanes;

template <class P>
concept HasDoubleLanes = requires { typename DoubleLanes<P>::D; };

// The lanes in `unclear` evaluated one by one with `exact`. Rarely taken, and
// kept out of line so that the common path keeps its lanes in registers.
template <class P>
[[gnu::noinline]] inline Lanes<P> redo(Lanes<P> x, Lanes<P> y, unsigned unclear, Exact exact) {
  alignas(64) float xs[P::kWidth];
  alignas(64) float ys[P::kWidth];
  P::store(xs, x.v);
  P::store(ys, y.v);
  for (int i = 0; i < P::kWidth; ++i) {
    if (unclear & (1u << i)) ys[i] = exactly(exact, xs[i]);
  }
  return {P::load(ys)};
}

// x through `approximate` (on the doubles of `argument`), rounded; lanes
// outside [lowest, highest] or without a clear rounding are redone with the
// library.
template <class P, typename Approximate>
inline Lanes<P> throughDoubles(Lanes<P> x, Lanes<P> argument, Approximate approximate, Exact exact,
                               float lowest, float highest, std::uint32_t units) {
  using Doubles = DoubleLanes<P>;
  const typename Doubles::D lo = approximate(Doubles::low(argument.v));
  const typename Doubles::D hi = approximate(Doubles::high(argument.v));
  const Lanes<P> y = {Doubles::narrow(lo, hi)};
  const unsigned inside = P::bits(P::both(P::greaterEqual(x.v, P::splat(lowest)),
                                          P::greaterEqual(P::splat(highest), x.v)));
  constexpr unsigned kAll = (1u << P::kWidth) - 1u;
  const unsigned unclear = (Doubles::nearMidpoints(lo, hi, units) | ~inside) & kAll;
  if (unclear == 0) return y;
  return redo(x, y, unclear, exact);
}

template <class P, class F>
inline Lanes<P> laneByLane(Lanes<P> x, F f) {
  float xs[P::kWidth];
  P::store(xs, x.v);
  for (float& v : xs) v = f(v);
  return {P::load(xs)};
}

}  // namespace quick_detail

template <class P>
inline Lanes<P> quickExp(Lanes<P> x) {
  using namespace quick_detail;
  if constexpr (!HasDoubleLanes<P>) {
    return laneByLane(x, [](float v) { return quickExp(v); });
  } else {
    const auto small = P::both(P::greaterEqual(x.v, P::splat(kSmallExpLowest)),
                               P::greaterEqual(P::splat(kQuickExpHighest), x.v));
    if (P::bits(small) == (1u << P::kWidth) - 1u) {
      const SmallExp<Lanes<P>> y = smallExp(x, [](float c) { return Lanes<P>{P::splat(c)}; });
      const unsigned unclear = P::bits(P::greaterEqual(P::abs(y.e.v), P::splat(kSmallExpClear)));
      if (unclear == 0) return y.r;
      return redo(x, y.r, unclear, Exact::kExp);
    }
    return throughDoubles(x, x, expPolynomial<typename DoubleLanes<P>::D>, Exact::kExp,
                          kQuickExpLowest, kQuickExpHighest, kExpUnits);
  }
}

template <class P>
inline Lanes<P> quickTan(Lanes<P> x) {
  using namespace quick_detail;
  if constexpr (!HasDoubleLanes<P>) {
    return laneByLane(x, [](float v) { return quickTan(v); });
  } else {
    // The table is read at an index from the argument kept inside the range
    // (a NaN goes to the low end: std::max keeps its first operand); lanes
    // outside it are redone anyway.
    const Lanes<P> inRange = {
        P::min(P::splat(kQuickTanHighest), P::max(P::splat(kQuickTanLowest), x.v))};
    return throughDoubles(x, inRange, DoubleLanes<P>::tanTable, Exact::kTan, kQuickTanLowest,
                          kQuickTanHighest, kTanUnits);
  }
}

// Two registers: each half on its own.
template <class P>
inline Lanes<PairOf<P>> quickExp(Lanes<PairOf<P>> x) {
  const Lanes<P> lo = quickExp(Lanes<P>{x.v.lo});
  const Lanes<P> hi = quickExp(Lanes<P>{x.v.hi});
  return {{lo.v, hi.v}};
}
template <class P>
inline Lanes<PairOf<P>> quickTan(Lanes<PairOf<P>> x) {
  const Lanes<P> lo = quickTan(Lanes<P>{x.v.lo});
  const Lanes<P> hi = quickTan(Lanes<P>{x.v.hi});
  return {{lo.v, hi.v}};
}

#if VARDO_FLOAT4_SSE2

// Four lanes as two pairs of doubles.
template <>
struct quick_detail::DoubleLanes<FourLanes> {
  using D = __m128d;
  static D low(__m128 x) { return _mm_cvtps_pd(x); }
  static D high(__m128 x) { return _mm_cvtps_pd(_mm_movehl_ps(x, x)); }
  static __m128 narrow(D lo, D hi) { return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)); }
  static D tanTable(D d) {
    const __m128i i = _mm_cvttpd_epi32(tanIndex(d));
    const D a = _mm_set_pd(kTanTable[_mm_cvtsi128_si32(_mm_shuffle_epi32(i, 1))],
                           kTanTable[_mm_cvtsi128_si32(i)]);
    return tanFromTable(d, _mm_cvtepi32_pd(i), a);
  }
  // Always inline: the eight-lane units call it too, and an out-of-line
  // copy compiled for their instruction set could stand in for this one.
  [[gnu::always_inline]] static unsigned nearMidpoints(D lo, D hi, std::uint32_t units) {
    // The low halves of the four doubles hold their dropped bits.
    const __m128i low = _mm_castps_si128(
        _mm_shuffle_ps(_mm_castpd_ps(lo), _mm_castpd_ps(hi), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i dropped = _mm_and_si128(low, _mm_set1_epi32(0x1FFFFFFF));
    // Unsigned dropped - (2^28 - units) <= 2 units, as a signed comparison
    // with both sides offset by 2^31.
    const __m128i offset = _mm_set1_epi32(static_cast<int>(0x80000000u));
    const __m128i distance = _mm_xor_si128(
        _mm_sub_epi32(dropped, _mm_set1_epi32(static_cast<int>(0x10000000u - units))), offset);
    const __m128i limit = _mm_xor_si128(_mm_set1_epi32(static_cast<int>(2u * units + 1u)), offset);
    return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(distance, limit))));
  }
};

#elif VARDO_FLOAT4_NEON

// Four lanes as two pairs of doubles.
template <>
struct quick_detail::DoubleLanes<FourLanes> {
  using D = float64x2_t;
  static D low(float32x4_t x) { return vcvt_f64_f32(vget_low_f32(x)); }
  static D high(float32x4_t x) { return vcvt_high_f64_f32(x); }
  static float32x4_t narrow(D lo, D hi) { return vcvt_high_f32_f64(vcvt_f32_f64(lo), hi); }
  static D tanTable(D d) {
    // The index lies in [0, 25]: truncation toward zero, as on x86, and no
    // saturation to differ.
    const int64x2_t i = vcvtq_s64_f64(tanIndex(d));
    const D a = {kTanTable[vgetq_lane_s64(i, 0)], kTanTable[vgetq_lane_s64(i, 1)]};
    return tanFromTable(d, vcvtq_f64_s64(i), a);
  }
  static unsigned nearMidpoints(D lo, D hi, std::uint32_t units) {
    // The low halves of the four doubles hold their dropped bits: unsigned
    // dropped - (2^28 - units) <= 2 units, in 32 bits as roundsClearly.
    const uint32x4_t low = vuzp1q_u32(vreinterpretq_u32_f64(lo), vreinterpretq_u32_f64(hi));
    const uint32x4_t distance =
        vsubq_u32(vandq_u32(low, vdupq_n_u32(0x1FFFFFFF)), vdupq_n_u32(0x10000000u - units));
    return FourLanes::bits(vcleq_u32(distance, vdupq_n_u32(2u * units)));
  }
};

#endif

}  // namespace vardo
