// The building blocks of the signal chain. Each owns its state and starts
// silent; coefficient design stays outside the per-sample step. Where a stage
// fixes a particular order of operations it writes the output form itself
// from the state these blocks expose.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "math/float_math.h"
#include "math/lane_transcendentals.h"
#include "simd/lanes.h"

namespace vardo {

// Feedback half of a direct-form-II second-order section, normalised by g = 1/a0.
struct SectionCoeffs {
  float g = 0.0f;
  float a1 = 0.0f;
  float a2 = 0.0f;
};

// Butterworth-style pole pair: g = 1/((K + d)K + 1), a1 = 2(1 - K^2), a2 = (K - d)K + 1.
inline SectionCoeffs butterworthPoles(float k, float damping) {
  SectionCoeffs c;
  c.g = 1.0f / ((k + damping) * k + 1.0f);
  c.a1 = 2.0f * (1.0f - k * k);
  c.a2 = (k - damping) * k + 1.0f;
  return c;
}

// The direct-form-II steps of a second-order section on any lane type, with
// w1 and w2 its recursion values one and two samples back:
// the feedback half w = x - (a1 w1 + a2 w2) g,
template <class V>
inline V sectionFeed(V x, V w1, V w2, V a1, V a2, V g) {
  return x - (a1 * w1 + a2 * w2) * g;
}
// the raw Butterworth lowpass numerator w + 2 w1 + w2,
template <class V>
inline V lowpassNumerator(V w, V w1, V w2) {
  return w + splat<V>(2.0f) * w1 + w2;
}
// and the raw Butterworth highpass numerator (w + w2) K^2 + w1 (-2 K^2).
template <class V>
inline V highpassNumerator(V w, V w1, V w2, V kSquared, V minusTwoKSquared) {
  return (w + w2) * kSquared + w1 * minusTwoKSquared;
}

// State of a second-order section: the recursion values one and two samples back.
struct SectionState {
  float w1 = 0.0f;
  float w2 = 0.0f;

  float feed(float x, const SectionCoeffs& c) const { return sectionFeed(x, w1, w2, c.a1, c.a2, c.g); }
  float lowpassNumerator(float w) const { return vardo::lowpassNumerator(w, w1, w2); }
  float highpassNumerator(float w, float kSquared, float minusTwoKSquared) const {
    return vardo::highpassNumerator(w, w1, w2, kSquared, minusTwoKSquared);
  }
  void shift(float w) {
    w2 = w1;
    w1 = w;
  }
};

// Second-order section with a pair of zeros on the unit circle (prototype
// numerator n2 s^2 + n0, no s term), so b0 = b2. Used by the elliptic filters.
struct ZeroPairCoeffs {
  SectionCoeffs poles;
  float b0 = 0.0f;  // = b2
  float b1 = 0.0f;
};

// Bilinear design of (n2 s^2 + n0) / (s^2 + d1 s + d0) with K = 1 / tan(pi f / fs):
// a0 = (K + d1)K + d0, a1 = 2(d0 - K^2), a2 = (K - d1)K + d0,
// b0 = b2 = n2 K^2 + n0, b1 = 2(n0 - n2 K^2).
inline ZeroPairCoeffs zeroPairSection(float k, float n2, float n0, float d1, float d0) {
  const float kSquared = k * k;
  ZeroPairCoeffs c;
  c.poles.g = 1.0f / ((k + d1) * k + d0);
  c.poles.a1 = 2.0f * (d0 - kSquared);
  c.poles.a2 = (k - d1) * k + d0;
  c.b0 = n2 * kSquared + n0;
  c.b1 = 2.0f * (n0 - n2 * kSquared);
  return c;
}

// One step of a zero-pair section: w = x - (a2 w2 + a1 w1) g,
// y = ((w + w2) b0 + w1 b1) g.
inline float zeroPairStep(SectionState& s, float x, const ZeroPairCoeffs& c) {
  const float w = x - (c.poles.a2 * s.w2 + c.poles.a1 * s.w1) * c.poles.g;
  const float y = ((w + s.w2) * c.b0 + s.w1 * c.b1) * c.poles.g;
  s.shift(w);
  return y;
}

// Peaking equaliser section: prototype (s^2 + bn s + 1) / (s^2 + bd s + 1).
// Its b1 equals a1.
struct PeakingCoeffs {
  SectionCoeffs poles;
  float b0 = 0.0f;
  float b2 = 0.0f;
};

// g = 1/((bd + K)K + 1), a1 = 2(1 - K^2), a2 = (K - bd)K + 1,
// b0 = (bn + K)K + 1, b2 = (K - bn)K + 1.
inline PeakingCoeffs peakingSection(float k, float bn, float bd) {
  PeakingCoeffs c;
  c.poles.g = 1.0f / ((bd + k) * k + 1.0f);
  c.poles.a1 = 2.0f * (1.0f - k * k);
  c.poles.a2 = (k - bd) * k + 1.0f;
  c.b0 = (bn + k) * k + 1.0f;
  c.b2 = (k - bn) * k + 1.0f;
  return c;
}

// w = x - (a2 w2 + a1 w1) g; y = (b2 w2 + a1 w1 + b0 w) g.
inline float peakingStep(SectionState& s, float x, const PeakingCoeffs& c) {
  const float w = x - (c.poles.a2 * s.w2 + c.poles.a1 * s.w1) * c.poles.g;
  const float y = (c.b2 * s.w2 + c.poles.a1 * s.w1 + c.b0 * w) * c.poles.g;
  s.shift(w);
  return y;
}

// Terms of a first-order bilinear section at one corner, T = tan(pi f / fs), K = 1/T.
struct FirstOrderCoeffs {
  float k = 0.0f;
  float oneMinusK = 0.0f;     // 1 - K
  float invKPlusOne = 0.0f;   // 1 / (K + 1)
  float highpassB1 = 0.0f;    // -1 / (1 + T), the highpass weight of the previous input
};

inline FirstOrderCoeffs firstOrderSection(float tangent) {
  FirstOrderCoeffs c;
  c.k = 1.0f / tangent;
  c.oneMinusK = 1.0f - c.k;
  c.invKPlusOne = 1.0f / (c.k + 1.0f);
  c.highpassB1 = -1.0f / (1.0f + tangent);
  return c;
}

// First-order section state: previous input and previous output.
struct FirstOrderState {
  float x1 = 0.0f;
  float y1 = 0.0f;

