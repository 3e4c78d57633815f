// The building blocks of the signal chain. Each owns its state and starts
// silent; coefficient design stays outside the per-sample step. The
// second-order sections are in sections.h, their pipelined form in
// section_front.h.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "math/float_math.h"
#include "math/lane_transcendentals.h"
#include "primitives/sections.h"
#include "simd/lanes.h"

namespace vardo {

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

// First-order section: its previous input and previous output.
struct FirstOrderSection {
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
// input and output two samples back. A chain passes each section's output
// history on as the next section's input history, so the histories live
// with the chain, not the section.
struct AllpassSection {
  template <class V>
  [[gnu::always_inline]] static V step(V x, V outputTwoBack, V a, V inputTwoBack) {
    return (x + outputTwoBack) * a - inputTwoBack;
  }
};

// A chain of four such sections with its node values one and two samples
// back held in locals (registers) for a pass over a run, on any lane type.
// Node 0 is the chain input, node k the output of section k; each section's
// input history is the previous section's output history.
template <class V>
struct AllpassChain {
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
      const V y = AllpassSection::step(x, two[k + 1], coeffs[k], two[k]);
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
struct RingDelay {
  static_assert((Size & (Size - 1)) == 0, "ring sizes are powers of two");
  static constexpr std::uint32_t kMask = Size - 1;
  float data[Size] = {};

  void write(std::uint32_t n, float v) { data[n & kMask] = v; }
  float read(std::uint32_t n, std::uint32_t lag) const { return data[(n - lag) & kMask]; }
};

// A power-of-two ring of rows of Width floats, one per lane, indexed by the
// sample counter like RingDelay. Built, it leaves its rows as the memory holds them.
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
