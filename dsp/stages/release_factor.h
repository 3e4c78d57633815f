// Release factor exp(-(1/fs) / (max(2 (s - 0.5), 0) + base)) of an adaptive
// peak follower, with the two values it takes most often kept from setRate.
//
// The release state s is exactly 1 on every sample with a rise and at or
// below 0.5 once the follower has been steady for a while; in both cases the
// argument of the exponential is one fixed float. Those two results are
// computed once by the very same call. One value at a time recognises the
// two arguments by their bits; lanes take the rise factor when every rise
// state is 1 and evaluate the rest with the quick exponential. Either way
// the result is the one calling the exponential every time gives.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <type_traits>

#include "math/float_math.h"
#include "math/lane_transcendentals.h"
#include "primitives/primitives.h"
#include "simd/float4.h"
#include "simd/lanes.h"

namespace vardo {

// Release state of an adaptive follower: 1 on every sample where the input
// rises above the follower's envelope, else decaying with pole p (q = 1 - p).
template <class V>
inline V releaseState(V input, V envelope, V q, V p, V state) {
  const V rise = select(greater(input, envelope), splat<V>(1.0f), splat<V>(0.0f));
  return peakFollowed(rise, q, p, state);
}

// The exponent -(1/fs) / (max(2 (s - 0.5), 0) + base) for release state s.
template <class V>
inline V releaseArgument(V minusPeriod, V state, V base) {
  return minusPeriod / (laneMax(splat<V>(2.0f) * (state - splat<V>(0.5f)), splat<V>(0.0f)) + base);
}

// A release factor's constants on lanes V: one follower's in every lane, or
// several followers' side by side, each lane its own.
template <class V>
struct ReleaseFactorLanes {
  V minusPeriod;
  V base;
  V riseFactor;    // the factor of release state 1
  V steadyFactor;  // the factor of a release state at or below 0.5
};

class ReleaseFactor {
 public:
  static float argument(float minusPeriod, float releaseState, float base) {
    return releaseArgument(minusPeriod, releaseState, base);
  }

  void setRate(float period, float base) {
    fMinusPeriod = -period;
    fBase = base;
    fRise = Entry::of(argument(fMinusPeriod, 1.0f, base));
    fSteady = Entry::of(argument(fMinusPeriod, 0.0f, base));
  }

  float operator()(float arg) const {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(arg);
    if (bits == fRise.bits) return fRise.value;
    if (bits == fSteady.bits) return fSteady.value;
    return fexp(arg);
  }

  // The factor of release state `state`.
  float factor(float state) const {
    return (*this)(releaseArgument(fMinusPeriod, state, fBase));
  }

  // The constants in every lane of V.
  template <class V>
  ReleaseFactorLanes<V> lanes() const {
    return {splat<V>(fMinusPeriod), splat<V>(fBase), splat<V>(fRise.value),
            splat<V>(fSteady.value)};
  }

 private:
  struct Entry {
    std::uint32_t bits = 0;
    float value = 1.0f;  // exp(0), for the zero argument before setRate
    static Entry of(float arg) { return {std::bit_cast<std::uint32_t>(arg), fexp(arg)}; }
  };
  float fMinusPeriod = 0.0f;
  float fBase = 1.0f;
  Entry fRise;
  Entry fSteady;
};

// Several followers' release factors side by side in rows of Lanes lanes.
template <int Lanes>
struct ReleaseFactorRows {
  alignas(kLaneAlign) float minusPeriod[Lanes] = {};
  alignas(kLaneAlign) float base[Lanes] = {};
  alignas(kLaneAlign) float riseFactor[Lanes] = {};
  alignas(kLaneAlign) float steadyFactor[Lanes] = {};

  void set(int lane, const ReleaseFactor& factor) {
    const ReleaseFactorLanes<float> c = factor.lanes<float>();
    minusPeriod[lane] = c.minusPeriod;
    base[lane] = c.base;
    riseFactor[lane] = c.riseFactor;
    steadyFactor[lane] = c.steadyFactor;
  }
  template <class V>
  ReleaseFactorLanes<V> at(int lane) const {
    return {load<V>(minusPeriod + lane), load<V>(base + lane), load<V>(riseFactor + lane),
            load<V>(steadyFactor + lane)};
  }
};

// The two states an adaptive follower's release state can take at the next
// sample, with a rise (riseState) and without (fallState), and their release
// factors. They depend on the current release state alone, so a follower
// that works out its next sample's candidates right after this sample's
// state no longer waits for the exponential between its envelope and its
// next rise decision: the decision only picks a candidate. Picking gives
// the very values releaseState and the factor give.
template <class V>
struct ReleaseCandidates {
  V riseState;
  V fallState;
  V riseFactor;
  V fallFactor;

