#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "controls.h"
#include "test_signals.h"
#include "stages/output_agc.h"

using namespace vardo;
using namespace vardo::test;

namespace {

constexpr float kCeiling = 0.8912509f;

SecondCorner cornerAt(float f2, const SampleRate& sr) {
  SecondCorner c;
  c.k = 1.0f / ftan(f2 * sr.piOverFs);
  c.oneMinusK = 1.0f - c.k;
  c.kPlusOne = c.k + 1.0f;
  return c;
}

struct Rendered {
  std::vector<float> left;
  std::vector<float> right;
};

Rendered run(const std::vector<float>& a, const std::vector<float>& b, int rate, float threshold,
             float f2, std::uint32_t firstCount = 0) {
  const SampleRate sr = SampleRate::fromRate(rate);
  ControlFields c{};
  resetControlFields(c);
  c.outputAgcThreshold = threshold;
  OutputAgc agc;
  agc.setRate(sr);
  agc.clear();
  agc.prepareBlock(c, sr);
  const SecondCorner corner = cornerAt(f2, sr);
  Rendered r{std::vector<float>(a.size()), std::vector<float>(a.size())};
  std::uint32_t n = firstCount;
  for (size_t i = 0; i < a.size(); ++i, ++n)
    agc.processRun(1, n, &a[i], &b[i], &corner, &r.left[i], &r.right[i]);
  return r;
}

}  // namespace

TEST(OutputAgc, SilenceAndTheFirst132SamplesAreExactZeros) {
  const std::vector<float> zeros(2048, 0.0f);
  const auto quiet = run(zeros, zeros, 44100, -6.0f, 1000.0f);
  for (size_t i = 0; i < zeros.size(); ++i) {
    ASSERT_EQ(quiet.left[i], 0.0f);
    ASSERT_EQ(quiet.right[i], 0.0f);
  }
  const auto loud = whiteNoise(2048, 1.0f, 12345u);
  const auto r = run(loud, loud, 48000, 3.0f, 22000.0f);
  for (int i = 0; i < 132; ++i) {
    ASSERT_EQ(r.left[i], 0.0f) << i;
    ASSERT_EQ(r.right[i], 0.0f) << i;
  }
  EXPECT_NE(r.left[132], 0.0f);
}

// An impulse comes out exactly 132 samples later (the lowpass is nearly open).
TEST(OutputAgc, DelaysBy132Samples) {
  std::vector<float> a(1024, 0.0f);
  a[100] = 0.3f;
  const auto r = run(a, a, 48000, -6.0f, 22000.0f);
  int at = 0;
  for (int i = 0; i < 1024; ++i)
    if (std::fabs(r.left[i]) > std::fabs(r.left[at])) at = i;
  EXPECT_EQ(at, 232);
  // The impulse is its own peak: it leaves at the ceiling.
  EXPECT_NEAR(r.left[at], kCeiling, 0.01f);
}

// Every output sample is part of its own peak window: whatever comes in,
// nothing leaves above -1 dBFS, across the counter wrap as well.
TEST(OutputAgc, NeverExceedsTheCeiling) {
  const int count = 24000;
  std::vector<float> a(count, 0.0f);
  std::vector<float> b(count, 0.0f);
  const auto full = whiteNoise(6000, 1.0f, 99u);
  const auto huge = whiteNoise(3000, 1000.0f, 7u);
  const auto tone = sine(440.0, 44100, 8000, 0.05f);
  for (int i = 0; i < 6000; ++i) a[1000 + i] = full[i];
  for (int i = 0; i < 3000; ++i) b[9000 + i] = huge[i];  // burst after silence, one channel
  for (int i = 0; i < 8000; ++i) a[14000 + i] = b[14000 + i] = tone[i];
  for (int i = 22000; i < count; i += 50) a[i] = (i / 50) % 2 ? 20.0f : -20.0f;  // clicks

  for (float threshold : {-12.0f, -6.0f, 3.0f}) {
    for (float f2 : {1000.0f, 22000.0f}) {
      const auto r = run(a, b, 44100, threshold, f2, 0xFFFFF000u);
      for (int i = 0; i < count; ++i) {
        ASSERT_LE(std::fabs(r.left[i]), kCeiling) << threshold << " " << f2 << " " << i;
        ASSERT_LE(std::fabs(r.right[i]), kCeiling) << threshold << " " << f2 << " " << i;
      }
      // Loud material reaches the ceiling rather than sitting far below it.
      EXPECT_GT(peakAbs(r.right, 9132, 12132), 0.8f * kCeiling);
    }
  }
}

