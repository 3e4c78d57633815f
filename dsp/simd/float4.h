// Four float lanes processed together. Every operation is the IEEE
// single-precision operation of the scalar code applied lane by lane, so a
// loop over lanes gives bit for bit the values of the same loop run one lane
// at a time: +, -, *, / and sqrt are correctly rounded either way, and the
// comparisons, selects, max and min reproduce the scalar operand order
// (including which operand wins on a tie or a NaN).
//
// With SSE2 (every x86-64 target) the lanes live in one SSE register, on
// aarch64 in one NEON register; elsewhere, or with VARDO_FLOAT4_SCALAR
// defined, a plain four-float fallback does the same arithmetic one lane at
// a time. Each gives only the primitives of simd/lane_ops.h and the few
// four-lane moves below; the operations themselves are written once.
#pragma once

#include <cstdint>

#include "simd/lane_ops.h"

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(VARDO_FLOAT4_SCALAR)
#define VARDO_FLOAT4_SSE2 1
#include <emmintrin.h>
#elif defined(__aarch64__) && !defined(VARDO_FLOAT4_SCALAR)
#define VARDO_FLOAT4_NEON 1
#include <arm_neon.h>
#else
#include <array>
#endif

namespace vardo {

#if VARDO_FLOAT4_SSE2

struct FourLanes {
  static constexpr int kWidth = 4;
  using Reg = __m128;
  // All bits set in a lane where a comparison held, clear where it did not.
  using MaskReg = __m128;
  static Reg load(const float* p) { return _mm_loadu_ps(p); }
  static void store(float* p, Reg a) { _mm_storeu_ps(p, a); }
  static Reg splat(float x) { return _mm_set1_ps(x); }
  static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm_sub_ps(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm_mul_ps(a, b); }
  static Reg div(Reg a, Reg b) { return _mm_div_ps(a, b); }
  static Reg neg(Reg a) { return _mm_xor_ps(a, _mm_set1_ps(-0.0f)); }
  static Reg abs(Reg a) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), a); }
  static Reg sqrt(Reg a) { return _mm_sqrt_ps(a); }
  // MAXPS x, y returns (x > y) ? x : y and the second operand on a tie or a
  // NaN, so the operands go in swapped; MINPS likewise.
  static Reg max(Reg a, Reg b) { return _mm_max_ps(b, a); }
  static Reg min(Reg a, Reg b) { return _mm_min_ps(b, a); }
  static MaskReg greater(Reg a, Reg b) { return _mm_cmpgt_ps(a, b); }
  static MaskReg greaterEqual(Reg a, Reg b) { return _mm_cmpge_ps(a, b); }
  static MaskReg equal(Reg a, Reg b) { return _mm_cmpeq_ps(a, b); }
  static MaskReg either(MaskReg a, MaskReg b) { return _mm_or_ps(a, b); }
  static MaskReg both(MaskReg a, MaskReg b) { return _mm_and_ps(a, b); }
  static unsigned bits(MaskReg m) { return static_cast<unsigned>(_mm_movemask_ps(m)); }
  static Reg select(MaskReg m, Reg a, Reg b) {
    return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b));
  }

  // The four-lane moves (see the functions of the same name below).
  static Reg shiftIn(Reg a, Reg carry) {
    const __m128 up = _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(a), 4));
    return _mm_move_ss(up, _mm_shuffle_ps(carry, carry, _MM_SHUFFLE(3, 3, 3, 3)));
  }
  static float lane0(Reg a) { return _mm_cvtss_f32(a); }
  static float lane1(Reg a) { return _mm_cvtss_f32(_mm_shuffle_ps(a, a, _MM_SHUFFLE(1, 1, 1, 1))); }
  static float lane3(Reg a) { return _mm_cvtss_f32(_mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 3, 3, 3))); }
  static Reg lane0From(Reg a, Reg b) { return _mm_move_ss(b, a); }
  static Reg lowPairFrom(Reg a, Reg b) { return _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 2, 1, 0)); }
  static Reg highPairOf(Reg a) { return _mm_movehl_ps(a, a); }
  static Reg lowPairs(Reg a, Reg b) { return _mm_movelh_ps(a, b); }
  static Reg middlePairs(Reg a, Reg b) { return _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 3, 2)); }
  static Reg pairs(float x, float y) { return _mm_unpacklo_ps(_mm_set1_ps(x), _mm_set1_ps(y)); }
};

#elif VARDO_FLOAT4_NEON