  // The release state and factor of a sample whose input is `input`
  // against the previous sample's envelope `envelope`.
  V state(V input, V envelope) const {
    return select(greater(input, envelope), riseState, fallState);
  }
  V factor(V input, V envelope) const {
    return select(greater(input, envelope), riseFactor, fallFactor);
  }
};

// The factor of release state `state` on several lanes, by the general way:
// the quick exponential, which gives the library's floats.
template <class V>
[[gnu::noinline]] V releaseFactorAnyway(const ReleaseFactorLanes<V>& f, V state) {
  // A state at or below 0.5 (NaN excluded) has the kept steady factor.
  if (allLanes(greaterEqual(splat<V>(0.5f), state))) return f.steadyFactor;
  return quickExp(releaseArgument(f.minusPeriod, state, f.base));
}

// The candidates of the sample after the one whose release state is
// `state` (decay pole p, q = 1 - p).
template <class V>
[[gnu::always_inline]] inline ReleaseCandidates<V> releaseCandidates(
    const ReleaseFactorLanes<V>& f, V state, V q, V p) {
  const V riseState = peakFollowed(splat<V>(1.0f), q, p, state);
  const V fallState = peakFollowed(splat<V>(0.0f), q, p, state);
  // The usual case in one straight line: every rise state exactly 1 (the
  // kept rise factor), and every fall factor from the single-precision
  // exponential with a clear rounding. Anything else, rarely, takes the
  // general way out of line. (Looking for the kept steady argument first
  // costs more than it saves: lanes mix freely between it and the rest, and
  // the branch is a coin toss.)
  V riseFactor = f.riseFactor;
  if (!allLanes(equal(riseState, splat<V>(1.0f)))) [[unlikely]] {
    riseFactor = releaseFactorAnyway(f, riseState);
  }
  V fallFactor;
  if (!quickExpClearly(releaseArgument(f.minusPeriod, fallState, f.base), fallFactor))
      [[unlikely]] {
    fallFactor = releaseFactorAnyway(f, fallState);
  }
  return {riseState, fallState, riseFactor, fallFactor};
}

// An adaptive follower's release state and factor, sample by sample, for
// lanes V: one lane, the plain reference, computes the state and then its
// factor.
template <class V>
class ReleaseStep {
 public:
  // What the steps take of a release factor, best taken into a local before
  // a loop: here the factor itself.
  static ReleaseFactor constants(const ReleaseFactor& factor) { return factor; }

  // Starts from the release state `state` of a follower with factor
  // `factor` and decay pole p (q = 1 - p).
  void start(const ReleaseFactor&, V, V, V) {}

  // The release state after a sample whose input is `input`, against the
  // previous sample's envelope `envelope` and release state `state`, and its
  // release factor; the same follower as at the start.
  [[gnu::always_inline]] void operator()(const ReleaseFactor& factor, V q, V p, V input,
                                         V envelope, V& state, V& stateFactor) {
    state = releaseState(input, envelope, q, p, state);
    stateFactor = factor.factor(state);
  }
};

// Wide lanes keep the next sample's candidates, so that the exponential runs
// beside the envelope's recursion instead of inside it. Both give the same
// values. The factor's constants may differ from lane to lane.
template <class V>
  requires(kLaneWidth<V> > 1)
class ReleaseStep<V> {
 public:
  // Here its constants in every lane.
  static ReleaseFactorLanes<V> constants(const ReleaseFactor& factor) {
    return factor.lanes<V>();
  }

  [[gnu::always_inline]] void start(const ReleaseFactorLanes<V>& factor, V q, V p, V state) {
    fNext = releaseCandidates(factor, state, q, p);
  }

  [[gnu::always_inline]] void operator()(const ReleaseFactorLanes<V>& factor, V q, V p, V input,
                                         V envelope, V& state, V& stateFactor) {
    state = fNext.state(input, envelope);
    stateFactor = fNext.factor(input, envelope);
    fNext = releaseCandidates(factor, state, q, p);
  }

 private:
  ReleaseCandidates<V> fNext{};
};

}  // namespace vardo
