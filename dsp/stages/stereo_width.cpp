#include "stereo_width.h"

#include "band_constants.h"

#include <algorithm>
#include <cmath>

namespace vardo {

void StereoWidth::setRate(const SampleRate& rate) {
  fRate.period = rate.r;
  static_cast<WidthPoles&>(fRate) = widthPoles(rate);
}

void StereoWidth::prepareBlock(const ControlFields& controls, const SampleRate&) {
  fBlock = widthBlockValues(controls);
}

void StereoWidth::clear() {
  for (BandState& band : fBands) band = BandState{};
}

float StereoWidth::followComponent(ComponentEnvelope& c, float magnitude) {
  // Release from 30 ms (steady) to 1.03 s (just after a rise), then 1 ms smoothing.
  const float rise = magnitude > c.envelope ? 1.0f : 0.0f;
  c.release = std::max(rise, fRate.riseDecayInput * rise + fRate.riseDecayPole * c.release);
  const float alpha =
      fexp(-fRate.period / (std::max(2.0f * (c.release - 0.5f), 0.0f) + 0.03f));
  const float level = std::fabs(magnitude);
  c.peak = std::max(level, (1.0f - alpha) * level + alpha * c.peak);
  c.envelope = fRate.envelopeSmoothInput * c.peak + fRate.envelopeSmoothPole * c.envelope;
  return c.envelope;
}

float StereoWidth::processBand(BandState& band, float a, float b, float diffOut, float& side) {
  // Quadrature magnitudes of the two gained components.
  float late = 0.0f;
  float now = 0.0f;
  band.sumPair.process(a, late, now);
  const float magSum = flooredMagnitude(late, now);
  band.diffPair.process(b, late, now);
  const float magDiff = flooredMagnitude(late, now);

  const float envSum = followComponent(band.sumLevel, magSum);
  const float envDiff = followComponent(band.diffLevel, magDiff);

  // Upper level, 0.4 s release and 30 ms smoothing.
  const float upper = std::max(std::max(envSum, envDiff), kUpperLevelFloor);
  band.upperPeak = std::max(
      upper, fRate.levelReleaseInput * upper + fRate.levelReleasePole * band.upperPeak);
  band.upperLevel =
      fRate.levelSmoothInput * band.upperPeak + fRate.levelSmoothPole * band.upperLevel;

  // Gate: closes the side gain below an upper level of 1/1000, through a 10 Hz lowpass.
  const float gate = std::min(kGateScale * band.upperLevel, 1.0f);
  band.gateLowpass =
      (gate + band.gate - fRate.lowpassFeedback * band.gateLowpass) * fRate.lowpassScale;
  band.gate = gate;

  // Lower level, same release and smoothing.
  const float lower = std::max(std::min(envSum, envDiff), kLowerLevelFloor);
  band.lowerPeak = std::max(
      lower, fRate.levelReleaseInput * lower + fRate.levelReleasePole * band.lowerPeak);
  band.lowerLevel =
      fRate.levelSmoothInput * band.lowerPeak + fRate.levelSmoothPole * band.lowerLevel;

  // Tangent curve of the gated level ratio less the offset. The tangent is
  // taken of the argument as it is: negative values (between pi/2 and pi)
  // give no side gain, and above pi the curve repeats.
  const float z = (band.upperLevel * band.gateLowpass) / band.lowerLevel - fBlock.offset;
  float curve = 0.0f;
  if (z > 0.0f) {
    curve = ftan(z);
    if (curve < 0.0f) curve = 0.0f;
  }

  // 10 Hz smoothing, then the trim.
  band.sideLowpass =
      (curve + band.curve - fRate.lowpassFeedback * band.sideLowpass) * fRate.lowpassScale;
  band.curve = curve;
  const float trimmed = std::max(band.sideLowpass * fBlock.trim, 0.0f);
  band.sideGain = trimmed;

  // Width limit: the side gain up to the limit; the unused part of the
  // limit raises the band in both channels.
  float unused = 0.0f;
  if (fBlock.limit > trimmed) {
    side = trimmed * diffOut;
    unused = fBlock.limit - trimmed;
    if (!(unused > 0.0f)) unused = 0.0f;
  } else {
    side = fBlock.limit * diffOut;
  }
  return 1.0f + kUnusedLimitRaise * unused;
}

void StereoWidth::process(const BandOutputs& bands, float& sumA, float& sumB) {
  float accA = 0.0f;
  float accB = 0.0f;
  for (int m = kMonoBandCount; m < kBandCount; ++m) {
    float side = 0.0f;
    const float factor = processBand(fBands[m - kMonoBandCount], bands.gained[m],
                                     bands.gainedDiff[m], bands.diffOut[m], side);
    accA = accA + (bands.sumOut[m] + side) * factor;
    accB = accB + (bands.sumOut[m] - side) * factor;
  }
  sumA = bands.mono + accA;
  sumB = bands.mono + accB;
}

}  // namespace vardo