struct FourLanes {
  static constexpr int kWidth = 4;
  using Reg = float32x4_t;
  // All bits set in a lane where a comparison held, clear where it did not.
  using MaskReg = uint32x4_t;
  static Reg load(const float* p) { return vld1q_f32(p); }
  static void store(float* p, Reg a) { vst1q_f32(p, a); }
  static Reg splat(float x) { return vdupq_n_f32(x); }
  static Reg add(Reg a, Reg b) { return vaddq_f32(a, b); }
  static Reg sub(Reg a, Reg b) { return vsubq_f32(a, b); }
  static Reg mul(Reg a, Reg b) { return vmulq_f32(a, b); }
  static Reg div(Reg a, Reg b) { return vdivq_f32(a, b); }
  static Reg neg(Reg a) { return vnegq_f32(a); }
  static Reg abs(Reg a) { return vabsq_f32(a); }
  static Reg sqrt(Reg a) { return vsqrtq_f32(a); }
  // FMAX and FMIN return a NaN for a NaN operand and order -0 below +0,
  // where std::max(a, b) = a < b ? b : a keeps its first operand on a tie or
  // a NaN: a comparison and a select in that order instead.
  static Reg max(Reg a, Reg b) { return vbslq_f32(vcltq_f32(a, b), b, a); }
  static Reg min(Reg a, Reg b) { return vbslq_f32(vcltq_f32(b, a), b, a); }
  static MaskReg greater(Reg a, Reg b) { return vcgtq_f32(a, b); }
  static MaskReg greaterEqual(Reg a, Reg b) { return vcgeq_f32(a, b); }
  static MaskReg equal(Reg a, Reg b) { return vceqq_f32(a, b); }
  static MaskReg either(MaskReg a, MaskReg b) { return vorrq_u32(a, b); }
  static MaskReg both(MaskReg a, MaskReg b) { return vandq_u32(a, b); }
  static unsigned bits(MaskReg m) {
    const uint32x4_t weights = {1, 2, 4, 8};
    return vaddvq_u32(vandq_u32(m, weights));
  }
  static Reg select(MaskReg m, Reg a, Reg b) { return vbslq_f32(m, a, b); }

  static Reg shiftIn(Reg a, Reg carry) { return vextq_f32(carry, a, 3); }
  static float lane0(Reg a) { return vgetq_lane_f32(a, 0); }
  static float lane1(Reg a) { return vgetq_lane_f32(a, 1); }
  static float lane3(Reg a) { return vgetq_lane_f32(a, 3); }
  static Reg lane0From(Reg a, Reg b) { return vcopyq_laneq_f32(b, 0, a, 0); }
  static Reg lowPairFrom(Reg a, Reg b) { return vcombine_f32(vget_low_f32(a), vget_high_f32(b)); }
  static Reg highPairOf(Reg a) { return vcombine_f32(vget_high_f32(a), vget_high_f32(a)); }
  static Reg lowPairs(Reg a, Reg b) { return vcombine_f32(vget_low_f32(a), vget_low_f32(b)); }
  static Reg middlePairs(Reg a, Reg b) { return vextq_f32(a, b, 2); }
  static Reg pairs(float x, float y) {
    const float32x2_t xy = {x, y};
    return vcombine_f32(xy, xy);
  }
};

#else

struct FourLanes {
  static constexpr int kWidth = 4;
  using Reg = std::array<float, 4>;
  using MaskReg = std::array<bool, 4>;
  template <class R, class F>
  static R each(F f) {
    R r;
    for (int i = 0; i < 4; ++i) r[i] = f(i);
    return r;
  }
  static Reg load(const float* p) { return {p[0], p[1], p[2], p[3]}; }
  static void store(float* p, Reg a) {
    for (int i = 0; i < 4; ++i) p[i] = a[i];
  }
  static Reg splat(float x) { return {x, x, x, x}; }
  static Reg add(Reg a, Reg b) { return each<Reg>([&](int i) { return a[i] + b[i]; }); }
  static Reg sub(Reg a, Reg b) { return each<Reg>([&](int i) { return a[i] - b[i]; }); }
  static Reg mul(Reg a, Reg b) { return each<Reg>([&](int i) { return a[i] * b[i]; }); }
  static Reg div(Reg a, Reg b) { return each<Reg>([&](int i) { return a[i] / b[i]; }); }
  static Reg neg(Reg a) { return each<Reg>([&](int i) { return -a[i]; }); }
  static Reg abs(Reg a) { return each<Reg>([&](int i) { return std::fabs(a[i]); }); }
  static Reg sqrt(Reg a) { return each<Reg>([&](int i) { return std::sqrt(a[i]); }); }
  static Reg max(Reg a, Reg b) { return each<Reg>([&](int i) { return std::max(a[i], b[i]); }); }
  static Reg min(Reg a, Reg b) { return each<Reg>([&](int i) { return std::min(a[i], b[i]); }); }
  static MaskReg greater(Reg a, Reg b) { return each<MaskReg>([&](int i) { return a[i] > b[i]; }); }
  static MaskReg greaterEqual(Reg a, Reg b) {
    return each<MaskReg>([&](int i) { return a[i] >= b[i]; });
  }
  static MaskReg equal(Reg a, Reg b) { return each<MaskReg>([&](int i) { return a[i] == b[i]; }); }
  static MaskReg either(MaskReg a, MaskReg b) {
    return each<MaskReg>([&](int i) { return a[i] || b[i]; });
  }
  static MaskReg both(MaskReg a, MaskReg b) {
    return each<MaskReg>([&](int i) { return a[i] && b[i]; });
  }
  static unsigned bits(MaskReg m) { return m[0] | m[1] << 1 | m[2] << 2 | m[3] << 3; }
  static Reg select(MaskReg m, Reg a, Reg b) {
    return each<Reg>([&](int i) { return m[i] ? a[i] : b[i]; });
  }

