#include "level_normaliser.h"

#include <algorithm>
#include <cmath>

#include "../float4.h"

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
  for (int done = 0; done < count; done += kPiece) {
    const int piece = count - done < kPiece ? count - done : kPiece;
    processPiece(piece, n + static_cast<std::uint32_t>(done), filtered + done, out + done,
                 corner + done);
  }
}

// A piece goes through in three passes: the envelope, the normalised signal
// and the treble detector with the corners it sets, sample by sample; the
// corners' tangents, four samples at a time (nothing carries from one sample
// to the next there); and the first noise-reduction lowpass.
void LevelNormaliser::processPiece(int count, std::uint32_t n, const float* filtered, float* out,
                                   SecondCorner* corner) {
  // The recursions and the coefficients stay in locals through the piece;
  // the rings stay in place.
  const NormaliserRateDesign rd = fRate;
  const NormaliserBlockDesign bd = fBlock;
  Recursions s = fState.recursions;
  Ring<128>& normalised = fState.normalised;
  Ring<256>& history = fHistory;

  alignas(16) float divisorRow[kPiece];
  alignas(16) float lowpassIn[kPiece];      // the normalised signal 125 samples back
  alignas(16) float lowpassInLate[kPiece];  // and 126
  alignas(16) float firstCornerHz[kPiece];
  alignas(16) float secondCornerHz[kPiece];

  // The envelope reads the band-limited history up to 221 samples back, so
  // the history takes the piece sample by sample between the steps.
  for (int i = 0; i < count; ++i) {
    const std::uint32_t at = n + static_cast<std::uint32_t>(i);
    history.write(at, filtered[i]);

    // Look-ahead peak: the newest sample and the one about to be divided.
    const float newest = history.read(at, 0);
    const float divided = history.read(at, kLookAhead);
    const float peak = std::max(std::fabs(newest), std::fabs(divided));

    const float envelope = s.envelope.process(peak, rd.attack, rd.release);
    const float divisor = std::max(std::max(envelope, 1e-5f), kFloor90dB);
    divisorRow[i] = divisor;

    const float v = divided / divisor;
    normalised.write(at, v);
    // The lowpass's inputs, read before later samples of the piece take
    // their places in the ring.
    lowpassIn[i] = normalised.read(at, kLowpassLag);
    lowpassInLate[i] = normalised.read(at, kLowpassLag + 1);

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
    secondCornerHz[i] = rd.rate.limitCorner(secondRaw);
    firstCornerHz[i] = rd.rate.limitCorner(firstRaw);
  }

  // The corners' terms: K = 1 / tan(pi f / fs) for both, and the second's
  // 1 - K and K + 1. Four samples whose corner has not moved (held at a
  // clamp, or under a steady treble level) keep the coefficients they have.
  alignas(16) float firstK[kPiece];
  alignas(16) float secondK[kPiece];
  const auto unmoved = [](const float* hz, float current) {
    return allOf4(equal4(load4(hz), splat4(current)));
  };
  float firstNow = s.firstCornerHz;
  float kFirst = s.firstK;
  float secondNow = s.secondCornerHz;
  float kSecond = fSecond.k;
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    if (unmoved(firstCornerHz + i, firstNow)) {
      store4(firstK + i, splat4(kFirst));
    } else {
      store4(firstK + i, splat4(1.0f) / rd.rate.tanMoving(load4(firstCornerHz + i)));
      firstNow = firstCornerHz[i + 3];
      kFirst = firstK[i + 3];
    }
    if (unmoved(secondCornerHz + i, secondNow)) {
      store4(secondK + i, splat4(kSecond));
    } else {
      store4(secondK + i, splat4(1.0f) / rd.rate.tanMoving(load4(secondCornerHz + i)));
      secondNow = secondCornerHz[i + 3];
      kSecond = secondK[i + 3];
    }
  }
  for (; i < count; ++i) {
    if (firstCornerHz[i] != firstNow) {
      firstNow = firstCornerHz[i];
      kFirst = 1.0f / rd.rate.tanMoving(firstNow);
    }
    firstK[i] = kFirst;
    if (secondCornerHz[i] != secondNow) {
      secondNow = secondCornerHz[i];
      kSecond = 1.0f / rd.rate.tanMoving(secondNow);
    }
    secondK[i] = kSecond;
  }
  s.firstCornerHz = firstNow;
  s.firstK = kFirst;
  s.secondCornerHz = secondNow;
  for (int j = 0; j < count; ++j) {
    const float k = secondK[j];
    corner[j] = {k, 1.0f - k, k + 1.0f};
  }

  // First noise-reduction lowpass, on the normalised signal 125 samples back.
  float lowpassOut = s.lowpassOut;
  for (int j = 0; j < count; ++j) {
    const float k1 = firstK[j];
    const float z = (lowpassIn[j] + lowpassInLate[j] + (k1 - 1.0f) * lowpassOut) / (k1 + 1.0f);
    lowpassOut = z;
    out[j] = divisorRow[j] * z;
  }
  s.lowpassOut = lowpassOut;

  fState.recursions = s;
  fSecond = corner[count - 1];
  fDivisor = divisorRow[count - 1];
  fFirstCornerHz = firstCornerHz[count - 1];
  fSecondCornerHz = secondCornerHz[count - 1];
}

}  // namespace vardo