  // y = (x1 - y1 (1 - K) + x) (1 / (K + 1))
  float lowpass(float x, const FirstOrderCoeffs& c) {
    const float y = (x1 - y1 * c.oneMinusK + x) * c.invKPlusOne;
    x1 = x;
    y1 = y;
    return y;
  }
  // y = x1 (-1 / (1 + T)) + (x K - (1 - K) y1) (1 / (K + 1))
  float highpass(float x, const FirstOrderCoeffs& c) {
    const float y = x1 * c.highpassB1 + (x * c.k - c.oneMinusK * y1) * c.invKPlusOne;
    x1 = x;
    y1 = y;
    return y;
  }
};

// One second-order allpass section with only the two-sample terms,
// y = (x + y'') a - x'', on any lane type: x'' and y'' are the section's
// input and output two samples back.
template <class V>
inline V allpassStep(V x, V outputTwoBack, V a, V inputTwoBack) {
  return (x + outputTwoBack) * a - inputTwoBack;
}

// Node histories of a chain of second-order allpass sections
// y = (x + y'') a - x''. Node 0 is the chain input, node k the output of
// section k; each section's input history is the previous section's output
// history.
template <int Sections>
struct AllpassChain {
  float one[Sections + 1] = {};  // node values one sample back
  float two[Sections + 1] = {};  // node values two samples back
};

// A chain of four such sections with its node values one and two samples
// back held in locals (registers) for a pass over a run, on any lane type.
template <class V>
struct AllpassHistories {
  static constexpr int kNodes = 5;  // chain input and four section outputs
  V one[kNodes];
  V two[kNodes];

  // One sample through the chain; the histories move on by the sample.
  [[gnu::always_inline]] V process(V in, const float (&coeffs)[kNodes - 1]) {
    V laneCoeffs[kNodes - 1];
    for (int k = 0; k < kNodes - 1; ++k) laneCoeffs[k] = splat<V>(coeffs[k]);
    return processLanes(in, laneCoeffs);
  }
  // The same with a coefficient for each lane.
  [[gnu::always_inline]] V processLanes(V in, const V (&coeffs)[kNodes - 1]) {
    V x = in;
    for (int k = 0; k < kNodes - 1; ++k) {
      const V y = allpassStep(x, two[k + 1], coeffs[k], two[k]);
      two[k] = one[k];
      one[k] = x;
      x = y;
    }
    two[kNodes - 1] = one[kNodes - 1];
    one[kNodes - 1] = x;
    return x;
  }
};

// Coefficients of the quadrature allpass pair: branch A one sample late and
// branch B are roughly 90 degrees apart over the audio band.
inline constexpr float kQuadratureA[4] = {0.6923878f, 0.93606544f, 0.9882295f, 0.99874884f};
inline constexpr float kQuadratureB[4] = {0.40219212f, 0.8561711f, 0.97229093f, 0.9952885f};

// A power-of-two ring indexed by the DSP-wide sample counter.
template <int Size>
struct Ring {
  static_assert((Size & (Size - 1)) == 0, "ring sizes are powers of two");
  static constexpr std::uint32_t kMask = Size - 1;
  float data[Size] = {};

  void write(std::uint32_t n, float v) { data[n & kMask] = v; }
  float read(std::uint32_t n, std::uint32_t lag) const { return data[(n - lag) & kMask]; }
};

// A power-of-two ring of rows of Width floats, one per lane, indexed by the
// sample counter like Ring. Built, it leaves its rows as the memory holds them.
template <int Size, int Width>
struct LaneRing {
  static_assert((Size & (Size - 1)) == 0, "ring sizes are powers of two");
  static constexpr std::uint32_t kMask = Size - 1;
  alignas(kLaneAlign) float rows[Size][Width];

