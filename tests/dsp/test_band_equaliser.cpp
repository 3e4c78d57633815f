// Twelve-band automatic equaliser: gain regimes, silence, look-ahead and
// line delay, and stability across sample rates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "controls.h"
#include "float_math.h"
#include "sample_rate.h"
#include "stages/band_equaliser.h"

namespace {

using vardo::BandEqualiser;
using vardo::BandOutputs;
using vardo::SampleRate;

constexpr double kPi = 3.14159265358979323846;

// One band equaliser driven sample by sample, as the chain drives it.
struct BandRig {
  explicit BandRig(int rateHz) : rate(SampleRate::fromRate(rateHz)) {
    resetControlFields(controls);
    bands->setRate(rate);
    bands->clear();
    bands->prepareBlock(controls, rate);
  }
  void applyControls() { bands->prepareBlock(controls, rate); }
  const BandOutputs& step(float x, float d) {
    bands->process(x, d, n, out);
    ++n;
    return out;
  }
  // A sine of the given frequency and amplitude in x, with d = 0.
  void runSine(double hz, float amplitude, int samples) {
    for (int i = 0; i < samples; ++i) {
      step(amplitude * static_cast<float>(std::sin(2.0 * kPi * hz * phase / rate.fs)), 0.0f);
      ++phase;
    }
  }

