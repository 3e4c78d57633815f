#include "fast_band_equaliser.h"

#include "band_constants.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "../float4.h"
#include "../primitives.h"

namespace vardo {

void FastBandEqualiser::setRate(const SampleRate& rate) {
  SectionCoeffs poles[kBandEdgeCount];
  float kSquared[kBandEdgeCount];
  for (int e = 0; e < kBandEdgeCount; ++e) {
    const float k = rate.kFixed(BandEqualiser::kEdgeHz[e]);
    poles[e] = butterworthPoles(k, kBandEdgeDamping);
    kSquared[e] = k * k;
  }
  for (int m = 0; m < kBandCount; ++m) {
    fRate.lowA1[m] = poles[m].a1;
    fRate.lowA2[m] = poles[m].a2;
    fRate.lowG[m] = poles[m].g;
    fRate.lowKSquared[m] = kSquared[m];
    fRate.lowMinusTwoKSquared[m] = -(2.0f * kSquared[m]);
    fRate.highA1[m] = poles[m + 1].a1;
    fRate.highA2[m] = poles[m + 1].a2;
    fRate.highG[m] = poles[m + 1].g;
    fRate.numeratorPole[m] = rate.pole(kNumeratorRate[m]);
    fRate.numeratorInput[m] = 1.0f - fRate.numeratorPole[m];
    fRate.signedWeight[m] = bandSign(m) * (kBandWeight[m] * poles[m + 1].g);
  }
  fRate.minusPeriod = -rate.r;
  static_cast<BandPoles&>(fRate) = bandPoles(rate);
  fRate.fastRelease.setRate(rate.r, 0.25f);
  fRate.slowRelease.setRate(rate.r, 5.0f);
}

void FastBandEqualiser::prepareBlock(const ControlFields& controls, const SampleRate&) {
  fBlock = bandBlockValues(controls);
}

void FastBandEqualiser::clear() {
  // The state is hundreds of kilobytes of floats: zero it in place.
  static_assert(std::is_trivially_copyable_v<State>);
  std::memset(&fState, 0, sizeof fState);
}

bool FastBandEqualiser::stateFinite() const {
  // The same values as BandEqualiser::stateFinite asks, in their lanes.
  const State& st = fState;
  return floatsFinite(st.filterW) && floatsFinite(st.pairs.a) && floatsFinite(st.pairs.b) &&
         floatsFinite(st.fastRelease) && floatsFinite(st.fastPeak) &&
         floatsFinite(st.fastEnvelope) && floatsFinite(st.slowRelease) &&
         floatsFinite(st.slowPeak) && floatsFinite(st.slowEnvelope) &&
         floatsFinite(st.numeratorPeak) && floatsFinite(st.numerator) &&
         floatsFinite(st.gain) && floatsFinite(st.peakMagnitude) && floatsFinite(st.heldLevel);
}

void FastBandEqualiser::process(float x, float d, std::uint32_t n, BandOutputs& out) {
  State& st = fState;
  const RateConstants& rc = fRate;
  const float sum = x + d;
  const float diff = x - d;

  // Band filters, band rings and quadrature magnitudes: the sum lanes and
  // the difference lanes of four bands per pass, sharing the coefficients.
  float* ringNow = st.bandRing[n & 255];
  const unsigned parity = st.parity;
  float (&older)[kSections][kLanes] = st.filterW[parity];        // w2, then w
  const float (&newer)[kSections][kLanes] = st.filterW[parity ^ 1];  // w1
  alignas(16) float magnitude[kLanes];
  for (int b = 0; b < kBandCount; b += 4) {
    const Float4 lowA1 = load4(rc.lowA1 + b);
    const Float4 lowA2 = load4(rc.lowA2 + b);
    const Float4 lowG = load4(rc.lowG + b);
    const Float4 kSq = load4(rc.lowKSquared + b);
    const Float4 minusTwoKSq = load4(rc.lowMinusTwoKSquared + b);
    const Float4 highA1 = load4(rc.highA1 + b);
    const Float4 highA2 = load4(rc.highA2 + b);
    const Float4 highG = load4(rc.highG + b);
    const Float4 two = splat4(2.0f);
    for (int lane : {b, kDiffLane + b}) {
      Float4 y = splat4(lane < kDiffLane ? sum : diff);
      // Two highpass sections at the lower edge.
      for (int i = 0; i < 2; ++i) {
        const Float4 w1 = load4(newer[i] + lane);
        const Float4 w2 = load4(older[i] + lane);
        const Float4 w = y - (lowA1 * w1 + lowA2 * w2) * lowG;
        y = ((w + w2) * kSq + w1 * minusTwoKSq) * lowG;
        store4(older[i] + lane, w);
      }
      // Lowpass at the upper edge, then the second one's raw numerator.
      {
        const Float4 w1 = load4(newer[2] + lane);
        const Float4 w2 = load4(older[2] + lane);
        const Float4 w = y - (highA1 * w1 + highA2 * w2) * highG;
        y = (w + two * w1 + w2) * highG;
        store4(older[2] + lane, w);
      }
      const Float4 w1 = load4(newer[3] + lane);
      const Float4 w2 = load4(older[3] + lane);
      const Float4 w = y - (highA1 * w1 + highA2 * w2) * highG;
      const Float4 u = w + two * w1 + w2;
      store4(older[3] + lane, w);
      store4(ringNow + lane, u);

      // Quadrature pair on the negated, normalised band value.
      store4(magnitude + lane, st.pairs.magnitude(-(highG * u), lane, parity));
    }
  }
  st.parity = parity ^ 1;

  // Peak and hold, then the arguments of the two release factors.
  const Float4 one = splat4(1.0f);
  const Float4 zero = splat4(0.0f);
  const Float4 half = splat4(0.5f);
  const Float4 two = splat4(2.0f);
  // Vector stores may alias anything, so every constant the loops use is
  // taken into a local first.
  const Float4 minusPeriod = splat4(rc.minusPeriod);
  const Float4 threshold = splat4(fBlock.threshold);
  const Float4 densityLimit = splat4(fBlock.densityLimit);
  const Float4 riseDecayInput = splat4(rc.riseDecayInput);
  const Float4 riseDecayPole = splat4(rc.riseDecayPole);
  const Float4 slowRiseDecayInput = splat4(rc.slowRiseDecayInput);
  const Float4 slowRiseDecayPole = splat4(rc.slowRiseDecayPole);
  const Float4 fastSmoothInput = splat4(rc.fastSmoothInput);
  const Float4 fastSmoothPole = splat4(rc.fastSmoothPole);
  const Float4 numeratorSmoothInput = splat4(rc.numeratorSmoothInput);
  const Float4 numeratorSmoothPole = splat4(rc.numeratorSmoothPole);
  // Each hold entry is written twice, 64 rows apart, so that the 44 newest
  // rows always lie in one run of the table, ending at the newest.
  float* holdNow = st.hold[(n & 63) + 64];
  float* holdNowLow = st.hold[n & 63];
  alignas(16) float held[kBandCount];
  alignas(16) float fastArg[kBandCount];
  alignas(16) float slowArg[kBandCount];
  for (int b = 0; b < kBandCount; b += 4) {
    const Float4 peak = max4(load4(magnitude + b), load4(magnitude + kDiffLane + b));
    store4(st.peakMagnitude + b, peak);
    const Float4 entry = max4(peak, threshold);
    store4(holdNow + b, entry);
    store4(holdNowLow + b, entry);

    // Window maximum over lags 0 ... 43, in the plain stage's four running
    // maxima so that even NaN entries give the same result.
    const float* lag0 = holdNow + b;
    Float4 m0 = load4(lag0);
    Float4 m1 = load4(lag0 - 1 * kBandCount);
    Float4 m2 = load4(lag0 - 2 * kBandCount);
    Float4 m3 = load4(lag0 - 3 * kBandCount);
    for (int lag = 4; lag < kHoldWindow; lag += 4) {
      m0 = max4(m0, load4(lag0 - lag * kBandCount));
      m1 = max4(m1, load4(lag0 - (lag + 1) * kBandCount));
      m2 = max4(m2, load4(lag0 - (lag + 2) * kBandCount));
      m3 = max4(m3, load4(lag0 - (lag + 3) * kBandCount));
    }
    const Float4 h = max4(max4(m0, m1), max4(m2, m3));
    store4(held + b, h);
    store4(st.heldLevel + b, h);

    const Float4 fastRise = select4(greater4(h, load4(st.fastEnvelope + b)), one, zero);
    const Float4 fastRelease =
        max4(fastRise, riseDecayInput * fastRise +
                           riseDecayPole * load4(st.fastRelease + b));
    store4(st.fastRelease + b, fastRelease);
    store4(fastArg + b,
           minusPeriod / (max4(two * (fastRelease - half), zero) + splat4(0.25f)));

    const Float4 slowRise = select4(greater4(peak, load4(st.slowEnvelope + b)), one, zero);
    const Float4 slowRelease =
        max4(slowRise, slowRiseDecayInput * slowRise +
                           slowRiseDecayPole * load4(st.slowRelease + b));
    store4(st.slowRelease + b, slowRelease);
    store4(slowArg + b, minusPeriod / (max4(two * (slowRelease - half), zero) + splat4(5.0f)));
  }

  // The exponentials.
  alignas(16) float fastFactor[kBandCount];
  alignas(16) float slowFactor[kBandCount];
  for (int b = 0; b < kBandCount; b += 4) {
    store4(fastFactor + b, rc.fastRelease(load4(fastArg + b)));
    store4(slowFactor + b, rc.slowRelease(load4(slowArg + b)));
  }

  // Envelopes, numerator, gain, gained components and delay lines.
  float* lineNow = st.line[n & 4095];
  const float* lineOut = st.line[(n - kBandLineDelay) & 4095];
  const float* ringLate = st.bandRing[(n - kBandLookAhead) & 255];
  for (int b = 0; b < kBandCount; b += 4) {
    const Float4 h = load4(held + b);
    const Float4 peak = load4(st.peakMagnitude + b);

    const Float4 fastFactor4 = load4(fastFactor + b);
    const Float4 heldLevel = abs4(h);
    const Float4 fastPeak = max4(heldLevel, (one - fastFactor4) * heldLevel +
                                                fastFactor4 * load4(st.fastPeak + b));
    store4(st.fastPeak + b, fastPeak);
    const Float4 fastEnvelope = fastSmoothInput * fastPeak +
                                fastSmoothPole * load4(st.fastEnvelope + b);
    store4(st.fastEnvelope + b, fastEnvelope);

    const Float4 slowFactor4 = load4(slowFactor + b);
    const Float4 peakLevel = abs4(peak);
    const Float4 slowPeak = max4(peakLevel, (one - slowFactor4) * peakLevel +
                                                slowFactor4 * load4(st.slowPeak + b));
    store4(st.slowPeak + b, slowPeak);
    const Float4 slowEnvelope = riseDecayInput * slowPeak +
                                riseDecayPole * load4(st.slowEnvelope + b);
    store4(st.slowEnvelope + b, slowEnvelope);

    const Float4 capped = min4(load4(fBlock.ceiling + b) * peak, one);
    const Float4 numeratorPeak =
        max4(capped, load4(rc.numeratorInput + b) * capped +
                         load4(rc.numeratorPole + b) * load4(st.numeratorPeak + b));
    store4(st.numeratorPeak + b, numeratorPeak);
    const Float4 numerator = numeratorSmoothInput * numeratorPeak +
                             numeratorSmoothPole * load4(st.numerator + b);
    store4(st.numerator + b, numerator);

    const Float4 limitedSlow = densityLimit * slowEnvelope;
    Float4 den = select4(greaterEqual4(fastEnvelope, limitedSlow), fastEnvelope, limitedSlow);
    const Float4 floor = splat4(kFloor90dB);
    den = select4(greater4(den, floor), den, floor);
    const Float4 gain = numerator / den;
    store4(st.gain + b, gain);

    const Float4 weightedGain = load4(rc.signedWeight + b) * gain;
    const Float4 a = weightedGain * load4(ringLate + b);
    const Float4 bDiff = weightedGain * load4(ringLate + kDiffLane + b);
    store4(out.gained + b, a);
    store4(out.gainedDiff + b, bDiff);
    store4(lineNow + b, a + bDiff);
    store4(lineNow + kDiffLane + b, a - bDiff);
    store4(out.sumOut + b, load4(lineOut + b));
  }
  // The mono bands have no difference read-out: lanes 2 ... 11 only.
  static_assert(kMonoBandCount == 2 && kBandCount == 12);
  store4(out.diffOut + 2, load4(lineOut + kDiffLane + 2));
  store4(out.diffOut + 6, load4(lineOut + kDiffLane + 6));
  store4(out.diffOut + 8, load4(lineOut + kDiffLane + 8));
  out.mono = out.sumOut[0] + out.sumOut[1];
}

}  // namespace vardo
