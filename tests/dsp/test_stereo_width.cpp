// Per-band stereo width and the channel sums, driven with chosen band
// components and together with the band equaliser.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "band_rig.h"

namespace {

using band_test::BandRig;
using vardo::kBandCount;
constexpr int kFirst = vardo::kMonoBandCount;  // first band with a width stage
const float kTrim = vardo::dbToLinear(10.0f);  // the default trim

TEST(StereoSideGain, SilenceSettlesAtTheTangentOfOneLessTheOffset) {
  // Both components sit at the magnitude floor and the gate is open, so z
  // tends to 1 - Offset.
  for (float offset : {0.0f, 0.8f, 0.95f}) {
    BandRig rig(8000);
    rig.setWidth(0.0f, 170.0f, offset);
    rig.runWidthTones(0.0f, 0.0f, 0.0f, 0.0f, 8000);
    for (int m = kFirst; m < kBandCount; ++m) {
      const float expected = vardo::ftan(1.0f - offset) * kTrim;
      EXPECT_NEAR(rig.width->sideGain(m), expected, 2e-3f * expected) << offset << " " << m;
    }
  }
}

TEST(StereoSideGain, TangentOfTheLevelRatioWithoutRangeReduction) {
  // Offset 1.1 and components 1.5 : 1 give z near 0.4; the trim scales the
  // result exactly. With Offset 0, z near 2.5 has a negative tangent (mono)
  // and z near 3.6 has come round again to tan(3.6 - pi) = 0.49.
  BandRig plain, trimmed, negative, wrapped;
  trimmed.setWidth(-12.0f, 170.0f, 1.1f);
  negative.setWidth(0.0f, 170.0f, 0.0f);
  wrapped.setWidth(0.0f, 170.0f, 0.0f);
  plain.runWidthTones(0.15f, 0.1f, 0.0f, 0.0f, 20000);
  trimmed.runWidthTones(0.15f, 0.1f, 0.0f, 0.0f, 20000);
  negative.runWidthTones(0.25f, 0.1f, 0.0f, 0.0f, 20000);
  wrapped.runWidthTones(0.36f, 0.1f, 0.0f, 0.0f, 20000);
  for (int m = kFirst; m < kBandCount; ++m) {
    const float side = plain.width->sideGain(m);
    EXPECT_NEAR(side, std::tan(0.4f) * kTrim, 0.1f * side);
    EXPECT_NEAR(trimmed.width->sideGain(m) / side, vardo::dbToLinear(-12.0f), 1e-5f);
    EXPECT_LT(negative.width->sideGain(m), 1e-3f);  // only the start-up transient's decay
    EXPECT_NEAR(wrapped.width->sideGain(m), std::tan(3.6f) * kTrim, 0.25f * std::tan(3.6f) * kTrim);
  }
}

TEST(StereoSideGain, GateOpensTheSideGainGentlyAfterClear) {
  // After clear the level ratio is scaled by the gate's 10 Hz lowpass: 5 ms
  // into 1.5 : 1 components (Offset 0) the side gain is still small.
  BandRig rig;
  rig.setWidth(0.0f, 170.0f, 0.0f);
  rig.runWidthTones(0.15f, 0.1f, 0.0f, 0.0f, 220);
  const float early = rig.width->sideGain(5);
  rig.runWidthTones(0.15f, 0.1f, 0.0f, 0.0f, 20000);
  EXPECT_GT(early, 0.0f);
  EXPECT_LT(early, 1.0f);
  EXPECT_GT(rig.width->sideGain(5), 20.0f);
}

TEST(ChannelSums, BandsWithoutSideGainAreRaisedByTheUnusedLimit) {
  // Equal components: z <= 1 - 1.1 < 0, so kt = 0, both channels agree and
  // every band is scaled by F = 1 + 0.414 B (1.7038 at the default).
  for (float percent : {0.0f, 100.0f, 170.0f, 200.0f}) {
    BandRig rig;
    rig.setWidth(0.0f, percent, 1.1f);
    rig.runWidthTones(0.2f, 0.2f, 0.25f, 0.5f, 4000);
    for (int m = kFirst; m < kBandCount; ++m) EXPECT_EQ(rig.width->sideGain(m), 0.0f);
    EXPECT_EQ(rig.sumA, rig.sumB);
    EXPECT_NEAR(rig.sumA, 10.0f * 0.25f * (1.0f + 0.414f * 0.01f * percent), 1e-5f) << percent;
  }
}

TEST(ChannelSums, SideGainMixesTheDifferenceWithOppositeSigns) {
  // Below the limit a band adds +-kt Q' and keeps F = 1 + 0.414 (B - kt);
  // at or above it, +-B Q' with F = 1. L01 enters both sums with weight 1.
  for (float offset : {1.1f, 0.0f}) {
    BandRig rig;
    rig.setWidth(0.0f, 170.0f, offset);
    rig.out.mono = 0.75f;
    rig.runWidthTones(0.15f, 0.1f, 0.25f, 0.125f, 20000);
    double a = 0.75;
    double b = 0.75;
    for (int m = kFirst; m < kBandCount; ++m) {
      const double kt = rig.width->sideGain(m);
      const double factor = 1.0 + 0.414 * std::max(1.7 - kt, 0.0);
      a += (0.25 + std::min(kt, 1.7) * 0.125) * factor;
      b += (0.25 - std::min(kt, 1.7) * 0.125) * factor;
    }
    EXPECT_EQ(rig.width->sideGain(kFirst) >= 1.7f, offset == 0.0f);
    EXPECT_GT(rig.width->sideGain(kFirst), 0.1f);
    EXPECT_NEAR(rig.sumA, a, 1e-5);
    EXPECT_NEAR(rig.sumB, b, 1e-5);
    EXPECT_GT(rig.sumA - rig.sumB, 0.1f);
  }
}

TEST(ChannelSums, WidebandProgrammeDiffersOnlyWhenTheLimitAllowsAndMonoBandsAgree) {
  // x and a decorrelated d through the bands: at the default limit the
  // channels differ clearly; at a limit of 0 they agree sample for sample.
  // Bands 0 and 1 reach both channels alike, here with extreme controls: a
  // second width stage fed the same bands without L01 differs by L01 exactly.
  BandRig wide, narrow, extreme;
  narrow.setWidth(0.0f, 0.0f, 1.1f);
  extreme.setWidth(12.0f, 200.0f, 0.0f);
  BandRig::Width withoutMono;
  withoutMono.setRate(extreme.rate);
  withoutMono.clear();
  withoutMono.prepareBlock(extreme.controls, extreme.rate);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
  double diffEnergy = 0.0, sumEnergy = 0.0, diffLines = 0.0, monoLevel = 0.0;
  bool identical = true;
  float worst = 0.0f;
  for (int i = 0; i < 12000; ++i) {
    const float x = noise(rng);
    const float d = noise(rng);
    wide.step(x, d);
    narrow.step(x, d);
    extreme.step(x, d);
    identical = identical && narrow.sumA == narrow.sumB;
    for (int m = kFirst; m < kBandCount; ++m) diffLines += std::fabs(narrow.out.diffOut[m]);
    diffEnergy += double{wide.sumA - wide.sumB} * (wide.sumA - wide.sumB);
    sumEnergy += double{wide.sumA + wide.sumB} * (wide.sumA + wide.sumB);
    vardo::BandOutputs stripped = extreme.out;
    stripped.mono = 0.0f;
    float a = 0.0f;
    float b = 0.0f;
    withoutMono.processRun(1, 0, &stripped, &a, &b);
    const float mono = extreme.out.mono;
    monoLevel += std::fabs(mono);
    worst = std::max({worst, std::fabs(extreme.sumA - a - mono), std::fabs(extreme.sumB - b - mono)});
  }
  EXPECT_TRUE(identical);
  EXPECT_GT(diffLines, 0.0);  // the difference lines did carry signal
  EXPECT_GT(std::sqrt(diffEnergy / sumEnergy), 0.1);
  EXPECT_GT(monoLevel, 1.0);
  EXPECT_LT(worst, 1e-5f);
}

}  // namespace