  SampleRate rate;
  ControlFields controls{};
  std::unique_ptr<BandEqualiser> bands = std::make_unique<BandEqualiser>();
  BandOutputs out;
  std::uint32_t n = 0;
  std::uint64_t phase = 0;
};

// Geometric centre of band m.
double bandCentre(int m) {
  return std::sqrt(static_cast<double>(BandEqualiser::kEdgeHz[m]) *
                   static_cast<double>(BandEqualiser::kEdgeHz[m + 1]));
}

constexpr int kToneBand = 5;  // 675 ... 1012 Hz

// Settles a tone in band 5 and returns the peak of its delayed sum read-out
// over the last `window` samples.
float settledBandPeak(BandRig& rig, float amplitude, int samples, int window) {
  rig.runSine(bandCentre(kToneBand), amplitude, samples - window);
  float peak = 0.0f;
  for (int i = 0; i < window; ++i) {
    rig.runSine(bandCentre(kToneBand), amplitude, 1);
    peak = std::max(peak, std::fabs(rig.out.sumOut[kToneBand]));
  }
  return peak;
}

// ---------------------------------------------------------------------------
// The three gain regimes of a band, on a steady tone inside it.

TEST(BandGainRegimes, LoudToneIsNormalisedToAFixedLevel) {
  // Above 1 / R_m the gain is 1 / M: the band output level no longer depends
  // on the input level. With d = 0 the sum line carries 2 c_m times the
  // normalised band, so the level settles at about 2 c_m.
  constexpr int kSamples = 20000;
  BandRig quiet(44100);
  BandRig loud(44100);
  const float quietPeak = settledBandPeak(quiet, 0.05f, kSamples, 2000);
  const float loudPeak = settledBandPeak(loud, 0.5f, kSamples, 2000);
  EXPECT_GT(quiet.bands->level(kToneBand), 1.0f / quiet.bands->ceiling(kToneBand));
  EXPECT_NEAR(loudPeak / quietPeak, 1.0f, 0.02f);
  EXPECT_NEAR(loudPeak, 2.0f * 0.04623413f, 0.1f * 0.04623413f);
  EXPECT_NEAR(loud.bands->gain(kToneBand) * loud.bands->level(kToneBand), 1.0f, 0.03f);
}

TEST(BandGainRegimes, ModerateToneGetsTheBandCeiling) {
  // At 30 dB, G = 31.62 and R_5 = G - 25 = 6.62 (linear subtraction). A tone
  // with Tq < M < 1 / R_5 gets exactly that ceiling as its gain.
  BandRig rig(44100);
  rig.controls.noisegateGain = 30.0f;
  rig.applyControls();
  const float ceiling = vardo::dbToLinear(30.0f) - 25.0f;
  EXPECT_FLOAT_EQ(rig.bands->ceiling(kToneBand), ceiling);
  rig.runSine(bandCentre(kToneBand), 0.05f, 20000);
  const float level = rig.bands->level(kToneBand);
  ASSERT_GT(level, 0.01f);
  ASSERT_LT(level, 0.5f / ceiling);
  EXPECT_NEAR(rig.bands->gain(kToneBand), ceiling, 0.03f * ceiling);
  // The gains of bands with a different ceiling are not affected by it.
  EXPECT_FLOAT_EQ(rig.bands->ceiling(0), vardo::dbToLinear(30.0f));
  EXPECT_FLOAT_EQ(rig.bands->ceiling(11), vardo::kFloor90dB);
}

TEST(BandGainRegimes, ToneBelowThresholdFallsInProportion) {
  // With Tq = 0.1 (-20 dB) the hold never reports less than Tq: the gain
  // settles at R_m M / Tq and halves when the level halves.
  auto settledGain = [](float amplitude, float& level) {
    BandRig rig(44100);
    rig.controls.noisegateGain = 30.0f;
    rig.controls.autoEqThreshold = -20.0f;
    rig.applyControls();
    rig.runSine(bandCentre(kToneBand), amplitude, 20000);
    level = rig.bands->level(kToneBand);
    return rig.bands->gain(kToneBand);
  };
  float level = 0.0f;
  float halfLevel = 0.0f;
  const float gain = settledGain(0.06f, level);
  const float halfGain = settledGain(0.03f, halfLevel);
  const float ceiling = vardo::dbToLinear(30.0f) - 25.0f;
  ASSERT_LT(level, 0.1f);
  ASSERT_GT(halfLevel, 0.0056234f * 2.0f);
  EXPECT_NEAR(gain, ceiling * level / 0.1f, 0.03f * gain);
  EXPECT_NEAR(gain / halfGain, level / halfLevel, 0.03f);
  EXPECT_NEAR(level / halfLevel, 2.0f, 0.05f);
}

TEST(BandGainRegimes, DensityLimitHoldsTheGainDownAfterALoudPassage) {
  // After a loud passage the slow envelope (5 s release) keeps the
  // denominator up when rho = 1; at rho = -30 dB the fast envelope decides
  // and the gain recovers within two seconds of silence.
  auto gainAfterSilence = [](float densityDb) {
    BandRig rig(8000);
    rig.controls.autoEqDensityLimit = densityDb;
    rig.applyControls();
    rig.runSine(bandCentre(kToneBand), 0.5f, 4000);
    rig.runSine(bandCentre(kToneBand), 0.0f, 16000);
    return rig.bands->gain(kToneBand);
  };
  const float held = gainAfterSilence(0.0f);
  const float released = gainAfterSilence(-30.0f);
  EXPECT_LT(held * 5.0f, released);
  EXPECT_LT(held, 20.0f);
}

// ---------------------------------------------------------------------------
// Silence.

TEST(BandSilence, GainsSettleAtThePredictedValuesAndOutputsStayZero) {
  // The magnitude floor 0.0056234 is all the detector sees: the gain tends
  // to min(R_m 0.0056234, 1) / max(0.0056234, Tq).
  struct Case {
    float noisegateDb;
    float thresholdDb;
    float expected[vardo::kBandCount];
  };
  const float floorMag = std::sqrt(vardo::kFloor90dB);
  Case cases[3] = {{55.0f, -60.0f, {}}, {0.0f, -60.0f, {}}, {55.0f, -20.0f, {}}};
  for (int m = 0; m < vardo::kBandCount; ++m) {
    cases[0].expected[m] = 1.0f / floorMag;  // 177.83 at the defaults
    cases[1].expected[m] = m == 0 ? 1.0f : vardo::kFloor90dB;
    cases[2].expected[m] = 1.0f / 0.1f;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.noisegateDb);
    BandRig rig(8000);
    rig.controls.noisegateGain = c.noisegateDb;
    rig.controls.autoEqThreshold = c.thresholdDb;
    rig.applyControls();
    bool allZero = true;
    for (int i = 0; i < 8000; ++i) {
      const BandOutputs& o = rig.step(0.0f, 0.0f);
      allZero = allZero && o.mono == 0.0f;
      for (int m = 0; m < vardo::kBandCount; ++m) {
        allZero = allZero && o.gained[m] == 0.0f && o.gainedDiff[m] == 0.0f &&
                  o.sumOut[m] == 0.0f && o.diffOut[m] == 0.0f;
      }
    }
    EXPECT_TRUE(allZero);
    for (int m = 0; m < vardo::kBandCount; ++m) {
      EXPECT_NEAR(rig.bands->gain(m), c.expected[m], 1e-3f * c.expected[m]) << "band " << m;
    }
  }
  EXPECT_NEAR(cases[0].expected[0], 177.83f, 0.01f);
}

// ---------------------------------------------------------------------------
// Look-ahead and delay lines.

