// Release factor exp(-(1/fs) / (max(2 (s - 0.5), 0) + base)) of an adaptive
// peak follower, with the two values it takes most often kept from setRate.
//
// The release state s is exactly 1 on every sample with a rise and at or
// below 0.5 once the follower has been steady for a while; in both cases the
// argument of the exponential is one fixed float. Those two results are
// computed once by the very same call; any other argument is evaluated per
// sample by the quick exponential. Recognising an argument by its bits makes
// the result identical to calling the exponential every time.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "../float4.h"
#include "../float_math.h"
#include "../lanes.h"
#include "../primitives.h"
#include "../quick_transcendentals.h"

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

  // Several lanes: when every lane sits at one of the two kept arguments
  // (equal arguments give equal exponentials), the kept values; else the
  // quick exponential, which gives the library's floats, on all of them.
  template <class V>
  [[gnu::always_inline]] V operator()(V arg) const {
    const auto rise = equal(arg, splat<V>(fRise.arg));
    if (allLanes(eitherMask(rise, equal(arg, splat<V>(fSteady.arg))))) {
      return select(rise, splat<V>(fRise.value), splat<V>(fSteady.value));
    }
    return quickExp(arg);
  }

  // The factor of release state `state`.
  template <class V>
  V factor(V state) const {
    return (*this)(releaseArgument(splat<V>(fMinusPeriod), state, splat<V>(fBase)));
  }

 private:
  struct Entry {
    std::uint32_t bits = 0;
    float arg = 0.0f;
    float value = 1.0f;  // exp(0), for the zero argument before setRate
    static Entry of(float arg) { return {std::bit_cast<std::uint32_t>(arg), arg, fexp(arg)}; }
  };
  float fMinusPeriod = 0.0f;
  float fBase = 1.0f;
  Entry fRise;
  Entry fSteady;
};

}  // namespace vardo