  static Reg shiftIn(Reg a, Reg carry) { return {carry[3], a[0], a[1], a[2]}; }
  static float lane0(Reg a) { return a[0]; }
  static float lane1(Reg a) { return a[1]; }
  static float lane3(Reg a) { return a[3]; }
  static Reg lane0From(Reg a, Reg b) { return {a[0], b[1], b[2], b[3]}; }
  static Reg lowPairFrom(Reg a, Reg b) { return {a[0], a[1], b[2], b[3]}; }
  static Reg highPairOf(Reg a) { return {a[2], a[3], a[2], a[3]}; }
  static Reg lowPairs(Reg a, Reg b) { return {a[0], a[1], b[0], b[1]}; }
  static Reg middlePairs(Reg a, Reg b) { return {a[2], a[3], b[0], b[1]}; }
  static Reg pairs(float x, float y) { return {x, y, x, y}; }
};

#endif

using Float4 = Lanes<FourLanes>;
using Mask4 = LaneMask<FourLanes>;

// The four-lane forms the kernels call by name.
inline Float4 load4(const float* p) { return load<Float4>(p); }
inline void store4(float* p, Float4 a) { store(p, a); }
inline Float4 splat4(float x) { return splat<Float4>(x); }
inline Float4 abs4(Float4 a) { return laneAbs(a); }
inline Float4 sqrt4(Float4 a) { return laneSqrt(a); }
inline Float4 max4(Float4 a, Float4 b) { return laneMax(a, b); }
inline Float4 min4(Float4 a, Float4 b) { return laneMin(a, b); }
inline Mask4 greater4(Float4 a, Float4 b) { return greater(a, b); }
inline Mask4 greaterEqual4(Float4 a, Float4 b) { return greaterEqual(a, b); }
inline Mask4 equal4(Float4 a, Float4 b) { return equal(a, b); }
// a < b is b > a, NaN included.
inline Mask4 less4(Float4 a, Float4 b) { return greater(b, a); }
inline Mask4 and4(Mask4 a, Mask4 b) { return bothMasks(a, b); }
inline Mask4 or4(Mask4 a, Mask4 b) { return eitherMask(a, b); }
inline bool allOf4(Mask4 mask) { return allLanes(mask); }
// mask ? a : b, lane by lane.
inline Float4 select4(Mask4 mask, Float4 a, Float4 b) { return select(mask, a, b); }
// Lanes moved up by one: {carry[3], a[0], a[1], a[2]}.
inline Float4 shiftIn4(Float4 a, Float4 carry) { return {FourLanes::shiftIn(a.v, carry.v)}; }
inline float lane0Of4(Float4 a) { return FourLanes::lane0(a.v); }
inline float lane1Of4(Float4 a) { return FourLanes::lane1(a.v); }
inline float lane3Of4(Float4 a) { return FourLanes::lane3(a.v); }
// {a[0], b[1], b[2], b[3]}
inline Float4 lane0From4(Float4 a, Float4 b) { return {FourLanes::lane0From(a.v, b.v)}; }
// {a[0], a[1], b[2], b[3]}
inline Float4 lowPairFrom4(Float4 a, Float4 b) { return {FourLanes::lowPairFrom(a.v, b.v)}; }
// {a[2], a[3], a[2], a[3]}
inline Float4 highPairOf4(Float4 a) { return {FourLanes::highPairOf(a.v)}; }
// {a[0], a[1], b[0], b[1]}
inline Float4 lowPairs4(Float4 a, Float4 b) { return {FourLanes::lowPairs(a.v, b.v)}; }
// {a[2], a[3], b[0], b[1]}
inline Float4 middlePairs4(Float4 a, Float4 b) { return {FourLanes::middlePairs(a.v, b.v)}; }
// {x, y, x, y}
inline Float4 pairs4(float x, float y) { return {FourLanes::pairs(x, y)}; }

}  // namespace vardo
