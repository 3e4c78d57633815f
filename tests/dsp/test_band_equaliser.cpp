// Twelve-band automatic equaliser: gain regimes, hold, silence, look-ahead
// and line delay, stability across sample rates.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "band_rig.h"

namespace {

using band_test::BandRig;
using vardo::kBandCount;

double bandCentre(int m) {
  return std::sqrt(double{vardo::kBandEdgeHz[m]} * vardo::kBandEdgeHz[m + 1]);
}

TEST(BandGainRegimes, LoudToneSettlesAtAFixedOutputLevel) {
  // Above 1 / R_m the gain is 1 / M and the output no longer follows the
  // input level. With d = 0 the sum line carries 2 c_m times the normalised
  // band: every band settles a little under 2 c_m (the envelope follows the
  // peaks of the magnitude's ripple). Band 10's weight is a tenth of the others.
  const float weight[kBandCount] = {0.0891251f,   0.061095733f, 0.04066836f,  0.05023413f,
                                    0.04823413f,  0.04623413f,  0.044234134f, 0.049095735f,
                                    0.047095735f, 0.045095734f, 0.005118864f, 0.04879458f};
  for (int m = 0; m < kBandCount; ++m) {
    float peak[2] = {0.0f, 0.0f};
    for (int loud = (m == 0 || m == 5 || m == 11) ? 0 : 1; loud < 2; ++loud) {
      BandRig rig;
      rig.runSine(bandCentre(m), loud ? 0.3f : 0.03f, 6000);
      for (int i = 0; i < (m < 2 ? 2500 : 500); ++i) {  // longer than a period of the tone
        rig.runSine(bandCentre(m), loud ? 0.3f : 0.03f, 1);
        peak[loud] = std::max(peak[loud], std::fabs(rig.out.sumOut[m]));
      }
      ASSERT_GT(rig.bands->level(m), 2.0f / rig.bands->ceiling(m));
    }
    if (peak[0] > 0.0f) {  // a tenfold quieter tone in the lowest, a middle and the top band
      EXPECT_NEAR(peak[1] / peak[0], 1.0f, 0.01f) << m;
    }
    EXPECT_GT(peak[1], 0.85f * 2.0f * weight[m]) << m;
    EXPECT_LT(peak[1], 1.02f * 2.0f * weight[m]) << m;
  }
}

TEST(BandGainRegimes, QuietToneGetsTheCeilingAndBelowTheThresholdFallsInProportion) {
  // At 30 dB, G = 31.62 and R_5 = G - 25 (linear). With Tq < M < 1 / R_5 the
  // gain is R_5; with Tq = 0.1 above M it is R_5 M / Tq, halving with M.
  const float ceiling = vardo::dbToLinear(30.0f) - 25.0f;
  float level[3];
  float gain[3];
  const float thresholdDb[3] = {-60.0f, -20.0f, -20.0f};
  const float amplitude[3] = {0.05f, 0.06f, 0.03f};
  for (int i = 0; i < 3; ++i) {
    BandRig rig(22050);
    rig.controls.noisegateGain = 30.0f;
    rig.controls.autoEqThreshold = thresholdDb[i];
    rig.applyControls();
    rig.runSine(bandCentre(5), amplitude[i], 8000);
    level[i] = rig.bands->level(5);
    gain[i] = rig.bands->gain(5);
    EXPECT_FLOAT_EQ(rig.bands->ceiling(5), ceiling);
    EXPECT_FLOAT_EQ(rig.bands->ceiling(11), vardo::kFloor90dB);
  }
  ASSERT_GT(level[0], 0.01f);
  ASSERT_LT(level[0], 0.5f / ceiling);
  EXPECT_NEAR(gain[0], ceiling, 0.03f * ceiling);
  ASSERT_LT(level[1], 0.1f);
  EXPECT_NEAR(gain[1], ceiling * level[1] / 0.1f, 0.03f * gain[1]);
  EXPECT_NEAR(gain[1] / gain[2], 2.0f, 0.06f);
}

TEST(BandGainRegimes, DensityLimitHoldsTheGainDownAfterALoudPassage) {
  // rho = 1: the slow envelope (5 s release) keeps the denominator up after
  // a loud passage; at rho = -30 dB the gain recovers within 2 s of silence.
  float gain[2];
  for (int i = 0; i < 2; ++i) {
    BandRig rig(8000);
    rig.controls.autoEqDensityLimit = i == 0 ? 0.0f : -30.0f;
    rig.applyControls();
    rig.runSine(bandCentre(5), 0.5f, 4000);
    rig.runSine(bandCentre(5), 0.0f, 16000);
    gain[i] = rig.bands->gain(5);
  }
  EXPECT_LT(gain[0] * 5.0f, gain[1]);
  EXPECT_LT(gain[0], 20.0f);
}

TEST(BandGainRegimes, HoldReportsTheLast44PeaksNeverBelowTheThreshold) {
  // H = maximum of max(M, Tq) over the current and 43 previous samples,
  // through a noise burst and its exact end.
  BandRig rig;
  rig.controls.autoEqThreshold = -40.0f;  // Tq = 0.01, above the magnitude floor
  rig.applyControls();
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
  std::vector<float> level[kBandCount];
  bool exact = true;
  for (int i = 0; i < 3000; ++i) {
    rig.step(i < 1500 ? noise(rng) : 0.0f, 0.0f, false);
    for (int m = 0; m < kBandCount; ++m) {
      level[m].push_back(std::max(rig.bands->level(m), 0.01f));
      float expected = 0.0f;
      for (int lag = 0; lag < 44 && lag <= i; ++lag) expected = std::max(expected, level[m][i - lag]);
      exact = exact && rig.bands->heldLevel(m) == expected;
    }
  }
  EXPECT_TRUE(exact);
  EXPECT_EQ(rig.bands->heldLevel(0), 0.01f);
}

TEST(BandSilence, GainsSettleAtThePredictedValuesAndOutputsAreExactZeros) {
  // Only the magnitude floor 0.0056234 is seen: the gain tends to
  // min(R_m 0.0056234, 1) / max(0.0056234, Tq): 177.83 at the defaults, and
  // at 0 dB 1 for band 0 and 3.16e-5 for the others.
  const float floorLevel = std::sqrt(vardo::kFloor90dB);
  const float cases[3][2] = {{55.0f, -60.0f}, {0.0f, -60.0f}, {55.0f, -20.0f}};  // dB, Tq dB
  for (const auto& c : cases) {
    BandRig rig(8000);
    rig.controls.noisegateGain = c[0];
    rig.controls.autoEqThreshold = c[1];
    rig.applyControls();
    bool zero = true;
    for (int i = 0; i < 4000; ++i) {
      rig.step(0.0f, 0.0f);
      zero = zero && rig.out.mono == 0.0f && rig.sumA == 0.0f && rig.sumB == 0.0f;
      for (int m = 0; m < kBandCount; ++m) {
        zero = zero && rig.out.gained[m] == 0.0f && rig.out.gainedDiff[m] == 0.0f &&
               rig.out.sumOut[m] == 0.0f && rig.out.diffOut[m] == 0.0f;
      }
    }
    EXPECT_TRUE(zero);
    for (int m = 0; m < kBandCount; ++m) {
      const float expected = std::min(rig.bands->ceiling(m) * floorLevel, 1.0f) /
                             std::max(floorLevel, vardo::dbToLinear(c[1]));
      EXPECT_NEAR(rig.bands->gain(m), expected, 1e-3f * expected) << c[0] << " " << c[1] << " " << m;
    }
    EXPECT_NEAR(rig.bands->gain(0), c[0] == 0.0f ? 1.0f : c[1] < -50.0f ? 177.83f : 10.0f, 0.02f);
  }
}

TEST(BandDelay, ImpulseLeavesEveryBandExactly2180SamplesLate) {
  // The gain multiplies the band value of 132 samples earlier and the gained
  // value leaves its line 2048 samples later. With d = 0 both inputs agree:
  // a = b, and the difference lines carry exact zeros.
  constexpr int kAt = 100;
  BandRig rig;
  std::vector<vardo::BandOutputs> seen;
  for (int i = 0; i < 4400; ++i) {
    rig.step(i == kAt ? 1.0f : 0.0f, 0.0f, false);
    seen.push_back(rig.out);
  }
  for (int m = 0; m < kBandCount; ++m) {
    int firstGained = -1;
    int firstOut = -1;
    bool exact = true;
    for (int i = 0; i < 4400; ++i) {
      if (firstGained < 0 && seen[i].gained[m] != 0.0f) firstGained = i;
      if (firstOut < 0 && seen[i].sumOut[m] != 0.0f) firstOut = i;
      exact = exact && seen[i].gained[m] == seen[i].gainedDiff[m] && seen[i].diffOut[m] == 0.0f;
      if (i >= 2048) {
        exact = exact && seen[i].sumOut[m] == seen[i - 2048].gained[m] + seen[i - 2048].gainedDiff[m];
      }
    }
    EXPECT_TRUE(exact) << m;
    EXPECT_EQ(firstGained, kAt + 132) << m;
    EXPECT_EQ(firstOut, kAt + 132 + 2048) << m;
  }
}

TEST(BandStability, NoiseAndSweepsStayFiniteFrom8000To192000Hz) {
  // Edges at or above fs / 2 are kept just under it: the upper bands stay
  // stable (and nearly silent) at low rates.
  for (int rateHz : {8000, 11025, 16000, 22050, 32000, 44100, 96000, 192000}) {
    BandRig rig(rateHz);
    std::mt19937 rng(static_cast<unsigned>(rateHz));
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    bool finite = true;
    float peak = 0.0f;
    double phase = 0.0;
    for (int i = 0; i < 8000; ++i) {
      // Noise in x and d, then a logarithmic sweep from 20 Hz to 0.49 fs.
      phase += 2.0 * band_test::kPi * 20.0 * std::pow(0.49 * rig.rate.fs / 20.0, (i - 4000) / 4000.0) /
               rig.rate.fs;
      const bool sweep = i >= 4000;
      rig.step(sweep ? static_cast<float>(std::sin(phase)) : noise(rng),
               sweep ? 0.5f * static_cast<float>(std::cos(phase)) : noise(rng));
      for (int m = 0; m < kBandCount; ++m) {
        finite = finite && std::isfinite(rig.out.gained[m] + rig.out.gainedDiff[m] +
                                         rig.bands->gain(m));
        peak = std::max(peak, std::fabs(rig.out.sumOut[m]) + std::fabs(rig.out.diffOut[m]));
      }
      finite = finite && std::isfinite(rig.sumA) && std::isfinite(rig.sumB) && std::isfinite(peak);
    }
    EXPECT_TRUE(finite) << rateHz;
    EXPECT_LT(peak, 10.0f) << rateHz;
    EXPECT_GT(peak, 0.01f) << rateHz;
  }
}

}  // namespace
