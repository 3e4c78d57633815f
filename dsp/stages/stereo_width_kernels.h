// The stereo width stage's per-sample step, written once for every lane type.
// Included only where a lane type is instantiated.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "math/float_math.h"
#include "math/lane_transcendentals.h"
#include "primitives/primitives.h"
#include "simd/lanes.h"
#include "stereo_width.h"

namespace vardo {

// The tangent curve tan(z) where z > 0, with negative values (z between pi/2
// and pi) replaced by 0, and 0 where z is not positive. The tangent is taken
// of the argument as it is: above pi the curve repeats.
inline float tangentCurve(float z) {
  if (!(z > 0.0f)) return 0.0f;
  const float t = ftan(z);
  return t < 0.0f ? 0.0f : t;
}

// The same on several lanes with the quick tangent (lanes without a tangent
// take it of 1, for nothing).
template <class V>
[[gnu::always_inline]] inline V tangentCurve(V z) {
  const V zero = splat<V>(0.0f);
  const auto positive = greater(z, zero);
  const V t = quickTan(select(positive, z, splat<V>(1.0f)));
  return select(positive, select(greater(zero, t), zero, t), zero);
}

template <class V>
void StereoWidth<V>::clear() {
  static_assert(std::is_trivially_copyable_v<State>);
  std::memset(&fState, 0, sizeof fState);
}

template <class V>
bool StereoWidth<V>::stateFinite() const {
  return stateFinite(V{});
}

// The lanes of the mono bands and of the padding run along unused and are
// left out. One value at a time:
template <class V>
template <class W>
bool StereoWidth<V>::stateFinite(W) const {
  constexpr std::size_t kWidthBands = kBandCount - kMonoBandCount;
  const auto bands = [](const float* lanes) {
    return floatsFinite(lanes + kMonoBandCount, kWidthBands);
  };
  const auto components = [&](const float* lanes) {
    return bands(lanes) && bands(lanes + kDiffLane);
  };
  const State& st = fState;
  bool finite = true;
  for (int row = 0; row < 2; ++row) {
    for (int node = 0; node < QuadratureLanes<kLanes>::kNodes; ++node)
      finite = finite && components(st.pairs.a[row][node]) && components(st.pairs.b[row][node]);
  }
  return finite && components(st.release) && components(st.peak) && components(st.envelope) &&
         bands(st.upperPeak) && bands(st.upperLevel) && bands(st.lowerPeak) &&
         bands(st.lowerLevel) && bands(st.gate) && bands(st.gateLowpass) && bands(st.curve) &&
         bands(st.sideLowpass) && bands(st.sideGain);
}

// Wide lanes ask whole rows at once, the unused lanes masked.
template <class V>
template <class W>
  requires(kLaneWidth<W> > 1)
bool StereoWidth<V>::stateFinite(W) const {
  const State& st = fState;
  constexpr int kNodes = QuadratureLanes<kLanes>::kNodes;
  const float* components = kWidthComponentLanes.data();
  bool finite = lanesFinite<V>(&st.pairs.a[0][0][0], components, kLanes, 2 * kNodes) &
                lanesFinite<V>(&st.pairs.b[0][0][0], components, kLanes, 2 * kNodes) &
                lanesFinite<V>(st.release, components, kLanes) &
                lanesFinite<V>(st.peak, components, kLanes) &
                lanesFinite<V>(st.envelope, components, kLanes);
  for (const float* band : {st.upperPeak, st.upperLevel, st.lowerPeak, st.lowerLevel, st.gate,
                            st.gateLowpass, st.curve, st.sideLowpass, st.sideGain})
    finite = finite & lanesFinite<V>(band, kWidthLanes.data(), kBandLanes);
  return finite;
}

template <class V>
void StereoWidth<V>::processRun(int count, std::uint32_t, const BandOutputs* bands, float* sumA,
                                float* sumB) {
  for (int done = 0; done < count; done += kPiece) {
    const int piece = count - done < kPiece ? count - done : kPiece;
    processPiece(piece, bands + done, sumA + done, sumB + done);
  }
}

// A piece of the run goes through the stage in five passes, each over every
// sample of the piece before the next begins. Every pass carries only its
// own recursions from sample to sample, so the long per-sample chain of
// detector, exponential, levels and tangent becomes short loops whose
// samples the processor overlaps; each value is computed as before.
template <class V>
void StereoWidth<V>::processPiece(int count, const BandOutputs* bands, float* sumA, float* sumB) {
  alignas(kLaneAlign) LaneRows magnitude;
  alignas(kLaneAlign) LaneRows envelope;
  alignas(kLaneAlign) BandRows z;
  alignas(kLaneAlign) BandRows curve;
  componentMagnitudes(count, bands, magnitude);
  componentEnvelopes(count, magnitude, envelope);
  tangentArguments(count, envelope, z);
  tangentCurves(count, z, curve, V{});
  sideAndSums(count, bands, curve, sumA, sumB);
}

// Component magnitudes; lane m of each half is band m.
template <class V>
[[gnu::always_inline]] inline void StereoWidth<V>::componentMagnitudes(int count,
                                                                       const BandOutputs* bands,
                                                                       LaneRows& magnitude) {
  State& st = fState;
  for (int lane = 0; lane < kLanes; lane += kStep) {
    st.pairs.template magnitudes<V>(
        count, lane, st.parity, [&](int i) { return components(bands[i], lane); },
        [&](int i) { return magnitude[i] + lane; });
  }
  for (int i = 0; i < count; ++i) {
    for (int lane = kLanes; lane < kRowLanes; lane += kStep) {
      store(magnitude[i] + lane, splat<V>(0.0f));
    }
  }
  st.parity ^= static_cast<unsigned>(count) & 1u;
}

// The gained components of the lanes from `lane` on, read from the band
// rows as one run (gainedDiff follows gained).
template <class V>
[[gnu::always_inline]] inline V StereoWidth<V>::components(const BandOutputs& bands, int lane) {
  static_assert(offsetof(BandOutputs, gained) == 0 &&
                offsetof(BandOutputs, gainedDiff) == sizeof(float) * kBandSlots);
  return lanesOfHalves<V>(reinterpret_cast<const float*>(&bands), kBandSlots, lane, kDiffLane,
                          kDifferenceLanes.data());
}

// Component envelopes: release states, their release factors, adaptive
// release, then 1 ms smoothing. The mono bands' lanes and the padding get no
// exponential and a factor of 0.
template <class V>
[[gnu::always_inline]] inline void StereoWidth<V>::componentEnvelopes(int count,
                                                                      const LaneRows& magnitude,
                                                                      LaneRows& envelope) {
  State& st = fState;
  const WidthRateDesign& rc = fRate;
  // Vector stores may alias anything, so every constant the loops use is
  // taken into a local first.
  const V one = splat<V>(1.0f);
  const V zero = splat<V>(0.0f);
  const V riseDecayInput = splat<V>(rc.riseDecay.input);
  const V riseDecayPole = splat<V>(rc.riseDecay.pole);
  const V envelopeSmoothInput = splat<V>(rc.envelopeSmooth.input);
  const V envelopeSmoothPole = splat<V>(rc.envelopeSmooth.pole);
  const auto releaseFactor = ReleaseStep<V>::constants(rc.componentRelease);
  constexpr int kVectors = kLanes / kStep;
  const auto inWidthBand = [](int lane) { return lanesOfWidthBands(lane) > 0; };
  ReleaseStep<V> step[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    if (inWidthBand(v * kStep)) {
      step[v].start(releaseFactor, riseDecayInput, riseDecayPole,
                    load<V>(st.release + v * kStep));
    }
  }
  for (int i = 0; i < count; ++i) {
    // Unrolled, so that the followers' steps stay in registers.
#pragma GCC unroll 8
    for (int v = 0, lane = 0; v < kVectors; ++v, lane += kStep) {
      const V mag = load<V>(magnitude[i] + lane);
      const V envelopeBefore = load<V>(st.envelope + lane);
      V a = zero;
      if (inWidthBand(lane)) {
        V release = load<V>(st.release + lane);
        V factor;
        step[v](releaseFactor, riseDecayInput, riseDecayPole, mag, envelopeBefore, release,
                factor);
        store(st.release + lane, release);
        a = widthComponentsOnly(lane, factor);
      } else {
        store(st.release + lane, releaseState(mag, envelopeBefore, riseDecayInput, riseDecayPole,
                                              load<V>(st.release + lane)));
      }
      store(envelope[i] + lane,
            followAndSmooth(laneAbs(mag), one - a, a, st.peak + lane, envelopeSmoothInput,
                            envelopeSmoothPole, st.envelope + lane));
    }
    for (int lane = kLanes; lane < kRowLanes; lane += kStep) store(envelope[i] + lane, zero);
  }
}

// Upper and lower levels (0.4 s release, 30 ms smoothing), the gate that
// closes the side gain below an upper level of 1/1000 through a 10 Hz
// lowpass, and the argument of the tangent.
template <class V>
[[gnu::always_inline]] inline void StereoWidth<V>::tangentArguments(int count,
                                                                    const LaneRows& envelope,
                                                                    BandRows& z) {
  State& st = fState;
  const WidthRateDesign& rc = fRate;
  const V one = splat<V>(1.0f);
  const V offset = splat<V>(fBlock.offset);
  const V levelReleaseInput = splat<V>(rc.levelRelease.input);
  const V levelReleasePole = splat<V>(rc.levelRelease.pole);
  const V levelSmoothInput = splat<V>(rc.levelSmooth.input);
  const V levelSmoothPole = splat<V>(rc.levelSmooth.pole);
  const V lowpassFeedback = splat<V>(rc.lowpassFeedback);
  const V lowpassScale = splat<V>(rc.lowpassScale);
  for (int i = 0; i < count; ++i) {
    for (int b = 0; b < kBandLanes; b += kStep) {
      const V envSum = load<V>(envelope[i] + b);
      const V envDiff = load<V>(envelope[i] + kDiffLane + b);

      const V upper = laneMax(laneMax(envSum, envDiff), splat<V>(kUpperLevelFloor));
      const V upperLevel =
          followAndSmooth(upper, levelReleaseInput, levelReleasePole, st.upperPeak + b,
                          levelSmoothInput, levelSmoothPole, st.upperLevel + b);

      const V gate = laneMin(splat<V>(kGateScale) * upperLevel, one);
      const V gateLowpass = firstOrderLowpass(
          gate, load<V>(st.gate + b), load<V>(st.gateLowpass + b), lowpassFeedback, lowpassScale);
      store(st.gateLowpass + b, gateLowpass);
      store(st.gate + b, gate);

      const V lower = laneMax(laneMin(envSum, envDiff), splat<V>(kLowerLevelFloor));
      const V lowerLevel =
          followAndSmooth(lower, levelReleaseInput, levelReleasePole, st.lowerPeak + b,
                          levelSmoothInput, levelSmoothPole, st.lowerLevel + b);

      store(z[i] + b, (upperLevel * gateLowpass) / lowerLevel - offset);
    }
  }
}

// The tangent curve (0 in the mono bands and the padding), one value at a time.
template <class V>
template <class W>
[[gnu::always_inline]] inline void StereoWidth<V>::tangentCurves(int count, const BandRows& z,
                                                                 BandRows& curve, W) {
  for (int i = 0; i < count; ++i) {
    for (int b = 0; b < kBandLanes; ++b) {
      const bool widthBand = b >= kMonoBandCount && b < kBandCount;
      curve[i][b] = widthBand ? tangentCurve(z[i][b]) : 0.0f;
    }
  }
}

// Wide lanes: nothing carries from sample to sample here, so the width bands
// of the whole piece are laid side by side first: every lane of a tangent
// then has a band to work on, none a mono band or padding.
template <class V>
template <class W>
  requires(kLaneWidth<W> > 1)
[[gnu::always_inline]] inline void StereoWidth<V>::tangentCurves(int count, const BandRows& z,
                                                                 BandRows& curve, W) {
  constexpr int kWidthBands = kBandCount - kMonoBandCount;
  // The packed values from kMonoBandCount on, with room before them and
  // after them for the whole lane groups that read a sample's row.
  alignas(kLaneAlign) float run[kLaneAlign / sizeof(float) + roundUp(kPiece * kWidthBands, kStep) +
                                kBandLanes] = {};
  float* packed = run + kLaneAlign / sizeof(float);
  const int used = count * kWidthBands;
  const int evaluated = roundUp(used, kStep);
  for (int i = 0; i < count; ++i) packWidthBands(z[i], packed + i * kWidthBands);
  for (int k = used; k < evaluated; ++k) packed[k] = 0.0f;
  for (int k = 0; k < evaluated; k += kStep) store(packed + k, tangentCurve(load<V>(packed + k)));
  // Each sample's row back in band lanes, 0 outside the width bands.
  for (int i = 0; i < count; ++i) {
    for (int b = 0; b < kBandLanes; b += kStep) {
      const V values = load<V>(packed + i * kWidthBands + (b - kMonoBandCount));
      store(curve[i] + b, select(widthBandLanes(b), values, splat<V>(0.0f)));
    }
  }
}

// A sample's width bands side by side at `packed`: whole lane groups where
// they fit, the last one overlapping the one before; else one at a time.
template <class V>
[[gnu::always_inline]] inline void StereoWidth<V>::packWidthBands(const float* z, float* packed) {
  constexpr int kWidthBands = kBandCount - kMonoBandCount;
  if (kStep > kWidthBands) {
    for (int m = 0; m < kWidthBands; ++m) packed[m] = z[kMonoBandCount + m];
    return;
  }
  for (int m = 0; m < kWidthBands; m += kStep) {
    const int from = m + kStep <= kWidthBands ? m : kWidthBands - kStep;
    store(packed + from, load<V>(z + kMonoBandCount + from));
  }
}

// 10 Hz smoothing and the trim give the side gain; the side gain counts up to
// the width limit, and the unused part of the limit raises the band in both
// channels. The channel sums add the bands in ascending order.
template <class V>
[[gnu::always_inline]] inline void StereoWidth<V>::sideAndSums(int count, const BandOutputs* bands,
                                                               const BandRows& curve, float* sumA,
                                                               float* sumB) {
  State& st = fState;
  const V one = splat<V>(1.0f);
  const V zero = splat<V>(0.0f);
  const V trim = splat<V>(fBlock.trim);
  const V limit = splat<V>(fBlock.limit);
  const V lowpassFeedback = splat<V>(fRate.lowpassFeedback);
  const V lowpassScale = splat<V>(fRate.lowpassScale);
  for (int i = 0; i < count; ++i) {
    alignas(kLaneAlign) float termA[kBandLanes];
    alignas(kLaneAlign) float termB[kBandLanes];
    for (int b = 0; b < kBandLanes; b += kStep) {
      const V c = load<V>(curve[i] + b);
      const V sideLowpass = firstOrderLowpass(c, load<V>(st.curve + b), load<V>(st.sideLowpass + b),
                                              lowpassFeedback, lowpassScale);
      store(st.sideLowpass + b, sideLowpass);
      store(st.curve + b, c);
      const V trimmed = laneMax(sideLowpass * trim, zero);
      store(st.sideGain + b, trimmed);

      const V diffOut = load<V>(bands[i].diffOut + b);
      const auto belowLimit = greater(limit, trimmed);
      const V side = select(belowLimit, trimmed * diffOut, limit * diffOut);
      const V remainder = limit - trimmed;
      const V positiveRemainder = select(greater(remainder, zero), remainder, zero);
      const V unused = select(belowLimit, positiveRemainder, zero);
      const V factor = one + splat<V>(kUnusedLimitRaise) * unused;
      const V sumOut = load<V>(bands[i].sumOut + b);
      store(termA + b, (sumOut + side) * factor);
      store(termB + b, (sumOut - side) * factor);
    }
    float accA = 0.0f;
    float accB = 0.0f;
    for (int m = kMonoBandCount; m < kBandCount; ++m) {
      accA = accA + termA[m];
      accB = accB + termB[m];
    }
    sumA[i] = bands[i].mono + accA;
    sumB[i] = bands[i].mono + accB;
  }
}

}  // namespace vardo
