#include "level_normaliser.h"

#include <algorithm>
#include <cmath>

#include "simd/float4.h"

namespace vardo {

namespace {

constexpr float kSqrt2 = 1.4142135f;
constexpr float kMinCorner = 1000.0f;
// Both noise-reduction corners stay at or below this; "DNR LPF Disable" puts them there.
constexpr float kMaxCorner = 22000.0f;
// Floor of the treble detector's rectified input.
constexpr float kRectifierFloor = 1e-5f;
// Floor of the envelope as a divisor, above the -90 dB floor every divisor has.
constexpr float kEnvelopeFloor = 1e-5f;
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
  d.disableCorner = controls.dnrLpfDisable > 0.5f ? kMaxCorner : 0.0f;
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

// What the detector gives a sample for the later steps.
struct LevelNormaliser::Detected {
  float divisor;
  float lowpassIn;      // the normalised signal 125 samples back
  float lowpassInLate;  // and 126
  float firstCornerHz;
  float secondCornerHz;
};

namespace {

// A corner's K = 1 / tan(pi f / fs), worked out again only when the corner
// moves (it stays put while held at a clamp, or under a steady treble level).
struct CornerK {
  float hz;
  float k;
  float operator()(float cornerHz, const SampleRate& rate) {
    if (cornerHz != hz) {
      hz = cornerHz;
      k = 1.0f / rate.tanMoving(cornerHz);
    }
    return k;
  }
  // Four samples' Ks.
  Float4 operator()(const float* cornerHz, const SampleRate& rate) {
    const Float4 corners = load4(cornerHz);
    if (allOf4(equal4(corners, splat4(hz)))) return splat4(k);
    const Float4 ks = splat4(1.0f) / rate.tanMoving(corners);
    hz = cornerHz[3];
    k = lane3Of4(ks);
    return ks;
  }
};

}  // namespace

// The envelope, the normalised signal and the treble detector with the
// corners it sets, for the band-limited sample x at counter `at`. The
// envelope reads the band-limited history up to 221 samples back, so the
// history takes the samples one by one between the steps.
[[gnu::always_inline]] inline LevelNormaliser::Detected LevelNormaliser::detect(
    Recursions& s, const NormaliserRateDesign& rd, const NormaliserBlockDesign& bd,
    std::uint32_t at, float x) {
  RingDelay<128>& normalised = fState.normalised;
  RingDelay<256>& history = fHistory;
  history.write(at, x);

  // Look-ahead peak: the newest sample and the one about to be divided.
  const float newest = history.read(at, 0);
  const float divided = history.read(at, kLookAhead);
  const float peak = std::max(std::fabs(newest), std::fabs(divided));

  const float envelope = s.envelope.process(peak, rd.attack, rd.release);
  const float divisor = std::max(std::max(envelope, kEnvelopeFloor), kFloor90dB);

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

  // The lowpass's inputs are read now, before later samples take their
  // places in the ring.
  return {divisor, normalised.read(at, kLowpassLag), normalised.read(at, kLowpassLag + 1),
          rd.rate.limitCorner(firstRaw), rd.rate.limitCorner(secondRaw)};
}

// A long piece goes through in three passes: the envelope, the normalised
// signal and the treble detector with the corners it sets, sample by sample;
// the corners' tangents, four samples at a time (nothing carries from one
// sample to the next there); and the first noise-reduction lowpass. A piece
// of a few samples takes the steps sample by sample.
void LevelNormaliser::processPiece(int count, std::uint32_t n, const float* filtered, float* out,
                                   SecondCorner* corner) {
  // The recursions and the coefficients stay in locals through the piece;
  // the rings stay in place.
  const NormaliserRateDesign rd = fRate;
  const NormaliserBlockDesign bd = fBlock;
  Recursions s = fState.recursions;


  // First noise-reduction lowpass, on the normalised signal 125 samples back.
  float lowpassOut = s.lowpassOut;
  const auto lowpass = [&](float k1, float in, float inLate) {
    const float z = (in + inLate + (k1 - 1.0f) * lowpassOut) / (k1 + 1.0f);
    lowpassOut = z;
    return z;
  };
  const auto secondTerms = [](float k) { return SecondCorner{k, 1.0f - k, k + 1.0f}; };

  CornerK first{s.firstCornerHz, s.firstK};
  CornerK second{s.secondCornerHz, fSecond.k};
  Detected last{};
  if (count < 4) {
    for (int i = 0; i < count; ++i) {
      last = detect(s, rd, bd, n + static_cast<std::uint32_t>(i), filtered[i]);
      corner[i] = secondTerms(second(last.secondCornerHz, rd.rate));
      out[i] = last.divisor * lowpass(first(last.firstCornerHz, rd.rate), last.lowpassIn,
                                      last.lowpassInLate);
    }
  } else {
    alignas(16) float divisor[kPiece];
    alignas(16) float lowpassIn[kPiece];
    alignas(16) float lowpassInLate[kPiece];
    alignas(16) float firstCornerHz[kPiece];
    alignas(16) float secondCornerHz[kPiece];
    for (int i = 0; i < count; ++i) {
      last = detect(s, rd, bd, n + static_cast<std::uint32_t>(i), filtered[i]);
      divisor[i] = last.divisor;
      lowpassIn[i] = last.lowpassIn;
      lowpassInLate[i] = last.lowpassInLate;
      firstCornerHz[i] = last.firstCornerHz;
      secondCornerHz[i] = last.secondCornerHz;
    }

    // The lowpass of each four samples follows their tangents in the same
    // loop: its recursion, held up by a division every sample, then runs
    // beside the next four samples' tangents.
    alignas(16) float firstK[4];
    alignas(16) float secondK[4];
    const auto finish = [&](int i, float kFirst, float kSecond) {
      corner[i] = secondTerms(kSecond);
      out[i] = divisor[i] * lowpass(kFirst, lowpassIn[i], lowpassInLate[i]);
    };
    int i = 0;
    for (; i + 4 <= count; i += 4) {
      store4(firstK, first(firstCornerHz + i, rd.rate));
      store4(secondK, second(secondCornerHz + i, rd.rate));
      for (int j = 0; j < 4; ++j) finish(i + j, firstK[j], secondK[j]);
    }
    for (; i < count; ++i) {
      finish(i, first(firstCornerHz[i], rd.rate), second(secondCornerHz[i], rd.rate));
    }
  }
  s.lowpassOut = lowpassOut;
  s.firstCornerHz = first.hz;
  s.firstK = first.k;
  s.secondCornerHz = second.hz;

  fState.recursions = s;
  fSecond = corner[count - 1];
  fDivisor = last.divisor;
  fFirstCornerHz = last.firstCornerHz;
  fSecondCornerHz = last.secondCornerHz;
}

}  // namespace vardo
