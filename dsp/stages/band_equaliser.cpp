#include "band_equaliser.h"

#include "band_constants.h"

#include <algorithm>
#include <cmath>

namespace vardo {

namespace {

// Release factor of an adaptive peak follower: the release time constant
// runs from `base` seconds (release state at or below 0.5) to base + 1 s
// (release state 1, right after a rise).
inline float adaptiveRelease(float period, float releaseState, float base) {
  return fexp(-period / (std::max(2.0f * (releaseState - 0.5f), 0.0f) + base));
}

template <int Size>
void clearRing(Ring<Size>& ring) {
  std::fill(ring.data, ring.data + Size, 0.0f);
}

// Maximum of the 44 most recent hold entries (lags 0 ... 43). All taps are
// read every sample; four interleaved running maxima shorten the dependency
// chain without changing the result (the maximum is independent of order).
inline float holdWindowMax(const Ring<64>& hold, std::uint32_t n) {
  static_assert(kHoldWindow % 4 == 0, "the window is read four taps at a time");
  float m0 = hold.read(n, 0);
  float m1 = hold.read(n, 1);
  float m2 = hold.read(n, 2);
  float m3 = hold.read(n, 3);
  for (std::uint32_t lag = 4; lag < kHoldWindow; lag += 4) {
    m0 = std::max(m0, hold.read(n, lag));
    m1 = std::max(m1, hold.read(n, lag + 1));
    m2 = std::max(m2, hold.read(n, lag + 2));
    m3 = std::max(m3, hold.read(n, lag + 3));
  }
  return std::max(std::max(m0, m1), std::max(m2, m3));
}

}  // namespace

void BandEqualiser::setRate(const SampleRate& rate) {
  // Band edges are fixed corners; kFixed keeps each one below fs / 2, so the
  // upper bands stay stable (if nearly silent) at low sample rates.
  for (int e = 0; e < kBandEdgeCount; ++e) {
    const float k = rate.kFixed(kEdgeHz[e]);
    EdgeSection& edge = fRate.edge[e];
    edge.poles = butterworthPoles(k, kBandEdgeDamping);
    edge.kSquared = k * k;
    edge.minusTwoKSquared = -(2.0f * edge.kSquared);
  }
  for (int m = 0; m < kBandCount; ++m) {
    BandConstants& band = fRate.band[m];
    band.numeratorPole = rate.pole(kNumeratorRate[m]);
    band.numeratorInput = 1.0f - band.numeratorPole;
    band.signedWeight = bandSign(m) * (kBandWeight[m] * fRate.edge[m + 1].poles.g);
  }
  fRate.period = rate.r;
  static_cast<BandPoles&>(fRate) = bandPoles(rate);
}

void BandEqualiser::prepareBlock(const ControlFields& controls, const SampleRate&) {
  fBlock = bandBlockValues(controls);
}

void BandEqualiser::clear() {
  for (BandState& band : fBands) {
    for (SectionState& s : band.sumFilter) s = {};
    for (SectionState& s : band.diffFilter) s = {};
    clearRing(band.sumBand);
    clearRing(band.diffBand);
    band.sumPair = {};
    band.diffPair = {};
    clearRing(band.hold);
    band.fastRelease = 0.0f;
    band.fastPeak = 0.0f;
    band.fastEnvelope = 0.0f;
    band.slowRelease = 0.0f;
    band.slowPeak = 0.0f;
    band.slowEnvelope = 0.0f;
    band.numeratorPeak = 0.0f;
    band.numerator = 0.0f;
    band.gain = 0.0f;
    band.peakMagnitude = 0.0f;
    band.heldLevel = 0.0f;
    clearRing(band.sumLine);
    clearRing(band.diffLine);
  }
}

float BandEqualiser::bandNumerator(SectionState (&filter)[4], float in, const EdgeSection& low,
                                   const EdgeSection& high) const {
  // Two highpass sections at the lower edge.
  float y = in;
  for (int i = 0; i < 2; ++i) {
    const float w = filter[i].feed(y, low.poles);
    y = filter[i].highpassNumerator(w, low.kSquared, low.minusTwoKSquared) * low.poles.g;
    filter[i].shift(w);
  }
  // Lowpass at the upper edge; the second one's 1/a0 is left to the caller.
  {
    const float w = filter[2].feed(y, high.poles);
    y = filter[2].lowpassNumerator(w) * high.poles.g;
    filter[2].shift(w);
  }
  const float w = filter[3].feed(y, high.poles);
  const float u = filter[3].lowpassNumerator(w);
  filter[3].shift(w);
  return u;
}

void BandEqualiser::processBand(int m, float s, float d, std::uint32_t n, BandOutputs& out) {
  BandState& band = fBands[m];
  const BandConstants& k = fRate.band[m];
  const EdgeSection& high = fRate.edge[m + 1];
  const float gHigh = high.poles.g;

  // Band filters and band rings (un-normalised numerators).
  const float uSum = bandNumerator(band.sumFilter, s, fRate.edge[m], high);
  const float uDiff = bandNumerator(band.diffFilter, d, fRate.edge[m], high);
  band.sumBand.write(n, uSum);
  band.diffBand.write(n, uDiff);

  // Quadrature magnitudes of the normalised, inverted band values.
  float late = 0.0f;
  float now = 0.0f;
  band.sumPair.process(-(gHigh * uSum), late, now);
  const float magSum = flooredMagnitude(late, now);
  band.diffPair.process(-(gHigh * uDiff), late, now);
  const float magDiff = flooredMagnitude(late, now);
  const float peak = std::max(magSum, magDiff);
  band.peakMagnitude = peak;

  // Hold: the peak (never below the threshold) over the last 44 samples.
  band.hold.write(n, std::max(peak, fBlock.threshold));
  const float held = holdWindowMax(band.hold, n);
  band.heldLevel = held;

  // Fast envelope of the held level: release from 0.25 s (steady) to 1.25 s
  // (just after a rise), then 15 ms smoothing.
  {
    const float rise = held > band.fastEnvelope ? 1.0f : 0.0f;
    band.fastRelease =
        std::max(rise, fRate.riseDecayInput * rise + fRate.riseDecayPole * band.fastRelease);
    const float release = adaptiveRelease(fRate.period, band.fastRelease, 0.25f);
    const float level = std::fabs(held);
    band.fastPeak = std::max(level, (1.0f - release) * level + release * band.fastPeak);
    band.fastEnvelope =
        fRate.fastSmoothInput * band.fastPeak + fRate.fastSmoothPole * band.fastEnvelope;
  }

  // Slow envelope of the unheld peak: release from 5 s to 6 s, 0.5 s smoothing.
  {
    const float rise = peak > band.slowEnvelope ? 1.0f : 0.0f;
    band.slowRelease = std::max(
        rise, fRate.slowRiseDecayInput * rise + fRate.slowRiseDecayPole * band.slowRelease);
    const float release = adaptiveRelease(fRate.period, band.slowRelease, 5.0f);
    const float level = std::fabs(peak);
    band.slowPeak = std::max(level, (1.0f - release) * level + release * band.slowPeak);
    band.slowEnvelope =
        fRate.riseDecayInput * band.slowPeak + fRate.riseDecayPole * band.slowEnvelope;
  }

  // Numerator: the ceiling times the level, capped at 1, with a band-rate
  // release and 30 ms smoothing.
  const float capped = std::min(fBlock.ceiling[m] * peak, 1.0f);
  band.numeratorPeak =
      std::max(capped, k.numeratorInput * capped + k.numeratorPole * band.numeratorPeak);
  band.numerator =
      fRate.numeratorSmoothInput * band.numeratorPeak + fRate.numeratorSmoothPole * band.numerator;

  // Denominator: the fast envelope, or the limited slow envelope when that is higher.
  const float limitedSlow = fBlock.densityLimit * band.slowEnvelope;
  float den = band.fastEnvelope >= limitedSlow ? band.fastEnvelope : limitedSlow;
  if (!(den > kFloor90dB)) den = kFloor90dB;
  const float gain = band.numerator / den;
  band.gain = gain;

  // Gained band components from 132 samples back.
  const float a = k.signedWeight * gain * band.sumBand.read(n, kBandLookAhead);
  const float b = k.signedWeight * gain * band.diffBand.read(n, kBandLookAhead);
  out.gained[m] = a;
  out.gainedDiff[m] = b;

  // Band delay lines.
  band.sumLine.write(n, a + b);
  out.sumOut[m] = band.sumLine.read(n, kBandLineDelay);
  if (m >= kMonoBandCount) {
    band.diffLine.write(n, a - b);
    out.diffOut[m] = band.diffLine.read(n, kBandLineDelay);
  }
}

bool BandEqualiser::stateFinite() const {
  // The rings and delay lines only pass values on; whatever they hold that is
  // not finite came from, or reaches, the recursions asked here.
  bool finite = true;
  for (const BandState& band : fBands) {
    const float levels[] = {band.fastRelease, band.fastPeak,      band.fastEnvelope,
                            band.slowRelease, band.slowPeak,      band.slowEnvelope,
                            band.numeratorPeak, band.numerator,   band.gain,
                            band.peakMagnitude, band.heldLevel};
    finite = finite && floatsFinite(band.sumFilter) && floatsFinite(band.diffFilter) &&
             floatsFinite(band.sumPair) && floatsFinite(band.diffPair) && floatsFinite(levels);
  }
  return finite;
}

void BandEqualiser::process(float x, float d, std::uint32_t n, BandOutputs& out) {
  const float sum = x + d;
  const float diff = x - d;
  for (int m = 0; m < kBandCount; ++m) processBand(m, sum, diff, n, out);
  out.mono = out.sumOut[0] + out.sumOut[1];
}

}  // namespace vardo