TEST(BandDelay, ImpulseLeavesEveryBandExactly2180SamplesLate) {
  // The gain multiplies the band value of 132 samples earlier and the gained
  // value leaves the delay line 2048 samples later.
  constexpr int kImpulseAt = 100;
  constexpr int kSamples = 4600;
  BandRig rig(44100);
  std::vector<BandOutputs> history;
  history.reserve(kSamples);
  for (int i = 0; i < kSamples; ++i) history.push_back(rig.step(i == kImpulseAt ? 1.0f : 0.0f, 0.0f));

  for (int m = 0; m < vardo::kBandCount; ++m) {
    SCOPED_TRACE(m);
    int firstGained = -1;
    int firstOut = -1;
    for (int i = 0; i < kSamples; ++i) {
      if (firstGained < 0 && history[i].gained[m] != 0.0f) firstGained = i;
      if (firstOut < 0 && history[i].sumOut[m] != 0.0f) firstOut = i;
    }
    EXPECT_EQ(firstGained, kImpulseAt + 132);
    EXPECT_EQ(firstOut, kImpulseAt + 132 + 2048);
    // The read-outs are the gained values of exactly 2048 samples before;
    // with d = 0 the two inputs agree, so a = b and the difference line is silent.
    bool linesExact = true;
    for (int i = 2048; i < kSamples; ++i) {
      const BandOutputs& then = history[i - 2048];
      linesExact = linesExact && history[i].sumOut[m] == then.gained[m] + then.gainedDiff[m];
      linesExact = linesExact && history[i].gained[m] == history[i].gainedDiff[m];
      if (m >= vardo::kMonoBandCount) linesExact = linesExact && history[i].diffOut[m] == 0.0f;
    }
    EXPECT_TRUE(linesExact);
  }
  for (int i = 0; i < kSamples; ++i) {
    ASSERT_EQ(history[i].mono, history[i].sumOut[0] + history[i].sumOut[1]);
  }
}

TEST(BandDelay, DifferenceInputReachesOnlyTheDifferenceLine) {
  // x = d: the sum input is 2x and the difference input is zero, so b = 0
  // and both lines carry a; x = -d swaps the roles and the lines disagree in sign.
  BandRig same(44100);
  BandRig opposite(44100);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
  bool ok = true;
  for (int i = 0; i < 4000; ++i) {
    const float v = noise(rng);
    const BandOutputs& s = same.step(v, v);
    const BandOutputs& o = opposite.step(v, -v);
    for (int m = vardo::kMonoBandCount; m < vardo::kBandCount; ++m) {
      ok = ok && s.gainedDiff[m] == 0.0f && s.sumOut[m] == s.diffOut[m];
      ok = ok && o.gained[m] == 0.0f && o.sumOut[m] == -o.diffOut[m];
      // The same band signal reaches the other input with the same gain.
      ok = ok && s.gained[m] == o.gainedDiff[m];
    }
  }
  EXPECT_TRUE(ok);
}

// ---------------------------------------------------------------------------
// Stability at every supported sample rate.

TEST(BandStability, NoiseAndSweepsStayFiniteFrom8000To192000Hz) {
  // Band edges at or above fs / 2 are kept just under it, so the upper
  // bands stay stable (and nearly silent) at low rates.
  for (int rateHz : {8000, 11025, 16000, 22050, 32000, 44100, 96000, 192000}) {
    SCOPED_TRACE(rateHz);
    BandRig rig(rateHz);
    std::mt19937 rng(static_cast<unsigned>(rateHz));
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    constexpr int kNoise = 6000;
    constexpr int kSweep = 6000;
    bool finite = true;
    float peak = 0.0f;
    double energy = 0.0;
    double phase = 0.0;
    for (int i = 0; i < kNoise + kSweep; ++i) {
      float x = 0.0f;
      float d = 0.0f;
      if (i < kNoise) {
        x = noise(rng);
        d = noise(rng);
      } else {
        // Logarithmic sweep from 20 Hz to just under fs / 2.
        const double t = static_cast<double>(i - kNoise) / kSweep;
        const double hz = 20.0 * std::pow(0.49 * rig.rate.fs / 20.0, t);
        phase += 2.0 * kPi * hz / rig.rate.fs;
        x = static_cast<float>(std::sin(phase));
        d = static_cast<float>(std::cos(phase)) * 0.5f;
      }
      const BandOutputs& o = rig.step(x, d);
      for (int m = 0; m < vardo::kBandCount; ++m) {
        for (float v : {o.gained[m], o.gainedDiff[m], o.sumOut[m], o.diffOut[m]}) {
          finite = finite && std::isfinite(v);
          peak = std::max(peak, std::fabs(v));
        }
        finite = finite && std::isfinite(rig.bands->gain(m));
      }
      energy += static_cast<double>(o.mono) * o.mono;
    }
    EXPECT_TRUE(finite);
    EXPECT_LT(peak, 10.0f);
    EXPECT_GT(energy, 0.0);
  }
}

}  // namespace
