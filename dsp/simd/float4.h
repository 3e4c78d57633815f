// Four float lanes processed together. Every operation is the IEEE
// single-precision operation of the scalar code applied lane by lane, so a
// loop over lanes gives bit for bit the values of the same loop run one lane
// at a time: +, -, *, / and sqrt are correctly rounded either way, and the
// comparisons, selects, max and min reproduce the scalar operand order
// (including which operand wins on a tie or a NaN).
//
// With SSE2 (every x86-64 target) the lanes live in one register; elsewhere,
// or with VARDO_FLOAT4_SCALAR defined, a plain four-float fallback does the
// same arithmetic one lane at a time.
#pragma once

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(VARDO_FLOAT4_SCALAR)
#define VARDO_FLOAT4_SSE2 1
#include <emmintrin.h>
#else
#include <algorithm>
#include <cmath>
#endif

namespace vardo {

#if VARDO_FLOAT4_SSE2

struct Float4 {
  __m128 v;
};
// All bits set in a lane where a comparison held, clear where it did not.
struct Mask4 {
  __m128 v;
};

inline Float4 load4(const float* p) { return {_mm_loadu_ps(p)}; }
inline void store4(float* p, Float4 a) { _mm_storeu_ps(p, a.v); }
inline Float4 splat4(float x) { return {_mm_set1_ps(x)}; }

inline Float4 operator+(Float4 a, Float4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline Float4 operator-(Float4 a, Float4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline Float4 operator*(Float4 a, Float4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline Float4 operator/(Float4 a, Float4 b) { return {_mm_div_ps(a.v, b.v)}; }
// -a: flips the sign bit only, like scalar negation.
inline Float4 operator-(Float4 a) { return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))}; }
// |a|: clears the sign bit only, like std::fabs.
inline Float4 abs4(Float4 a) { return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)}; }
inline Float4 sqrt4(Float4 a) { return {_mm_sqrt_ps(a.v)}; }

// std::max(a, b) = (a < b) ? b : a. MAXPS x, y returns (x > y) ? x : y and
// the second operand on a tie or a NaN, so the operands go in swapped.
inline Float4 max4(Float4 a, Float4 b) { return {_mm_max_ps(b.v, a.v)}; }
// std::min(a, b) = (b < a) ? b : a, likewise.
inline Float4 min4(Float4 a, Float4 b) { return {_mm_min_ps(b.v, a.v)}; }

inline Mask4 greater4(Float4 a, Float4 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline Mask4 greaterEqual4(Float4 a, Float4 b) { return {_mm_cmpge_ps(a.v, b.v)}; }
inline Mask4 equal4(Float4 a, Float4 b) { return {_mm_cmpeq_ps(a.v, b.v)}; }
inline Mask4 less4(Float4 a, Float4 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline Mask4 and4(Mask4 a, Mask4 b) { return {_mm_and_ps(a.v, b.v)}; }
// Lanes moved up by one: {carry[3], a[0], a[1], a[2]}.
inline Float4 shiftIn4(Float4 a, Float4 carry) {
  const __m128 up = _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(a.v), 4));
  return {_mm_move_ss(up, _mm_shuffle_ps(carry.v, carry.v, _MM_SHUFFLE(3, 3, 3, 3)))};
}
inline float lane3Of4(Float4 a) {
  return _mm_cvtss_f32(_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(3, 3, 3, 3)));
}
inline float lane0Of4(Float4 a) { return _mm_cvtss_f32(a.v); }
inline float lane1Of4(Float4 a) {
  return _mm_cvtss_f32(_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(1, 1, 1, 1)));
}
// {a[0], b[1], b[2], b[3]}
inline Float4 lane0From4(Float4 a, Float4 b) { return {_mm_move_ss(b.v, a.v)}; }
// {a[0], a[1], b[2], b[3]}
inline Float4 lowPairFrom4(Float4 a, Float4 b) {
  return {_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(3, 2, 1, 0))};
}
// {a[2], a[3], a[2], a[3]}
inline Float4 highPairOf4(Float4 a) { return {_mm_movehl_ps(a.v, a.v)}; }
// {a[0], a[1], b[0], b[1]}
inline Float4 lowPairs4(Float4 a, Float4 b) { return {_mm_movelh_ps(a.v, b.v)}; }
// {a[2], a[3], b[0], b[1]}
inline Float4 middlePairs4(Float4 a, Float4 b) {
  return {_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(1, 0, 3, 2))};
}
// {x, y, x, y}
inline Float4 pairs4(float x, float y) {
  return {_mm_unpacklo_ps(_mm_set1_ps(x), _mm_set1_ps(y))};
}
inline Mask4 or4(Mask4 a, Mask4 b) { return {_mm_or_ps(a.v, b.v)}; }
inline bool allOf4(Mask4 mask) { return _mm_movemask_ps(mask.v) == 0xF; }
// mask ? a : b, lane by lane.
inline Float4 select4(Mask4 mask, Float4 a, Float4 b) {
  return {_mm_or_ps(_mm_and_ps(mask.v, a.v), _mm_andnot_ps(mask.v, b.v))};
}

