// The lane types the stage kernels are written for. A kernel takes its lane
// type V as a template parameter and touches lanes only through the
// operations of lane_ops.h, so one source serves a plain float (one lane at
// a time) and every wider type. A new lane type needs only its primitives
// (see lane_ops.h) and its LaneTraits entry (and kWidestLane raised if it is
// wider); no kernel changes.
//
// Every operation is the IEEE single-precision operation of the scalar code,
// lane by lane, with the scalar operand order on ties and NaN (see float4.h),
// so every instantiation of a kernel computes the same bits.
#pragma once

#include "simd/float4.h"

namespace vardo {

// Eight lanes as two four-lane halves, each operation applied to both. It
// runs every kernel at the eight-lane width (the padding of twelve bands to
// sixteen lanes included); a build for wider registers can give it one
// register without any kernel noticing.
using Float8 = Lanes<PairOf<FourLanes>>;
using Mask8 = LaneMask<PairOf<FourLanes>>;

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
struct EightLanes;
using Avx8 = Lanes<EightLanes>;
using AvxMask8 = LaneMask<EightLanes>;
}  // namespace avx
namespace avx2 {
struct EightLanes;
using Avx8 = Lanes<EightLanes>;
using AvxMask8 = LaneMask<EightLanes>;
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
// compiled for AVX-512 (avx16.h), in its own namespace.
namespace avx512 {
struct SixteenLanes;
}  // namespace avx512
using Avx16 = Lanes<avx512::SixteenLanes>;
using AvxMask16 = LaneMask<avx512::SixteenLanes>;
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

}  // namespace vardo
