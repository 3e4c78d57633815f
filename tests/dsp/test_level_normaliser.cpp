// The look-ahead level normaliser and the noise-reduction corners, driven
// straight through a band-limited history ring.
#include <gtest/gtest.h>

#include <cmath>

#include "signal_measure.h"
#include "stages/level_normaliser.h"

using namespace vardo;
using namespace vardo::test;

namespace {

struct NormaliserRig {
  LevelNormaliser stage;
  Ring<256> history;
  SampleRate rate;
  ControlFields controls = defaultControls();
  std::uint32_t n = 0;

  explicit NormaliserRig(int fs) : rate(SampleRate::fromRate(fs)) {
    stage.setRate(rate);
    stage.clear();
    prepare();
  }
  void prepare() { stage.prepareBlock(controls, rate); }
  float step(float x) {
    history.write(n, x);
    const float o = stage.process(history, n);
    ++n;
    return o;
  }
  std::vector<float> run(const std::vector<float>& x) {
    std::vector<float> y;
    for (float v : x) y.push_back(step(v));
    return y;
  }
};

}  // namespace

TEST(LevelNormaliser, SilenceGivesZerosAtTheFloorAndTheLowestCorners) {
  NormaliserRig rig(48000);
  rig.controls.dnrSensitivity = 300.0f;
  rig.controls.dnr2Sensitivity = 300.0f;
  rig.prepare();
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(rig.step(0.0f), 0.0f);
  EXPECT_EQ(rig.stage.divisor(), kFloor90dB);
  EXPECT_EQ(rig.stage.firstCornerHz(), 1000.0f);
  EXPECT_EQ(rig.stage.secondCornerHz(), 1000.0f);
  const SecondCorner& c = rig.stage.secondCorner();
  EXPECT_NEAR(c.k, 1.0 / std::tan(std::numbers::pi * 1000.0 / 48000.0), 1e-4);
  EXPECT_EQ(c.oneMinusK, 1.0f - c.k);
  EXPECT_EQ(c.kPlusOne, c.k + 1.0f);
}

TEST(LevelNormaliser, LevelScaleReferenceFigures) {
  EXPECT_NEAR(NormaliserRig(48000).stage.levelScale(), 0.0212217, 1e-7);
  EXPECT_NEAR(NormaliserRig(44100).stage.levelScale(), 0.0251207, 1e-7);
}

TEST(LevelNormaliser, EnvelopeIsUpBeforeALoudOnsetReachesTheDivisor) {
  NormaliserRig rig(48000);
  const std::uint32_t onset = 3000;
  std::vector<float> x(onset + 2000, 0.0f);
  for (std::size_t i = onset; i < x.size(); ++i) x[i] = (i % 2 ? 0.8f : -0.8f);
  float envelopeBefore = 0.0f, envelopeAtDivisor = 0.0f;
  double peakOut = 0.0;
  for (std::uint32_t i = 0; i < x.size(); ++i) {
    const float o = rig.step(x[i]);
    if (i == onset - 1) envelopeBefore = rig.stage.envelope();
    if (i == onset + LevelNormaliser::kLookAhead) envelopeAtDivisor = rig.stage.divisor();
    peakOut = std::max(peakOut, std::fabs(static_cast<double>(o)));
  }
  EXPECT_EQ(envelopeBefore, 0.0f);
  // 2 ms attack over 221 samples at 48 kHz: above 90 % of the peak.
  EXPECT_GT(envelopeAtDivisor, 0.9f * 0.8f);
  EXPECT_LE(envelopeAtDivisor, 0.8f);
  // So the normalised signal never overshoots far and the rescaled output
  // stays at the input's level.
  EXPECT_LT(peakOut, 0.8 * 1.05);
}

TEST(LevelNormaliser, OpenLowpassPassesTheSignal346SamplesLate) {
  // Near fs / 2 the open first-order lowpass lags by only K / 2 samples, so
  // the output is the input 221 + 125 samples late; one sample off would
  // leave an error of about 0.03 here.
  for (int fs : {44100, 48000}) {
    NormaliserRig rig(fs);
    rig.controls.dnrLpfDisable = 1.0f;
    rig.prepare();
    const auto x = sine(440.0, fs, fs, 0.5);
    const auto y = rig.run(x);
    EXPECT_EQ(rig.stage.firstCornerHz(), 22000.0f);
    EXPECT_EQ(rig.stage.secondCornerHz(), 22000.0f);
    double worst = 0.0;
    for (std::size_t i = fs / 2; i < y.size(); ++i)
      worst = std::max(worst, std::fabs(static_cast<double>(y[i]) - x[i - 346]));
    EXPECT_LT(worst, 0.004) << fs;
  }
}

TEST(LevelNormaliser, DisableSwitchCountsOnlyAboveHalf) {
  NormaliserRig rig(48000);
  rig.controls.dnrSensitivity = 10.0f;
  rig.controls.dnr2Sensitivity = 0.0f;
  rig.controls.dnrLpfDisable = 0.5f;
  rig.prepare();
  rig.run(sine(100.0, 48000, 4800, 0.5));
  EXPECT_EQ(rig.stage.firstCornerHz(), 1000.0f);
  EXPECT_EQ(rig.stage.secondCornerHz(), 1000.0f);
  rig.controls.dnrLpfDisable = 0.51f;
  rig.prepare();
  rig.step(0.1f);
  EXPECT_EQ(rig.stage.firstCornerHz(), 22000.0f);
  EXPECT_EQ(rig.stage.secondCornerHz(), 22000.0f);
  // At 48 kHz the open corner gives K of about 0.13, at 44.1 kHz about 0.0036.
  EXPECT_NEAR(rig.stage.secondCorner().k, 0.13, 0.005);
  NormaliserRig rig44(44100);
  rig44.controls.dnrLpfDisable = 1.0f;
  rig44.prepare();
  rig44.step(0.0f);
  EXPECT_NEAR(rig44.stage.secondCorner().k, 0.0036, 0.0002);
}

TEST(LevelNormaliser, CornersFollowTrebleContentScaledBySensitivity) {
  // Broadband noise carries far more treble than a 200 Hz tone.
  auto cornersAfter = [](const std::vector<float>& x, float s1, float s2) {
    NormaliserRig rig(48000);
    rig.controls.dnrSensitivity = s1;
    rig.controls.dnr2Sensitivity = s2;
    rig.prepare();
    rig.run(x);
    return std::pair{rig.stage.firstCornerHz(), rig.stage.secondCornerHz()};
  };
  const auto hiss = noise(24000, 0.3);
  const auto tone = sine(200.0, 48000, 24000, 0.3);
  const auto [hissFirst, hissSecond] = cornersAfter(hiss, 10.0f, 20.0f);
  const auto [toneFirst, toneSecond] = cornersAfter(tone, 10.0f, 20.0f);
  EXPECT_GT(hissFirst, 1500.0f);
  EXPECT_LT(hissFirst, 22000.0f);
  EXPECT_EQ(toneFirst, 1000.0f);
  // The same detector level drives both corners, in proportion to the sensitivity.
  EXPECT_NEAR(hissSecond / hissFirst, 2.0f, 1e-5);
  EXPECT_LE(toneSecond, hissSecond);
  // Full sensitivity on hiss reaches the upper clamp.
  EXPECT_EQ(cornersAfter(hiss, 300.0f, 300.0f).first, 22000.0f);
}
