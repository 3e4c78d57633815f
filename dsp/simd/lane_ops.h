// The lane operations, written once for every lane type over a small set of
// per-instruction-set primitives. A lane type is Lanes<P>: P names the
// register (P::Reg), the comparison result (P::MaskReg), the width and these
// static functions, each the IEEE single-precision operation of the scalar
// code applied lane by lane:
//
//   load(p) store(p, a) splat(x)          kWidth consecutive floats
//   add sub mul div neg abs sqrt          neg flips, abs clears the sign bit only
//   max(a, b) min(a, b)                   std::max / std::min: a < b ? b : a,
//                                         b < a ? b : a (which operand wins on
//                                         a tie or a NaN matters)
//   greater greaterEqual equal            ordered: false wherever a NaN takes part
//   either both                           mask or / and
//   bits(mask)                            one bit per lane, lane 0 lowest
//   select(mask, a, b)                    mask ? a : b
//
// A new instruction set adds only such a P (and, for the quick
// transcendentals, its DoubleLanes<P>: see math/quick_transcendentals.h). Every lane type
// of a unit compiled for a wider instruction set has its P in that unit's
// own namespace, so every template instantiated on it carries the
// namespace in its name and none can be merged with another unit's copy.
#pragma once

#include <algorithm>
#include <cmath>

namespace vardo {

template <class P>
struct Lanes {
  using Primitives = P;
  typename P::Reg v;
};
// The lanes where a comparison held.
template <class P>
struct LaneMask {
  using Primitives = P;
  typename P::MaskReg v;
};

template <class P>
inline Lanes<P> operator+(Lanes<P> a, Lanes<P> b) {
  return {P::add(a.v, b.v)};
}
template <class P>
inline Lanes<P> operator-(Lanes<P> a, Lanes<P> b) {
  return {P::sub(a.v, b.v)};
}
template <class P>
inline Lanes<P> operator*(Lanes<P> a, Lanes<P> b) {
  return {P::mul(a.v, b.v)};
}
template <class P>
inline Lanes<P> operator/(Lanes<P> a, Lanes<P> b) {
  return {P::div(a.v, b.v)};
}
template <class P>
inline Lanes<P> operator-(Lanes<P> a) {
  return {P::neg(a.v)};
}

// The adapters the stage kernels call, for a plain float (one lane) and for
// every lane type.
template <class V>
inline V load(const float* p) {
  return {V::Primitives::load(p)};
}
template <>
inline float load<float>(const float* p) {
  return *p;
}
template <class V>
inline V splat(float x) {
  return {V::Primitives::splat(x)};
}
template <>
inline float splat<float>(float x) {
  return x;
}
inline void store(float* p, float v) { *p = v; }
template <class P>
inline void store(float* p, Lanes<P> v) {
  P::store(p, v.v);
}

inline float laneMax(float a, float b) { return std::max(a, b); }
template <class P>
inline Lanes<P> laneMax(Lanes<P> a, Lanes<P> b) {
  return {P::max(a.v, b.v)};
}
inline float laneMin(float a, float b) { return std::min(a, b); }
template <class P>
inline Lanes<P> laneMin(Lanes<P> a, Lanes<P> b) {
  return {P::min(a.v, b.v)};
}
inline float laneAbs(float a) { return std::fabs(a); }
template <class P>
inline Lanes<P> laneAbs(Lanes<P> a) {
  return {P::abs(a.v)};
}
inline float laneSqrt(float a) { return std::sqrt(a); }
template <class P>
inline Lanes<P> laneSqrt(Lanes<P> a) {
  return {P::sqrt(a.v)};
}

inline bool greater(float a, float b) { return a > b; }
template <class P>
inline LaneMask<P> greater(Lanes<P> a, Lanes<P> b) {
  return {P::greater(a.v, b.v)};
}
inline bool greaterEqual(float a, float b) { return a >= b; }
template <class P>
inline LaneMask<P> greaterEqual(Lanes<P> a, Lanes<P> b) {
  return {P::greaterEqual(a.v, b.v)};
}
inline bool equal(float a, float b) { return a == b; }
template <class P>
inline LaneMask<P> equal(Lanes<P> a, Lanes<P> b) {
  return {P::equal(a.v, b.v)};
}
inline bool eitherMask(bool a, bool b) { return a || b; }
template <class P>
inline LaneMask<P> eitherMask(LaneMask<P> a, LaneMask<P> b) {
  return {P::either(a.v, b.v)};
}
template <class P>
inline LaneMask<P> bothMasks(LaneMask<P> a, LaneMask<P> b) {
  return {P::both(a.v, b.v)};
}
// One bit per lane, lane 0 lowest.
template <class P>
inline unsigned maskBits(LaneMask<P> mask) {
  return P::bits(mask.v);
}
// Whether the mask holds in every lane.
inline bool allLanes(bool mask) { return mask; }
template <class P>
inline bool allLanes(LaneMask<P> mask) {
  return P::bits(mask.v) == (1u << P::kWidth) - 1u;
}

// mask ? a : b, lane by lane.
inline float select(bool mask, float a, float b) { return mask ? a : b; }
template <class P>
inline Lanes<P> select(LaneMask<P> mask, Lanes<P> a, Lanes<P> b) {
  return {P::select(mask.v, a.v, b.v)};
}

// Two registers of P as one lane type of twice the width: every primitive
// applied to both halves.
template <class P>
struct PairOf {
  static constexpr int kWidth = 2 * P::kWidth;
  struct Reg {
    typename P::Reg lo, hi;
  };
  struct MaskReg {
    typename P::MaskReg lo, hi;
  };
  static Reg load(const float* p) { return {P::load(p), P::load(p + P::kWidth)}; }
  static void store(float* p, Reg a) {
    P::store(p, a.lo);
    P::store(p + P::kWidth, a.hi);
  }
  static Reg splat(float x) { return {P::splat(x), P::splat(x)}; }
#define VARDO_PAIR(Result, name, Arg)                                                      \
  static Result name(Arg a) { return {P::name(a.lo), P::name(a.hi)}; }                    \
  static Result name(Arg a, Arg b) { return {P::name(a.lo, b.lo), P::name(a.hi, b.hi)}; }
  VARDO_PAIR(Reg, add, Reg)
  VARDO_PAIR(Reg, sub, Reg)
  VARDO_PAIR(Reg, mul, Reg)
  VARDO_PAIR(Reg, div, Reg)
  VARDO_PAIR(Reg, neg, Reg)
  VARDO_PAIR(Reg, abs, Reg)
  VARDO_PAIR(Reg, sqrt, Reg)
  VARDO_PAIR(Reg, max, Reg)
  VARDO_PAIR(Reg, min, Reg)
  VARDO_PAIR(MaskReg, greater, Reg)
  VARDO_PAIR(MaskReg, greaterEqual, Reg)
  VARDO_PAIR(MaskReg, equal, Reg)
  VARDO_PAIR(MaskReg, either, MaskReg)
  VARDO_PAIR(MaskReg, both, MaskReg)
#undef VARDO_PAIR
  static unsigned bits(MaskReg m) { return P::bits(m.lo) | P::bits(m.hi) << P::kWidth; }
  static Reg select(MaskReg m, Reg a, Reg b) {
    return {P::select(m.lo, a.lo, b.lo), P::select(m.hi, a.hi, b.hi)};
  }
};

}  // namespace vardo
