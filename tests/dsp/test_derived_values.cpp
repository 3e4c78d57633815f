// Sample-rate clamp, rate constants and control-derived values against
// independently known figures.
#include <gtest/gtest.h>

#include <cstring>

#include "float_math.h"
#include "mydsp.h"
#include "sample_rate.h"

using vardo::SampleRate;

namespace {

bool sameBits(const SampleRate& a, const SampleRate& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Relative closeness to a figure quoted to about six significant digits.
void expectNear6(double value, double figure) { EXPECT_NEAR(value, figure, std::fabs(figure) * 5e-6); }

}  // namespace

TEST(SampleRateClamp, RatesOutsideTheRangeGiveTheConstantsOfTheNearestEnd) {
  const SampleRate one = SampleRate::fromRate(1);
  EXPECT_EQ(one.fs, 1.0f);
  EXPECT_TRUE(sameBits(SampleRate::fromRate(0), one));
  EXPECT_TRUE(sameBits(SampleRate::fromRate(-5), one));

  const SampleRate top = SampleRate::fromRate(192000);
  EXPECT_EQ(top.fs, 192000.0f);
  EXPECT_TRUE(sameBits(SampleRate::fromRate(250000), top));
  EXPECT_TRUE(sameBits(SampleRate::fromRate(384000), top));
  EXPECT_FALSE(sameBits(SampleRate::fromRate(48000), top));
  EXPECT_EQ(SampleRate::fromRate(48000).fs, 48000.0f);
}

TEST(SampleRateClamp, DspReportsTheRateAsPassedButUsesTheClampedOne) {
  mydsp dsp;
  const struct {
    int passed;
    float fs;
  } cases[] = {{44100, 44100.0f}, {384000, 192000.0f}, {250000, 192000.0f}, {0, 1.0f}, {-5, 1.0f}};
  for (const auto& c : cases) {
    dsp.initialize(c.passed);
    EXPECT_EQ(dsp.sampleRate(), c.passed);
    EXPECT_EQ(dsp.rate().fs, c.fs) << c.passed;
  }
}

TEST(RateConstants, ReferenceFiguresAt48000And44100) {
  const SampleRate r48 = SampleRate::fromRate(48000);
  const float k100 = r48.kFixed(100.0f);
  expectNear6(k100, 152.787);
  expectNear6((k100 + 1.4142135f) * k100 + 1.0f, 23560.8);
  expectNear6(r48.kFixed(40.0f), 381.971);
  expectNear6(r48.kFixed(1000.0f), 15.2571);
  expectNear6(r48.pole(2.0f), 0.999958);
  expectNear6(r48.pole(500.0f), 0.989637);
  // p(2) is exp(-(r + r)); doubling is exact, so k r gives the same bits.
  EXPECT_EQ(r48.pole(2.0f), vardo::fexp(-(r48.r + r48.r)));

  const SampleRate r44 = SampleRate::fromRate(44100);
  expectNear6(r44.kFixed(100.0f), 140.372);
  // The fixed tangent's angle is pi f rounded to float, times 1/fs.
  EXPECT_EQ(r44.tanFixed(100.0f), vardo::ftan(314.15927f * r44.r));
  EXPECT_EQ(r44.tanFixed(40.0f), vardo::ftan(125.663704f * r44.r));
  EXPECT_EQ(r44.tanFixed(10.0f), vardo::ftan(31.415926f * r44.r));
  EXPECT_NEAR(r44.sinFixed(7500.0f), 0.876, 1e-3);
}

TEST(RateConstants, NyquistLimitLeavesEveryCornerUntouchedFrom44100Up) {
  // Every fixed and moving corner of the input conditioning chain, including
  // the ends of the control ranges and the noise-reduction clamp.
  const float corners[] = {10,   40,   50,   75,   100,  1000, 2000,  3200,
                           3500, 4500, 5000, 7500, 9600, 15000, 22000};
  for (int rate : {44100, 48000, 88200, 96000, 192000, 384000}) {
    const SampleRate r = SampleRate::fromRate(rate);
    for (float f : corners) {
      EXPECT_EQ(r.limitCorner(f), f) << rate << " Hz, corner " << f;
      EXPECT_EQ(r.tanMoving(f), vardo::ftan(f * r.piOverFs));
      EXPECT_GT(r.tanMoving(f), 0.0f);
    }
  }
  // Below, corners at or above fs / 2 are pulled just under it and keep a
  // finite positive tangent and a positive sine.
  for (int rate : {1, 8000, 11025, 16000, 22050, 32000, 44000}) {
    const SampleRate r = SampleRate::fromRate(rate);
    for (float f : corners) {
      const float limited = r.limitCorner(f);
      EXPECT_LT(limited, 0.5f * r.fs);
      EXPECT_TRUE(std::isfinite(r.tanMoving(f)) && r.tanMoving(f) > 0.0f) << rate << " " << f;
      EXPECT_TRUE(std::isfinite(r.tanFixed(f)) && r.tanFixed(f) > 0.0f) << rate << " " << f;
      EXPECT_GT(r.sinFixed(f), 0.0f) << rate << " " << f;
    }
  }
}

TEST(BlockValues, DecibelConversionsOfTheDefaults) {
  using vardo::dbToLinear;
  EXPECT_EQ(dbToLinear(0.0f), 1.0f);
  EXPECT_NEAR(dbToLinear(-90.0f), 3.1622778e-5, 1e-11);
  const float gate = dbToLinear(55.0f);
  EXPECT_NEAR(gate, 562.3413, 1e-4);
  EXPECT_NEAR(gate - 55.0f, 507.3413, 1e-4);
  EXPECT_NEAR(dbToLinear(-60.0f), 0.001, 1e-9);
  EXPECT_NEAR(dbToLinear(-3.0f), 0.70794576, 1e-7);
  EXPECT_NEAR(dbToLinear(0.0f + 10.0f), 3.1622777, 1e-6);
  EXPECT_NEAR(0.01f * 170.0f, 1.7, 1e-6);
  EXPECT_NEAR(dbToLinear(-6.0f) * 0.001f, 0.00050118723, 1e-11);
  EXPECT_NEAR(dbToLinear(16.0f), 6.3095737, 1e-6);
}
