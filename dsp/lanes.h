// The lane types the stage kernels are written for. A kernel takes its lane
// type V as a template parameter and touches lanes only through the
// operations below, so one source serves a plain float (one lane at a time)
// and every wider type. A new lane type (eight lanes of AVX, say) needs only
// its LaneTraits entry and these overloads; no kernel changes.
//
// Every operation is the IEEE single-precision operation of the scalar code,
// lane by lane, with the scalar operand order on ties and NaN (see float4.h),
// so every instantiation of a kernel computes the same bits.
#pragma once

#include <algorithm>
#include <cmath>

#include "float4.h"
#if defined(__AVX__)
#include "float8.h"
#endif

namespace vardo {

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

// The lane type for work that has only a few lanes to fill (the two output
// channels): the type itself, or four lanes where it is wider.
template <class V>
struct NarrowLaneOf {
  using Type = V;
};
template <class V>
using NarrowLane = typename NarrowLaneOf<V>::Type;

// Lanes of V, and a lane count rounded up to whole V.
template <class V>
inline constexpr int kLaneWidth = LaneTraits<V>::kWidth;
template <class V>
constexpr int roundUpToLanes(int lanes) {
  return (lanes + kLaneWidth<V> - 1) / kLaneWidth<V> * kLaneWidth<V>;
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

inline void store(float* p, float v) { *p = v; }
inline void store(float* p, Float4 v) { store4(p, v); }

// std::max / std::min operand order: max(a, b) = a < b ? b : a.
inline float laneMax(float a, float b) { return std::max(a, b); }
inline Float4 laneMax(Float4 a, Float4 b) { return max4(a, b); }
inline float laneMin(float a, float b) { return std::min(a, b); }
inline Float4 laneMin(Float4 a, Float4 b) { return min4(a, b); }

inline float laneAbs(float a) { return std::fabs(a); }
inline Float4 laneAbs(Float4 a) { return abs4(a); }
inline float laneSqrt(float a) { return std::sqrt(a); }
inline Float4 laneSqrt(Float4 a) { return sqrt4(a); }

inline bool greater(float a, float b) { return a > b; }
inline Mask4 greater(Float4 a, Float4 b) { return greater4(a, b); }
inline bool greaterEqual(float a, float b) { return a >= b; }
inline Mask4 greaterEqual(Float4 a, Float4 b) { return greaterEqual4(a, b); }

inline bool equal(float a, float b) { return a == b; }
inline Mask4 equal(Float4 a, Float4 b) { return equal4(a, b); }
inline bool eitherMask(bool a, bool b) { return a || b; }
inline Mask4 eitherMask(Mask4 a, Mask4 b) { return or4(a, b); }
// Whether the mask holds in every lane.
inline bool allLanes(bool mask) { return mask; }
inline bool allLanes(Mask4 mask) { return allOf4(mask); }

// mask ? a : b, lane by lane.
inline float select(bool mask, float a, float b) { return mask ? a : b; }
inline Float4 select(Mask4 mask, Float4 a, Float4 b) { return select4(mask, a, b); }

#if defined(__AVX__)

template <>
struct LaneTraits<Float8> {
  static constexpr int kWidth = 8;
  using Mask = Mask8;
};
template <>
struct NarrowLaneOf<Float8> {
  using Type = Float4;
};

template <>
inline Float8 load<Float8>(const float* p) {
  return load8(p);
}
template <>
inline Float8 splat<Float8>(float x) {
  return splat8(x);
}
inline void store(float* p, Float8 v) { store8(p, v); }
inline Float8 laneMax(Float8 a, Float8 b) { return max8(a, b); }
inline Float8 laneMin(Float8 a, Float8 b) { return min8(a, b); }
inline Float8 laneAbs(Float8 a) { return abs8(a); }
inline Float8 laneSqrt(Float8 a) { return sqrt8(a); }
inline Mask8 greater(Float8 a, Float8 b) { return greater8(a, b); }
inline Mask8 greaterEqual(Float8 a, Float8 b) { return greaterEqual8(a, b); }
inline Mask8 equal(Float8 a, Float8 b) { return equal8(a, b); }
inline Mask8 eitherMask(Mask8 a, Mask8 b) { return or8(a, b); }
inline bool allLanes(Mask8 mask) { return allOf8(mask); }
inline Float8 select(Mask8 mask, Float8 a, Float8 b) { return select8(mask, a, b); }

#endif

}  // namespace vardo