  float* row(std::uint32_t n) { return rows[n & kMask]; }
  const float* row(std::uint32_t n) const { return rows[n & kMask]; }
};

// The same with each row kept twice, Size rows apart, so that the Size
// newest rows always lie in one run of the table, ending at the newest one's
// upper copy.
template <int Size, int Width>
struct MirroredLaneRing {
  static_assert((Size & (Size - 1)) == 0, "ring sizes are powers of two");
  static constexpr std::uint32_t kMask = Size - 1;
  alignas(kLaneAlign) float rows[2 * Size][Width];

  float* lower(std::uint32_t n) { return rows[n & kMask]; }
  float* upper(std::uint32_t n) { return rows[(n & kMask) + Size]; }
};

// Two recursions over count samples, the second kLag samples behind the
// first, in one loop so that they overlap: first(i) runs alone for the lead,
// both(i) does first(i) and second(i - kLag), second(i) runs alone at the end.
template <int kLag, class First, class Both, class Second>
[[gnu::always_inline]] inline void leadLagLoop(int count, First first, Both both, Second second) {
  const int lead = count < kLag ? count : kLag;
  for (int i = 0; i < lead; ++i) first(i);
  for (int i = kLag; i < count; ++i) both(i);
  for (int i = count - lead; i < count; ++i) second(i);
}

// One-pole smoothing y = q x + p y1 (q = 1 - p), on any lane type.
template <class V>
inline V smoothed(V q, V x, V p, V y1) {
  return q * x + p * y1;
}

// Peak follower y = max(x, q x + p y1): instant attack, release with pole p
// (q = 1 - p), on any lane type.
template <class V>
inline V peakFollowed(V x, V q, V p, V y1) {
  return laneMax(x, q * x + p * y1);
}

// A peak follower (pole p, input weight q) and a one-pole smoother after it
// (pole ps, input weight qs), their states kept at `peak` and `level`, on any
// lane type. Returns the smoothed level.
template <class V>
inline V followAndSmooth(V x, V q, V p, float* peak, V qs, V ps, float* level) {
  const V followed = peakFollowed(x, q, p, load<V>(peak));
  store(peak, followed);
  const V smoothedLevel = smoothed(qs, followed, ps, load<V>(level));
  store(level, smoothedLevel);
  return smoothedLevel;
}

// First-order lowpass from its bilinear terms: y = (x + x1 - (1 - K) y1) / (1 + K)
// with feedback = 1 - K and scale = 1 / (1 + K), on any lane type.
template <class V>
inline V firstOrderLowpass(V x, V x1, V y1, V feedback, V scale) {
  return (x + x1 - feedback * y1) * scale;
}

// y = y1 p + x (1 - p), with the attack pole while the input is at or above
// the previous output and the release pole while it is below.
struct AttackReleaseFollower {
  float y1 = 0.0f;
  float process(float x, float attack, float release) {
    const float p = y1 <= x ? attack : release;
    const float y = y1 * p + x * (1.0f - p);
    y1 = y;
    return y;
  }
};

// True when none of the floats stored in the `size` bytes from `data` on is
// infinite or NaN. Tests the exponent bits without a branch per value, so a
// check over a whole stage's state stays one short vectorised pass.
inline bool floatBytesFinite(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::uint32_t nonFinite = 0;
  for (std::size_t at = 0; at + sizeof(float) <= size; at += sizeof(float)) {
    std::uint32_t bits;
    std::memcpy(&bits, bytes + at, sizeof bits);
    nonFinite |= static_cast<std::uint32_t>((bits & 0x7F800000u) == 0x7F800000u);
  }
  return nonFinite == 0;
}

inline bool floatsFinite(const float* values, std::size_t count) {
  return floatBytesFinite(values, count * sizeof(float));
}

// The same over an object made of floats only: a state struct or an array of any rank.
template <typename Floats>
bool floatsFinite(const Floats& object) {
  static_assert(!std::is_pointer_v<Floats>, "a pointer takes a count");
  static_assert(std::is_trivially_copyable_v<Floats> && sizeof(Floats) % sizeof(float) == 0,
                "an object made of floats");
  return floatBytesFinite(&object, sizeof(Floats));
}

// The same on lanes V, over `rows` rows of `length` floats (a whole number
// of V each) from `values` on, asking only the lanes whose `inUse` entry is
// 1: the padding of wide lanes may hold anything.
template <class V>
bool lanesFinite(const float* values, const float* inUse, int length, int rows = 1) {
  const V zero = splat<V>(0.0f);
  V bad = zero;
  for (int row = 0; row < rows; ++row, values += length) {
    for (int k = 0; k < length; k += kLaneWidth<V>) {
      // x - x is 0 for every finite x and NaN otherwise.
      const V x = load<V>(values + k);
      const auto fine = eitherMask(equal(x - x, zero), greater(splat<V>(0.5f), load<V>(inUse + k)));
      bad = select(fine, bad, splat<V>(1.0f));
    }
  }
  return allLanes(equal(bad, zero));
}

}  // namespace vardo
