#include "level_normaliser.h"

#include <algorithm>
#include <cmath>

namespace vardo {

namespace {

constexpr float kSqrt2 = 1.4142135f;
constexpr float kMinCorner = 1000.0f;
constexpr float kMaxCorner = 22000.0f;
constexpr float kRectifierFloor = 1e-5f;
constexpr float kLevelScaleNumerator = 500.0f;

}  // namespace

NormaliserRateDesign designNormaliserRate(const SampleRate& rate) {
  NormaliserRateDesign d;
  d.rate = rate;
  d.attack = rate.pole(500.0f);
  d.release = rate.pole(2.0f);
  d.trebleHighpass = firstOrderSection(rate.tanFixed(1000.0f));
  d.smooth10 = butterworthPoles(rate.kFixed(10.0f), kSqrt2);
  d.smooth100 = butterworthPoles(rate.kFixed(100.0f), kSqrt2);
  d.levelScale = kLevelScaleNumerator * d.smooth100.g;
  return d;
}

NormaliserBlockDesign designNormaliserBlock(const ControlFields& controls,
                                            const NormaliserRateDesign& rateDesign) {
  NormaliserBlockDesign d;
  d.firstScale = rateDesign.levelScale * controls.dnrSensitivity;
  d.secondScale = controls.dnr2Sensitivity * rateDesign.levelScale;
  d.disableCorner = controls.dnrLpfDisable > 0.5f ? 22000.0f : 0.0f;
  return d;
}

void LevelNormaliser::clear() {
  fHistory = {};
  fState = {};
  fSecond = {};
  fDivisor = 0.0f;
  fFirstCornerHz = 0.0f;
  fSecondCornerHz = 0.0f;
}

void LevelNormaliser::processRun(int count, std::uint32_t n, const float* filtered, float* out,
                                 SecondCorner* corner) {
  if (count < 1) return;
  // The recursions, the coefficients and the current corners' terms stay in
  // locals through the run; the rings stay in place.
  const NormaliserRateDesign rd = fRate;
  const NormaliserBlockDesign bd = fBlock;
  Recursions s = fState.recursions;
  Ring<128>& normalised = fState.normalised;
  Ring<256>& history = fHistory;
  SecondCorner second = fSecond;
  float divisor = 0.0f;
  float firstCornerHz = 0.0f;
  float secondCornerHz = 0.0f;

  // The envelope reads the band-limited history up to 221 samples back, so
  // the history takes the run sample by sample between the steps.
  for (int i = 0; i < count; ++i) {
    const std::uint32_t at = n + static_cast<std::uint32_t>(i);
    history.write(at, filtered[i]);

    // Look-ahead peak: the newest sample and the one about to be divided.
    const float newest = history.read(at, 0);
    const float divided = history.read(at, kLookAhead);
    const float peak = std::max(std::fabs(newest), std::fabs(divided));

    const float envelope = s.envelope.process(peak, rd.attack, rd.release);
    divisor = std::max(std::max(envelope, 1e-5f), kFloor90dB);

    const float v = divided / divisor;
    normalised.write(at, v);

    // Treble detector: 1 kHz highpass, floored rectifier, 10 Hz and 100 Hz lowpasses.
    const FirstOrderCoeffs& hp = rd.trebleHighpass;
    const float u = normalised.read(at, 1) * hp.highpassB1 +
                    (v * hp.k - hp.oneMinusK * s.trebleHighpassOut) * hp.invKPlusOne;
    s.trebleHighpassOut = u;
    const float rectified = std::max(std::fabs(u), kRectifierFloor);

    const float w10 = s.smooth10.feed(rectified, rd.smooth10);
    const float smoothed = s.smooth10.lowpassNumerator(w10) * rd.smooth10.g;
    s.smooth10.shift(w10);
    const float w100 = s.smooth100.feed(smoothed, rd.smooth100);
    // Raw numerator only: its normalisation 1/a0 is folded into W.
    const float treble = 2.0f * s.smooth100.w1 + s.smooth100.w2 + w100;
    s.smooth100.shift(w100);

    // Corners from the treble level, each clamped to 1 ... 22 kHz, then kept
    // below the Nyquist frequency.
    const float secondRaw = std::max(
        kMinCorner,
        std::min(kMaxCorner,
                 std::max(bd.disableCorner,
                          std::max(kMinCorner, std::min(kMaxCorner, bd.secondScale * treble)))));
    const float firstRaw = std::max(
        bd.disableCorner, std::max(kMinCorner, std::min(kMaxCorner, treble * bd.firstScale)));
    secondCornerHz = rd.rate.limitCorner(secondRaw);
    firstCornerHz = rd.rate.limitCorner(firstRaw);

    // A corner that has not moved since the previous sample (held at a clamp,
    // or under a steady treble level) keeps its coefficients.
    if (secondCornerHz != s.secondCornerHz) {
      s.secondCornerHz = secondCornerHz;
      second.k = 1.0f / rd.rate.tanMoving(secondCornerHz);
      second.oneMinusK = 1.0f - second.k;
      second.kPlusOne = second.k + 1.0f;
    }
    if (firstCornerHz != s.firstCornerHz) {
      s.firstCornerHz = firstCornerHz;
      s.firstK = 1.0f / rd.rate.tanMoving(firstCornerHz);
    }
    const float k1 = s.firstK;

    // First noise-reduction lowpass, on the normalised signal 125 samples back.
    const float z = (normalised.read(at, kLowpassLag) + normalised.read(at, kLowpassLag + 1) +
                     (k1 - 1.0f) * s.lowpassOut) /
                    (k1 + 1.0f);
    s.lowpassOut = z;

    out[i] = divisor * z;
    corner[i] = second;
  }

  fState.recursions = s;
  fSecond = second;
  fDivisor = divisor;
  fFirstCornerHz = firstCornerHz;
  fSecondCornerHz = secondCornerHz;
}

}  // namespace vardo
