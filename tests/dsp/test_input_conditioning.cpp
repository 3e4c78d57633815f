// The four input-conditioning stages in series, as the sample loop runs
// them, at every supported kind of sample rate.
#include <gtest/gtest.h>

#include <cmath>

#include "signal_measure.h"
#include "stages/allpass_dispersion.h"
#include "stages/input_filters.h"
#include "stages/level_normaliser.h"
#include "stages/veze_equaliser.h"

using namespace vardo;
using namespace vardo::test;

namespace {

struct FrontChain {
  InputFilters filters;
  LevelNormaliser normaliser;
  VezeEqualiser equaliser;
  AllpassDispersion dispersion;
  std::uint32_t n = 0;

  FrontChain(int fs, const ControlFields& controls) {
    const SampleRate rate = SampleRate::fromRate(fs);
    filters.setRate(rate);
    normaliser.setRate(rate);
    equaliser.setRate(rate);
    filters.clear();
    normaliser.clear();
    equaliser.clear();
    dispersion.clear();
    filters.prepareBlock(controls, rate);
    normaliser.prepareBlock(controls, rate);
    equaliser.prepareBlock(controls, rate);
  }
  // Returns x; d goes to the second output.
  float step(float in, float& d) {
    filters.process(in, n);
    const float x = equaliser.process(normaliser.process(filters.history(), n));
    d = dispersion.process(x, n);
    ++n;
    return x;
  }
};

struct Peaks {
  double x = 0.0, d = 0.0;
  bool cornerTermsFinite = true;
};

Peaks runChain(int fs, const ControlFields& controls, const std::vector<float>& in) {
  FrontChain chain(fs, controls);
  std::vector<float> xs, ds;
  Peaks p;
  for (float v : in) {
    float d = 0.0f;
    xs.push_back(chain.step(v, d));
    ds.push_back(d);
    const SecondCorner& c = chain.normaliser.secondCorner();
    p.cornerTermsFinite &= std::isfinite(c.k) && c.k > 0.0f && std::isfinite(c.oneMinusK) &&
                           std::isfinite(c.kPlusOne);
  }
  p.x = peakOrInfinity(xs);
  p.d = peakOrInfinity(ds);
  return p;
}

}  // namespace

TEST(InputConditioning, NoiseAndSinesStayFiniteAndBoundedAtEveryRate) {
  for (int fs : kAllRates) {
    for (float disable : {0.0f, 1.0f}) {
      ControlFields controls = defaultControls();
      controls.dnrLpfDisable = disable;
      controls.lowpassFilter = 15000.0f;  // above fs / 2 at the lowest rates
      // An unstable section blows up within a few hundred samples.
      const std::size_t length = 4000;
      bool first = true;
      for (const auto& in : {noise(length, 1.0), sine(0.23 * fs, fs, length), sine(0.49 * fs, fs, length),
                             sine(1000.0, fs, length)}) {
        const Peaks p = runChain(fs, controls, in);
        EXPECT_TRUE(p.cornerTermsFinite) << fs;
        EXPECT_LT(p.x, 4.0) << fs << " Hz, disable " << disable;
        EXPECT_LT(p.d, 4.0) << fs << " Hz, disable " << disable;
        if (first) {
          EXPECT_GT(p.x, 0.01) << fs << " Hz: noise passes, the chain is not silent";
        }
        first = false;
      }
    }
  }
}

TEST(InputConditioning, OneNanSampleLeavesTheFollowingOutputFinite) {
  for (int fs : {8000, 44100, 48000}) {
    auto in = noise(static_cast<std::size_t>(fs), 0.5);
    in[fs / 4] = NAN;
    in[fs / 2] = INFINITY;
    const Peaks p = runChain(fs, defaultControls(), in);
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.d)) << fs;
    EXPECT_TRUE(p.cornerTermsFinite) << fs;
  }
}

TEST(InputConditioning, SilenceGivesExactZerosThroughTheWholeFront) {
  FrontChain chain(48000, defaultControls());
  for (int i = 0; i < 20000; ++i) {
    float d = 1.0f;
    ASSERT_EQ(chain.step(0.0f, d), 0.0f);
    ASSERT_EQ(d, 0.0f);
  }
}
