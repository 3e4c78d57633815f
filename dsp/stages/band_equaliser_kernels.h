// The band equaliser's per-sample step, written once for every lane type.
// Included only where a lane type is instantiated.
#pragma once

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "../lanes.h"
#include "../primitives.h"
#include "band_equaliser.h"

namespace vardo {

template <class V>
void BandEqualiser<V>::clear() {
  // The state is hundreds of kilobytes of floats: zero it in place.
  static_assert(std::is_trivially_copyable_v<State>);
  std::memset(&fState, 0, sizeof fState);
}

template <class V>
bool BandEqualiser<V>::stateFinite() const {
  // The rings and delay lines only pass values on; whatever they hold that is
  // not finite came from, or reaches, the recursions asked here. The padding
  // lanes are left out.
  const State& st = fState;
  const auto components = [](const float* lanes) {
    return floatsFinite(lanes, kBandCount) && floatsFinite(lanes + kDiffLane, kBandCount);
  };
  bool finite = true;
  for (int row = 0; row < 2; ++row) {
    for (int section = 0; section < kSections; ++section)
      finite = finite && components(st.filterW[row][section]);
    for (int node = 0; node < QuadratureLanes<kLanes>::kNodes; ++node)
      finite = finite && components(st.pairs.a[row][node]) && components(st.pairs.b[row][node]);
  }
  for (const float* band : {st.fastRelease, st.fastPeak, st.fastEnvelope, st.slowRelease,
                            st.slowPeak, st.slowEnvelope, st.numeratorPeak, st.numerator, st.gain,
                            st.peakMagnitude, st.heldLevel})
    finite = finite && floatsFinite(band, kBandCount);
  return finite;
}

template <class V>
void BandEqualiser<V>::processRun(int count, std::uint32_t n, const float* x, const float* d,
                                  BandOutputs* out) {
  for (int i = 0; i < count; ++i) processSample(x[i], d[i], n + static_cast<std::uint32_t>(i), out[i]);
}

template <class V>
void BandEqualiser<V>::processSample(float x, float d, std::uint32_t n, BandOutputs& out) {
  State& st = fState;
  const BandRateDesign& rc = fRate;
  const float sum = x + d;
  const float diff = x - d;

  // Band filters, band rings and quadrature magnitudes: the sum lanes and
  // the difference lanes of the same bands per pass, sharing the coefficients.
  float* ringNow = st.bandRing[n & 255];
  const unsigned parity = st.parity;
  float (&older)[kSections][kLanes] = st.filterW[parity];            // w2, then w
  const float (&newer)[kSections][kLanes] = st.filterW[parity ^ 1];  // w1
  alignas(kLaneAlign) float magnitude[kLanes];
  for (int b = 0; b < kBandLanes; b += kStep) {
    const V lowA1 = load<V>(rc.lowA1 + b);
    const V lowA2 = load<V>(rc.lowA2 + b);
    const V lowG = load<V>(rc.lowG + b);
    const V kSq = load<V>(rc.lowKSquared + b);
    const V minusTwoKSq = load<V>(rc.lowMinusTwoKSquared + b);
    const V highA1 = load<V>(rc.highA1 + b);
    const V highA2 = load<V>(rc.highA2 + b);
    const V highG = load<V>(rc.highG + b);
    for (int lane : {b, kDiffLane + b}) {
      V y = splat<V>(lane < kDiffLane ? sum : diff);
      // Two highpass sections at the lower edge.
      for (int i = 0; i < 2; ++i) {
        const V w1 = load<V>(newer[i] + lane);
        const V w2 = load<V>(older[i] + lane);
        const V w = sectionFeed(y, w1, w2, lowA1, lowA2, lowG);
        y = highpassNumerator(w, w1, w2, kSq, minusTwoKSq) * lowG;
        store(older[i] + lane, w);
      }
      // Lowpass at the upper edge, then the second one's raw numerator.
      {
        const V w1 = load<V>(newer[2] + lane);
        const V w2 = load<V>(older[2] + lane);
        const V w = sectionFeed(y, w1, w2, highA1, highA2, highG);
        y = lowpassNumerator(w, w1, w2) * highG;
        store(older[2] + lane, w);
      }
      const V w1 = load<V>(newer[3] + lane);
      const V w2 = load<V>(older[3] + lane);
      const V w = sectionFeed(y, w1, w2, highA1, highA2, highG);
      const V u = lowpassNumerator(w, w1, w2);
      store(older[3] + lane, w);
      store(ringNow + lane, u);

      // Quadrature pair on the negated, normalised band value.
      store(magnitude + lane, st.pairs.magnitude(-(highG * u), lane, parity));
    }
  }
  st.parity = parity ^ 1;

  // Peak and hold, then the arguments of the two release factors.
  const V one = splat<V>(1.0f);
  // Vector stores may alias anything, so every constant the loops use is
  // taken into a local first.
  const V minusPeriod = splat<V>(rc.minusPeriod);
  const V threshold = splat<V>(fBlock.threshold);
  const V densityLimit = splat<V>(fBlock.densityLimit);
  const V riseDecayInput = splat<V>(rc.riseDecay.input);
  const V riseDecayPole = splat<V>(rc.riseDecay.pole);
  const V slowRiseDecayInput = splat<V>(rc.slowRiseDecay.input);
  const V slowRiseDecayPole = splat<V>(rc.slowRiseDecay.pole);
  const V fastSmoothInput = splat<V>(rc.fastSmooth.input);
  const V fastSmoothPole = splat<V>(rc.fastSmooth.pole);
  const V numeratorSmoothInput = splat<V>(rc.numeratorSmooth.input);
  const V numeratorSmoothPole = splat<V>(rc.numeratorSmooth.pole);
  // Each hold entry is written twice, 64 rows apart, so that the 44 newest
  // rows always lie in one run of the table, ending at the newest.
  float* holdNow = st.hold[(n & 63) + 64];
  float* holdNowLow = st.hold[n & 63];
  alignas(kLaneAlign) float held[kBandLanes];
  alignas(kLaneAlign) float fastArg[kBandLanes];
  alignas(kLaneAlign) float slowArg[kBandLanes];
  static_assert(kHoldWindow % 4 == 0, "the window is read four taps at a time");
  for (int b = 0; b < kBandLanes; b += kStep) {
    const V peak = laneMax(load<V>(magnitude + b), load<V>(magnitude + kDiffLane + b));
    store(st.peakMagnitude + b, peak);
    const V entry = laneMax(peak, threshold);
    store(holdNow + b, entry);
    store(holdNowLow + b, entry);

    // Window maximum over lags 0 ... 43 in four running maxima (lags 4j,
    // 4j + 1, 4j + 2, 4j + 3), joined pairwise at the end.
    const float* lag0 = holdNow + b;
    V m0 = load<V>(lag0);
    V m1 = load<V>(lag0 - 1 * kBandLanes);
    V m2 = load<V>(lag0 - 2 * kBandLanes);
    V m3 = load<V>(lag0 - 3 * kBandLanes);
    for (int lag = 4; lag < kHoldWindow; lag += 4) {
      m0 = laneMax(m0, load<V>(lag0 - lag * kBandLanes));
      m1 = laneMax(m1, load<V>(lag0 - (lag + 1) * kBandLanes));
      m2 = laneMax(m2, load<V>(lag0 - (lag + 2) * kBandLanes));
      m3 = laneMax(m3, load<V>(lag0 - (lag + 3) * kBandLanes));
    }
    const V h = laneMax(laneMax(m0, m1), laneMax(m2, m3));
    store(held + b, h);
    store(st.heldLevel + b, h);

    // Release states, then the exponents of the adaptive release factors.
    const V fastRelease = releaseState(h, load<V>(st.fastEnvelope + b), riseDecayInput,
                                       riseDecayPole, load<V>(st.fastRelease + b));
    store(st.fastRelease + b, fastRelease);
    store(fastArg + b, releaseArgument(minusPeriod, fastRelease, splat<V>(0.25f)));

    const V slowRelease = releaseState(peak, load<V>(st.slowEnvelope + b), slowRiseDecayInput,
                                       slowRiseDecayPole, load<V>(st.slowRelease + b));
    store(st.slowRelease + b, slowRelease);
    store(slowArg + b, releaseArgument(minusPeriod, slowRelease, splat<V>(5.0f)));
  }

  // The exponentials (the padding's are set to 0).
  alignas(kLaneAlign) float fastFactor[kBandLanes];
  alignas(kLaneAlign) float slowFactor[kBandLanes];
  for (int b = 0; b < kBandLanes; b += kStep) {
    store(fastFactor + b, rc.fastRelease(load<V>(fastArg + b)));
    store(slowFactor + b, rc.slowRelease(load<V>(slowArg + b)));
  }
  for (int m = kBandCount; m < kBandLanes; ++m) fastFactor[m] = slowFactor[m] = 0.0f;

  // Envelopes, numerator, gain, gained components and delay lines.
  float* lineNow = st.line[n & 4095];
  const float* lineOut = st.line[(n - kBandLineDelay) & 4095];
  const float* ringLate = st.bandRing[(n - kBandLookAhead) & 255];
  for (int b = 0; b < kBandLanes; b += kStep) {
    const V h = load<V>(held + b);
    const V peak = load<V>(st.peakMagnitude + b);

    // Fast envelope of the held level: adaptive release, then 15 ms smoothing.
    const V fastFactorV = load<V>(fastFactor + b);
    const V fastEnvelope =
        followAndSmooth(laneAbs(h), one - fastFactorV, fastFactorV, st.fastPeak + b,
                        fastSmoothInput, fastSmoothPole, st.fastEnvelope + b);

    // Slow envelope of the unheld peak: adaptive release, then 0.5 s smoothing.
    const V slowFactorV = load<V>(slowFactor + b);
    const V slowEnvelope =
        followAndSmooth(laneAbs(peak), one - slowFactorV, slowFactorV, st.slowPeak + b,
                        riseDecayInput, riseDecayPole, st.slowEnvelope + b);

    // Numerator: the ceiling times the level, capped at 1, with a band-rate
    // release and 30 ms smoothing.
    const V capped = laneMin(load<V>(fBlock.ceiling + b) * peak, one);
    const V numerator =
        followAndSmooth(capped, load<V>(rc.numeratorInput + b), load<V>(rc.numeratorPole + b),
                        st.numeratorPeak + b, numeratorSmoothInput, numeratorSmoothPole,
                        st.numerator + b);

    // Denominator: the fast envelope, or the limited slow envelope when that
    // is higher, floored at -90 dB (NaN included).
    const V limitedSlow = densityLimit * slowEnvelope;
    V den = select(greaterEqual(fastEnvelope, limitedSlow), fastEnvelope, limitedSlow);
    const V floor = splat<V>(kFloor90dB);
    den = select(greater(den, floor), den, floor);
    const V gain = numerator / den;
    store(st.gain + b, gain);

    // Gained band components from 132 samples back, into the band delay lines.
    const V weightedGain = load<V>(rc.signedWeight + b) * gain;
    const V a = weightedGain * load<V>(ringLate + b);
    const V bDiff = weightedGain * load<V>(ringLate + kDiffLane + b);
    store(out.gained + b, a);
    store(out.gainedDiff + b, bDiff);
    store(lineNow + b, a + bDiff);
    store(lineNow + kDiffLane + b, a - bDiff);
    store(out.sumOut + b, load<V>(lineOut + b));
  }
  // The mono bands have no difference read-out.
  for (int m = kMonoBandCount; m < kBandCount; ++m) out.diffOut[m] = lineOut[kDiffLane + m];
  out.mono = out.sumOut[0] + out.sumOut[1];
}

}  // namespace vardo