#else

struct Float4 {
  float v[4];
};
struct Mask4 {
  bool v[4];
};

inline Float4 load4(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
inline void store4(float* p, Float4 a) {
  for (int i = 0; i < 4; ++i) p[i] = a.v[i];
}
inline Float4 splat4(float x) { return {{x, x, x, x}}; }

#define VARDO_FLOAT4_LANEWISE(expr) \
  Float4 r;                         \
  for (int i = 0; i < 4; ++i) r.v[i] = (expr); \
  return r

inline Float4 operator+(Float4 a, Float4 b) { VARDO_FLOAT4_LANEWISE(a.v[i] + b.v[i]); }
inline Float4 operator-(Float4 a, Float4 b) { VARDO_FLOAT4_LANEWISE(a.v[i] - b.v[i]); }
inline Float4 operator*(Float4 a, Float4 b) { VARDO_FLOAT4_LANEWISE(a.v[i] * b.v[i]); }
inline Float4 operator/(Float4 a, Float4 b) { VARDO_FLOAT4_LANEWISE(a.v[i] / b.v[i]); }
inline Float4 operator-(Float4 a) { VARDO_FLOAT4_LANEWISE(-a.v[i]); }
inline Float4 abs4(Float4 a) { VARDO_FLOAT4_LANEWISE(std::fabs(a.v[i])); }
inline Float4 sqrt4(Float4 a) { VARDO_FLOAT4_LANEWISE(std::sqrt(a.v[i])); }
inline Float4 max4(Float4 a, Float4 b) { VARDO_FLOAT4_LANEWISE(std::max(a.v[i], b.v[i])); }
inline Float4 min4(Float4 a, Float4 b) { VARDO_FLOAT4_LANEWISE(std::min(a.v[i], b.v[i])); }
inline Float4 select4(Mask4 mask, Float4 a, Float4 b) {
  VARDO_FLOAT4_LANEWISE(mask.v[i] ? a.v[i] : b.v[i]);
}

#undef VARDO_FLOAT4_LANEWISE

inline Mask4 greater4(Float4 a, Float4 b) {
  Mask4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] > b.v[i];
  return r;
}
inline Mask4 greaterEqual4(Float4 a, Float4 b) {
  Mask4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] >= b.v[i];
  return r;
}
inline Mask4 equal4(Float4 a, Float4 b) {
  Mask4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] == b.v[i];
  return r;
}
inline Mask4 less4(Float4 a, Float4 b) {
  Mask4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] < b.v[i];
  return r;
}
inline Mask4 and4(Mask4 a, Mask4 b) {
  Mask4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] && b.v[i];
  return r;
}
inline Float4 shiftIn4(Float4 a, Float4 carry) { return {{carry.v[3], a.v[0], a.v[1], a.v[2]}}; }
inline float lane3Of4(Float4 a) { return a.v[3]; }
inline float lane0Of4(Float4 a) { return a.v[0]; }
inline float lane1Of4(Float4 a) { return a.v[1]; }
inline Float4 lane0From4(Float4 a, Float4 b) { return {{a.v[0], b.v[1], b.v[2], b.v[3]}}; }
inline Float4 lowPairFrom4(Float4 a, Float4 b) { return {{a.v[0], a.v[1], b.v[2], b.v[3]}}; }
inline Float4 highPairOf4(Float4 a) { return {{a.v[2], a.v[3], a.v[2], a.v[3]}}; }
inline Float4 lowPairs4(Float4 a, Float4 b) { return {{a.v[0], a.v[1], b.v[0], b.v[1]}}; }
inline Float4 middlePairs4(Float4 a, Float4 b) { return {{a.v[2], a.v[3], b.v[0], b.v[1]}}; }
inline Float4 pairs4(float x, float y) { return {{x, y, x, y}}; }
inline Mask4 or4(Mask4 a, Mask4 b) {
  Mask4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] || b.v[i];
  return r;
}
inline bool allOf4(Mask4 mask) { return mask.v[0] && mask.v[1] && mask.v[2] && mask.v[3]; }

#endif

}  // namespace vardo
