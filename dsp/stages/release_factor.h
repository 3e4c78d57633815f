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

template <class V>
struct ReleaseCandidates;

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

  // Several lanes: the quick exponential, which gives the library's floats.
  // (Looking for the kept arguments first costs more than it saves: lanes
  // mix freely between them and the rest, and the branch is a coin toss.)
  template <class V>
  [[gnu::always_inline]] V operator()(V arg) const {
    return quickExp(arg);
  }

  // The factor of release state `state`.
  float factor(float state) const {
    return (*this)(releaseArgument(fMinusPeriod, state, fBase));
  }

  // The candidates of the sample after the one whose release state is
  // `state` (decay pole p, q = 1 - p).
  template <class V>
  ReleaseCandidates<V> candidates(V state, V q, V p) const;

 private:
  // The factor of release state `state` on several lanes, by the general
  // way.
  template <class V>
  V factorAnyway(V state) const;

 public:

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

// An adaptive follower's release state and factor, sample by sample, for
// lanes V. Wide lanes keep the next sample's candidates, so that the
// exponential runs beside the envelope's recursion instead of inside it; a
// single lane, the plain reference, computes the state and then its factor.
// Both give the same values.
template <class V>
class ReleaseStep {
 public:
  // Starts from the release state `state` of a follower with factor
  // `factor` and decay pole p (q = 1 - p).
  [[gnu::always_inline]] void start(const ReleaseFactor& factor, V q, V p, V state) {
    if constexpr (kLaneWidth<V> > 1) fNext = factor.candidates(state, q, p);
  }

  // The release state after a sample whose input is `input`, against the
  // previous sample's envelope `envelope` and release state `state`, and its
  // release factor; the same follower as at the start.
  [[gnu::always_inline]] void operator()(const ReleaseFactor& factor, V q, V p, V input,
                                         V envelope, V& state, V& stateFactor) {
    if constexpr (kLaneWidth<V> > 1) {
      state = fNext.state(input, envelope);
      stateFactor = fNext.factor(input, envelope);
      fNext = factor.candidates(state, q, p);
    } else {
      state = releaseState(input, envelope, q, p, state);
      stateFactor = factor.factor(state);
    }
  }

 private:
  struct Nothing {};
  [[no_unique_address]] std::conditional_t<(kLaneWidth<V> > 1), ReleaseCandidates<V>, Nothing>
      fNext{};
};

template <class V>
[[gnu::always_inline]] inline ReleaseCandidates<V> ReleaseFactor::candidates(V state, V q,
                                                                            V p) const {
  const V riseState = peakFollowed(splat<V>(1.0f), q, p, state);
  const V fallState = peakFollowed(splat<V>(0.0f), q, p, state);
  // The usual case in one straight line: every rise state exactly 1 (the
  // kept rise factor), and every fall factor from the single-precision
  // exponential with a clear rounding. Anything else, rarely, takes the
  // general way out of line.
  V riseFactor = splat<V>(fRise.value);
  if (!allLanes(equal(riseState, splat<V>(1.0f)))) [[unlikely]] {
    riseFactor = factorAnyway(riseState);
  }
  V fallFactor;
  if (!quickExpClearly(releaseArgument(splat<V>(fMinusPeriod), fallState, splat<V>(fBase)),
                       fallFactor)) [[unlikely]] {
    fallFactor = factorAnyway(fallState);
  }
  return {riseState, fallState, riseFactor, fallFactor};
}

template <class V>
[[gnu::noinline]] V ReleaseFactor::factorAnyway(V state) const {
  // A state at or below 0.5 (NaN excluded) has the kept steady factor.
  if (allLanes(greaterEqual(splat<V>(0.5f), state))) return splat<V>(fSteady.value);
  return (*this)(releaseArgument(splat<V>(fMinusPeriod), state, splat<V>(fBase)));
}

}  // namespace vardo
