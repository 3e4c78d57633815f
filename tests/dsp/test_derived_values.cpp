// Sample-rate clamp, rate constants and control-derived values against
// independently known figures.
#include <gtest/gtest.h>

#include <cstring>

#include "mydsp.h"
#include "stages/level_normaliser.h"

using vardo::SampleRate;

namespace {

bool sameBits(const SampleRate& a, const SampleRate& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
// Closeness to a figure quoted to about six significant digits.
void expectNear6(double value, double figure) { EXPECT_NEAR(value, figure, std::fabs(figure) * 5e-6); }

float levelScale(int fs) {
  vardo::LevelNormaliser stage;
  stage.setRate(SampleRate::fromRate(fs));
  return stage.levelScale();
}

}  // namespace

TEST(SampleRateClamp, OutOfRangeRatesTakeTheNearestEndAndTheDspReportsTheRateAsPassed) {
  EXPECT_EQ(SampleRate::fromRate(1).fs, 1.0f);
  EXPECT_TRUE(sameBits(SampleRate::fromRate(0), SampleRate::fromRate(1)));
  EXPECT_TRUE(sameBits(SampleRate::fromRate(-5), SampleRate::fromRate(1)));
  EXPECT_TRUE(sameBits(SampleRate::fromRate(250000), SampleRate::fromRate(192000)));
  EXPECT_FALSE(sameBits(SampleRate::fromRate(48000), SampleRate::fromRate(192000)));

  mydsp dsp;
  for (auto [passed, fs] : {std::pair{44100, 44100.0f}, {192000, 192000.0f}, {384000, 192000.0f}, {0, 1.0f}}) {
    dsp.initialize(passed);
    EXPECT_EQ(dsp.sampleRate(), passed);
    EXPECT_EQ(dsp.rate().fs, fs) << passed;
  }
}

TEST(RateConstants, ReferenceFiguresAt48000And44100) {
  const SampleRate r48 = SampleRate::fromRate(48000);
  const float k100 = r48.kFixed(100.0f);
  expectNear6(k100, 152.787);
  expectNear6((k100 + 1.4142135f) * k100 + 1.0f, 23560.8);
  expectNear6(levelScale(48000), 0.0212217);
  expectNear6(r48.kFixed(40.0f), 381.971);
  expectNear6(r48.kFixed(1000.0f), 15.2571);
  expectNear6(r48.pole(2.0f), 0.999958);
  expectNear6(r48.pole(500.0f), 0.989637);

  const SampleRate r44 = SampleRate::fromRate(44100);
  expectNear6(r44.kFixed(100.0f), 140.372);
  expectNear6(levelScale(44100), 0.0251207);
  // Fixed angles are pi f rounded to float, times 1 / fs.
  EXPECT_EQ(r44.tanFixed(40.0f), vardo::ftan(125.663704f * r44.r));
  EXPECT_NEAR(r44.sinFixed(7500.0f), 0.876, 1e-3);
}

TEST(RateConstants, NyquistLimitTouchesNoCornerFrom44100UpAndKeepsLowerRatesStable) {
  const float corners[] = {10, 40, 50, 75, 100, 1000, 2000, 3200, 3500, 4500, 5000, 7500, 15000, 22000};
  for (int rate : {44100, 48000, 96000, 192000})
    for (float f : corners) {
      EXPECT_EQ(SampleRate::fromRate(rate).limitCorner(f), f) << rate << " Hz, corner " << f;
    }
  for (int rate : {1, 8000, 11025, 22050, 32000, 44000})
    for (float f : corners) {
      const SampleRate r = SampleRate::fromRate(rate);
      EXPECT_LT(r.limitCorner(f), 0.5f * r.fs);
      EXPECT_GT(r.tanMoving(f), 0.0f) << rate << " " << f;
      EXPECT_GT(r.tanFixed(f), 0.0f) << rate << " " << f;
      EXPECT_GT(r.sinFixed(f), 0.0f) << rate << " " << f;
    }
}

TEST(BlockValues, DecibelConversionsOfTheDefaults) {
  using vardo::dbToLinear;
  EXPECT_EQ(dbToLinear(0.0f), 1.0f);
  EXPECT_NEAR(dbToLinear(-90.0f), 3.1622778e-5, 1e-11);
  EXPECT_NEAR(dbToLinear(55.0f), 562.3413, 1e-4);
  EXPECT_NEAR(dbToLinear(55.0f) - 55.0f, 507.3413, 1e-4);
  EXPECT_NEAR(dbToLinear(-60.0f), 0.001, 1e-9);
  EXPECT_NEAR(dbToLinear(-3.0f), 0.70794576, 1e-7);
  EXPECT_NEAR(dbToLinear(10.0f), 3.1622777, 1e-6);
  EXPECT_NEAR(dbToLinear(-6.0f) * 0.001f, 0.00050118723, 1e-11);
  EXPECT_NEAR(dbToLinear(16.0f), 6.3095737, 1e-6);
}
