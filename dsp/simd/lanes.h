// The lane types the stage kernels are written for. A kernel takes its lane
// type V as a template parameter and touches lanes only through the
// operations below, so one source serves a plain float (one lane at a time)
// and every wider type. A new lane type needs only its LaneTraits entry and
// these overloads (and kWidestLane raised if it is wider); no kernel changes.
//
// Every operation is the IEEE single-precision operation of the scalar code,
// lane by lane, with the scalar operand order on ties and NaN (see float4.h),
// so every instantiation of a kernel computes the same bits.
#pragma once

#include <algorithm>
#include <cmath>

#include "simd/float4.h"

namespace vardo {

// Eight lanes as two four-lane halves, each operation applied to both. It
// runs every kernel at the eight-lane width (the padding of twelve bands to
// sixteen lanes included); a build for wider registers can give it one
// register without any kernel noticing.
struct Float8 {
  Float4 lo, hi;
};
struct Mask8 {
  Mask4 lo, hi;
};

inline Float8 operator+(Float8 a, Float8 b) { return {a.lo + b.lo, a.hi + b.hi}; }
inline Float8 operator-(Float8 a, Float8 b) { return {a.lo - b.lo, a.hi - b.hi}; }
inline Float8 operator*(Float8 a, Float8 b) { return {a.lo * b.lo, a.hi * b.hi}; }
inline Float8 operator/(Float8 a, Float8 b) { return {a.lo / b.lo, a.hi / b.hi}; }
inline Float8 operator-(Float8 a) { return {-a.lo, -a.hi}; }

// The widest lane type any kernel is built for: arrays shared by all
// instantiations are padded to a whole number of these.
constexpr int kWidestLane = 16;
// Alignment of lane arrays: one cache line, the size of the widest register,
// so that no load of whole lanes straddles two lines.
constexpr int kLaneAlign = 64;

template <class V>
struct LaneTraits;

template <>
struct LaneTraits<float> {
  static constexpr int kWidth = 1;
  using Mask = bool;
};

template <>
struct LaneTraits<Float4> {
  static constexpr int kWidth = 4;
  using Mask = Mask4;
};

template <>
struct LaneTraits<Float8> {
  static constexpr int kWidth = 8;
  using Mask = Mask8;
};

// The lane type for work that has only a few lanes to fill (the two output
// channels): the type itself, unless a wider type names a narrower one.
template <class V>
struct NarrowLaneOf {
  using Type = V;
};
template <class V>
using NarrowLane = typename NarrowLaneOf<V>::Type;

// Eight lanes in one AVX register. The type is complete only in the unit
// compiled for AVX (avx8.h), which builds the band and width stages on it;
// everywhere else it is known by its width alone, enough to lay out the
// chain that holds those stages and to call them.
//
// The same eight lanes are built twice, for AVX and for AVX2, from the same
// source. Each unit's lane type and everything written for it live in that
// unit's own namespace, so no function of one unit shares a name with one of
// the other and the linker cannot hand AVX2 code to an AVX-only processor.
namespace avx {
struct Avx8;
struct AvxMask8;
}  // namespace avx
namespace avx2 {
struct Avx8;
struct AvxMask8;
}  // namespace avx2
using Avx8 = avx::Avx8;
using Avx2x8 = avx2::Avx8;
template <>
struct LaneTraits<avx::Avx8> {
  static constexpr int kWidth = 8;
  using Mask = avx::AvxMask8;
};
template <>
struct LaneTraits<avx2::Avx8> {
  static constexpr int kWidth = 8;
  using Mask = avx2::AvxMask8;
};
// The output stage's two channels stay on four lanes.
template <>
struct NarrowLaneOf<avx::Avx8> {
  using Type = Float4;
};
template <>
struct NarrowLaneOf<avx2::Avx8> {
  using Type = Float4;
};

// Sixteen lanes in one AVX-512 register, likewise complete only in the unit
// compiled for AVX-512 (avx16.h).
struct Avx16;
struct AvxMask16;
template <>
struct LaneTraits<Avx16> {
  static constexpr int kWidth = 16;
  using Mask = AvxMask16;
};
template <>
struct NarrowLaneOf<Avx16> {
  using Type = Float4;
};

// Lanes of V, and a lane count rounded up to whole V.
template <class V>
inline constexpr int kLaneWidth = LaneTraits<V>::kWidth;
constexpr int roundUp(int count, int width) { return (count + width - 1) / width * width; }
template <class V>
constexpr int roundUpToLanes(int lanes) {
  static_assert(kLaneWidth<V> <= kWidestLane, "raise kWidestLane with a wider lane type");
  return roundUp(lanes, kLaneWidth<V>);
}

// Loads, stores and broadcasts: kLaneWidth<V> consecutive floats per value.
template <class V>
V load(const float* p);
template <>
inline float load<float>(const float* p) {
  return *p;
}
template <>
inline Float4 load<Float4>(const float* p) {
  return load4(p);
}
template <>
inline Float8 load<Float8>(const float* p) {
  return {load4(p), load4(p + 4)};
}

template <class V>
V splat(float x);
template <>
inline float splat<float>(float x) {
  return x;
}
template <>
inline Float4 splat<Float4>(float x) {
  return splat4(x);
}
template <>
inline Float8 splat<Float8>(float x) {
  return {splat4(x), splat4(x)};
}

inline void store(float* p, float v) { *p = v; }
inline void store(float* p, Float4 v) { store4(p, v); }
inline void store(float* p, Float8 v) {
  store4(p, v.lo);
  store4(p + 4, v.hi);
}

// std::max / std::min operand order: max(a, b) = a < b ? b : a.
inline float laneMax(float a, float b) { return std::max(a, b); }
inline Float4 laneMax(Float4 a, Float4 b) { return max4(a, b); }
inline Float8 laneMax(Float8 a, Float8 b) { return {max4(a.lo, b.lo), max4(a.hi, b.hi)}; }
inline float laneMin(float a, float b) { return std::min(a, b); }
inline Float4 laneMin(Float4 a, Float4 b) { return min4(a, b); }
inline Float8 laneMin(Float8 a, Float8 b) { return {min4(a.lo, b.lo), min4(a.hi, b.hi)}; }

inline float laneAbs(float a) { return std::fabs(a); }
inline Float4 laneAbs(Float4 a) { return abs4(a); }
inline Float8 laneAbs(Float8 a) { return {abs4(a.lo), abs4(a.hi)}; }
inline float laneSqrt(float a) { return std::sqrt(a); }
inline Float4 laneSqrt(Float4 a) { return sqrt4(a); }
inline Float8 laneSqrt(Float8 a) { return {sqrt4(a.lo), sqrt4(a.hi)}; }

inline bool greater(float a, float b) { return a > b; }
inline Mask4 greater(Float4 a, Float4 b) { return greater4(a, b); }
inline Mask8 greater(Float8 a, Float8 b) { return {greater4(a.lo, b.lo), greater4(a.hi, b.hi)}; }
inline bool greaterEqual(float a, float b) { return a >= b; }
inline Mask4 greaterEqual(Float4 a, Float4 b) { return greaterEqual4(a, b); }
inline Mask8 greaterEqual(Float8 a, Float8 b) {
  return {greaterEqual4(a.lo, b.lo), greaterEqual4(a.hi, b.hi)};
}

inline bool equal(float a, float b) { return a == b; }
inline Mask4 equal(Float4 a, Float4 b) { return equal4(a, b); }
inline Mask8 equal(Float8 a, Float8 b) { return {equal4(a.lo, b.lo), equal4(a.hi, b.hi)}; }
inline bool eitherMask(bool a, bool b) { return a || b; }
inline Mask4 eitherMask(Mask4 a, Mask4 b) { return or4(a, b); }
inline Mask8 eitherMask(Mask8 a, Mask8 b) { return {or4(a.lo, b.lo), or4(a.hi, b.hi)}; }
// Whether the mask holds in every lane.
inline bool allLanes(bool mask) { return mask; }
inline bool allLanes(Mask4 mask) { return allOf4(mask); }
inline bool allLanes(Mask8 mask) { return allOf4(mask.lo) && allOf4(mask.hi); }

// mask ? a : b, lane by lane.
inline float select(bool mask, float a, float b) { return mask ? a : b; }
inline Float4 select(Mask4 mask, Float4 a, Float4 b) { return select4(mask, a, b); }
inline Float8 select(Mask8 mask, Float8 a, Float8 b) {
  return {select4(mask.lo, a.lo, b.lo), select4(mask.hi, a.hi, b.hi)};
}

}  // namespace vardo
