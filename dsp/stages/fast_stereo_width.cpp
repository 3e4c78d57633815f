#include "fast_stereo_width.h"

#include "band_constants.h"

#include <cstring>
#include <type_traits>

#include "../float4.h"
#include "../quick_transcendentals.h"

namespace vardo {

void FastStereoWidth::setRate(const SampleRate& rate) {
  fRate.minusPeriod = -rate.r;
  static_cast<WidthPoles&>(fRate) = widthPoles(rate);
  fRate.componentRelease.setRate(rate.r, 0.03f);
}

void FastStereoWidth::prepareBlock(const ControlFields& controls, const SampleRate&) {
  fBlock = widthBlockValues(controls);
}

void FastStereoWidth::clear() {
  static_assert(std::is_trivially_copyable_v<State>);
  std::memset(&fState, 0, sizeof fState);
}

bool FastStereoWidth::stateFinite() const {
  // The same values as StereoWidth::stateFinite asks: the lanes of the mono
  // bands run along unused and are left out.
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

void FastStereoWidth::process(const BandOutputs& bands, float& sumA, float& sumB) {
  State& st = fState;
  const RateConstants& rc = fRate;
  const Float4 one = splat4(1.0f);
  const Float4 zero = splat4(0.0f);
  // Vector stores may alias anything, so every constant the loops use is
  // taken into a local first.
  const unsigned parity = st.parity;
  const Float4 minusPeriod = splat4(rc.minusPeriod);
  const Float4 riseDecayInput = splat4(rc.riseDecayInput);
  const Float4 riseDecayPole = splat4(rc.riseDecayPole);
  const Float4 envelopeSmoothInput = splat4(rc.envelopeSmoothInput);
  const Float4 envelopeSmoothPole = splat4(rc.envelopeSmoothPole);
  const Float4 offset = splat4(fBlock.offset);
  const Float4 trim = splat4(fBlock.trim);
  const Float4 limit = splat4(fBlock.limit);

  // Component magnitudes and release states; lane m of each half is band m.
  alignas(16) float magnitude[kLanes];
  alignas(16) float releaseArg[kLanes];
  for (int lane = 0; lane < kLanes; lane += 4) {
    const float* component =
        lane < kDiffLane ? bands.gained + lane : bands.gainedDiff + (lane - kDiffLane);
    const Float4 in = load4(component);
    const Float4 mag = st.pairs.magnitude(in, lane, parity);
    store4(magnitude + lane, mag);
    const Float4 rise = select4(greater4(mag, load4(st.envelope + lane)), one, zero);
    const Float4 release = max4(rise, riseDecayInput * rise +
                                          riseDecayPole * load4(st.release + lane));
    store4(st.release + lane, release);
    store4(releaseArg + lane, minusPeriod /
                                  (max4(splat4(2.0f) * (release - splat4(0.5f)), zero) +
                                   splat4(0.03f)));
  }

  st.parity = parity ^ 1;

  // Release factors of the components; the mono bands' lanes are never read
  // and keep 0.
  alignas(16) float alpha[kLanes];
  for (int lane = 0; lane < kLanes; lane += 4) {
    store4(alpha + lane, rc.componentRelease(load4(releaseArg + lane)));
  }
  static_assert(kMonoBandCount == 2);
  for (int lane : {0, 1, kDiffLane, kDiffLane + 1}) alpha[lane] = 0.0f;

  // Component envelopes.
  for (int lane = 0; lane < kLanes; lane += 4) {
    const Float4 a = load4(alpha + lane);
    const Float4 level = abs4(load4(magnitude + lane));
    const Float4 peak = max4(level, (one - a) * level + a * load4(st.peak + lane));
    store4(st.peak + lane, peak);
    store4(st.envelope + lane, envelopeSmoothInput * peak +
                                   envelopeSmoothPole * load4(st.envelope + lane));
  }

  // Upper and lower levels, gate and the argument of the tangent.
  const Float4 levelReleaseInput = splat4(rc.levelReleaseInput);
  const Float4 levelReleasePole = splat4(rc.levelReleasePole);
  const Float4 levelSmoothInput = splat4(rc.levelSmoothInput);
  const Float4 levelSmoothPole = splat4(rc.levelSmoothPole);
  const Float4 lowpassFeedback = splat4(rc.lowpassFeedback);
  const Float4 lowpassScale = splat4(rc.lowpassScale);
  alignas(16) float z[kBandCount];
  for (int b = 0; b < kBandCount; b += 4) {
    const Float4 envSum = load4(st.envelope + b);
    const Float4 envDiff = load4(st.envelope + kDiffLane + b);

    const Float4 upper = max4(max4(envSum, envDiff), splat4(kUpperLevelFloor));
    const Float4 upperPeak =
        max4(upper, levelReleaseInput * upper + levelReleasePole * load4(st.upperPeak + b));
    store4(st.upperPeak + b, upperPeak);
    const Float4 upperLevel =
        levelSmoothInput * upperPeak + levelSmoothPole * load4(st.upperLevel + b);
    store4(st.upperLevel + b, upperLevel);

    const Float4 gate = min4(splat4(kGateScale) * upperLevel, one);
    const Float4 gateLowpass =
        (gate + load4(st.gate + b) - lowpassFeedback * load4(st.gateLowpass + b)) * lowpassScale;
    store4(st.gateLowpass + b, gateLowpass);
    store4(st.gate + b, gate);

    const Float4 lower = max4(min4(envSum, envDiff), splat4(kLowerLevelFloor));
    const Float4 lowerPeak =
        max4(lower, levelReleaseInput * lower + levelReleasePole * load4(st.lowerPeak + b));
    store4(st.lowerPeak + b, lowerPeak);
    const Float4 lowerLevel =
        levelSmoothInput * lowerPeak + levelSmoothPole * load4(st.lowerLevel + b);
    store4(st.lowerLevel + b, lowerLevel);

    store4(z + b, (upperLevel * gateLowpass) / lowerLevel - offset);
  }

  // The tangent curve: tan(z) where z > 0, negative values replaced by 0,
  // and 0 elsewhere (and in the mono bands). Lanes without a tangent take it
  // of 1 instead, for nothing.
  alignas(16) float curve[kBandCount];
  for (int b = 0; b < kBandCount; b += 4) {
    const Float4 arg = load4(z + b);
    const Mask4 positive = greater4(arg, zero);
    const Float4 t = quickTan(select4(positive, arg, one));
    store4(curve + b, select4(positive, select4(greater4(zero, t), zero, t), zero));
  }
  curve[0] = 0.0f;
  curve[1] = 0.0f;

  // Side gain, width limit and the band terms of the channel sums.
  alignas(16) float termA[kBandCount];
  alignas(16) float termB[kBandCount];
  for (int b = 0; b < kBandCount; b += 4) {
    const Float4 c = load4(curve + b);
    const Float4 sideLowpass =
        (c + load4(st.curve + b) - lowpassFeedback * load4(st.sideLowpass + b)) * lowpassScale;
    store4(st.sideLowpass + b, sideLowpass);
    store4(st.curve + b, c);
    const Float4 trimmed = max4(sideLowpass * trim, zero);
    store4(st.sideGain + b, trimmed);

    const Float4 diffOut = load4(bands.diffOut + b);
    const Mask4 belowLimit = greater4(limit, trimmed);
    const Float4 side = select4(belowLimit, trimmed * diffOut, limit * diffOut);
    const Float4 remainder = limit - trimmed;
    const Float4 positiveRemainder = select4(greater4(remainder, zero), remainder, zero);
    const Float4 unused = select4(belowLimit, positiveRemainder, zero);
    const Float4 factor = one + splat4(kUnusedLimitRaise) * unused;
    const Float4 sumOut = load4(bands.sumOut + b);
    store4(termA + b, (sumOut + side) * factor);
    store4(termB + b, (sumOut - side) * factor);
  }

  // The channel sums, band by band in ascending order.
  float accA = 0.0f;
  float accB = 0.0f;
  for (int m = kMonoBandCount; m < kBandCount; ++m) {
    accA = accA + termA[m];
    accB = accB + termB[m];
  }
  sumA = bands.mono + accA;
  sumB = bands.mono + accB;
}

}  // namespace vardo