// NaN and infinities from upstream give silence, not a stuck NaN or a gain
// that never comes down; finite input brings the signal back.
TEST(OutputAgc, RecoversFromNonFiniteInput) {
  const int count = 8000;
  auto a = sine(1000.0, 44100, count, 0.3f);
  auto b = sine(1500.0, 44100, count, 0.3f);
  a[1000] = std::numeric_limits<float>::quiet_NaN();
  a[1001] = std::numeric_limits<float>::infinity();
  b[1000] = -std::numeric_limits<float>::infinity();
  b[2000] = std::numeric_limits<float>::quiet_NaN();
  const auto r = run(a, b, 44100, -6.0f, 22000.0f);
  for (int i = 0; i < count; ++i) {
    ASSERT_TRUE(std::isfinite(r.left[i]) && std::isfinite(r.right[i])) << i;
    ASSERT_LE(std::fabs(r.left[i]), kCeiling) << i;
    ASSERT_LE(std::fabs(r.right[i]), kCeiling) << i;
  }
  // Normal level again once the glitches have passed through the delay.
  const double expected = 0.3 * kCeiling / std::pow(10.0, -6.0 / 20.0);
  EXPECT_NEAR(toneAmplitude(r.left, 1000.0, 44100, 4000, count - 4000), expected, 0.02 * expected);
  EXPECT_NEAR(toneAmplitude(r.right, 1500.0, 44100, 4000, count - 4000), expected, 0.02 * expected);
}

// Below the threshold the gain settles at the threshold level: the output is
// the input times 0.8912509 / 10^(c/20). Above it, peaks sit at the ceiling.
TEST(OutputAgc, SteadySineLevels) {
  const int fs = 48000;
  const int count = 24000;
  const int begin = 16000;
  const auto quiet = sine(1000.0, fs, count, 0.1f);
  for (float threshold : {-12.0f, -6.0f, 0.0f}) {
    const auto r = run(quiet, quiet, fs, threshold, 22000.0f);
    const double expected = 0.1 * kCeiling / std::pow(10.0, threshold / 20.0);
    EXPECT_NEAR(toneAmplitude(r.left, 1000.0, fs, begin, count - begin), expected, 0.01 * expected)
        << threshold;
    EXPECT_NEAR(toneAmplitude(r.right, 1000.0, fs, begin, count - begin), expected, 0.01 * expected);
  }
  const auto loud = sine(1000.0, fs, count, 2.0f);
  const auto r = run(loud, loud, fs, -6.0f, 22000.0f);
  EXPECT_NEAR(peakAbs(r.left, begin, count), kCeiling, 0.01f);
}

// The second noise-reduction lowpass follows its corner.
TEST(OutputAgc, SecondLowpassFollowsItsCorner) {
  const int fs = 48000;
  const int count = 24000;
  const int begin = 16000;
  const auto in = sine(8000.0, fs, count, 0.05f);  // below threshold: gain is fixed
  const auto open = run(in, in, fs, -6.0f, 22000.0f);
  const auto closed = run(in, in, fs, -6.0f, 1000.0f);
  const double aOpen = toneAmplitude(open.left, 8000.0, fs, begin, count - begin);
  const double aClosed = toneAmplitude(closed.left, 8000.0, fs, begin, count - begin);
  EXPECT_NEAR(aOpen, 0.05 * kCeiling / std::pow(10.0, -6.0 / 20.0), 0.02 * aOpen);
  // First order at 1 kHz: roughly 1/8 at 8 kHz (bilinear warping lowers it further).
  EXPECT_LT(aClosed, 0.15 * aOpen);
  EXPECT_GT(aClosed, 0.05 * aOpen);
}
