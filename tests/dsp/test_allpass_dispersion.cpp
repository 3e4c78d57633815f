// The dispersed copy: 300 samples late, with the input's energy.
#include <gtest/gtest.h>

#include <cmath>

#include "signal_measure.h"
#include "stages/allpass_dispersion.h"

using namespace vardo;
using namespace vardo::test;

namespace {

std::vector<float> disperse(const std::vector<float>& x, std::uint32_t firstCounter = 0) {
  AllpassDispersion stage;
  stage.clear();
  return runSamples(x, [&](float v, std::uint32_t i) { return stage.process(v, firstCounter + i); });
}

}  // namespace

TEST(AllpassDispersion, ImpulseArrivesAfter300SamplesWithItsEnergy) {
  std::vector<float> x(1 << 16, 0.0f);
  x[0] = 1.0f;
  const auto d = disperse(x);
  for (std::uint32_t i = 0; i < AllpassDispersion::kDelay; ++i) ASSERT_EQ(d[i], 0.0f) << i;
  EXPECT_NE(d[AllpassDispersion::kDelay], 0.0f);
  double energy = 0.0, tail = 0.0;
  for (std::size_t i = 0; i < d.size(); ++i) {
    energy += static_cast<double>(d[i]) * d[i];
    if (i >= d.size() - 1000) tail += static_cast<double>(d[i]) * d[i];
  }
  EXPECT_NEAR(energy, 1.0, 1e-3);
  EXPECT_LT(tail, 1e-9);
  // Dispersed, not merely delayed: most of the energy arrives well after 300.
  double early = 0.0;
  for (std::size_t i = 300; i < 310; ++i) early += static_cast<double>(d[i]) * d[i];
  EXPECT_LT(early, 0.5);
}

TEST(AllpassDispersion, SteadySinesKeepTheirAmplitude) {
  for (double f : {100.0, 1000.0, 8000.0}) {
    const auto d = disperse(sine(f, 48000, 96000, 0.5));
    EXPECT_NEAR(toneAmplitude(d, f, 48000, 48000, 48000), 0.5, 0.5 * 0.002) << f;
  }
}

TEST(AllpassDispersion, SilenceGivesExactZerosAndTheCounterMayWrap) {
  for (float v : disperse(std::vector<float>(2048, 0.0f))) ASSERT_EQ(v, 0.0f);
  // Across the 32-bit wrap of the sample counter the ring indexing stays continuous.
  const auto x = noise(4000, 0.5);
  const auto plain = disperse(x);
  const auto wrapped = disperse(x, 0xFFFFFFFFu - 1999u);
  for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(plain[i], wrapped[i]) << i;
}
