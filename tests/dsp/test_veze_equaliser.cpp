// The fixed equaliser: measured response and the bypass switch.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "signal_measure.h"
#include "stages/veze_equaliser.h"

using namespace vardo;
using namespace vardo::test;

namespace {

struct EqualiserRig {
  VezeEqualiser eq;
  SampleRate rate;
  ControlFields controls = defaultControls();

  explicit EqualiserRig(int fs, float bypass = 0.0f) : rate(SampleRate::fromRate(fs)) {
    eq.setRate(rate);
    eq.clear();
    setBypass(bypass);
  }
  void setBypass(float value) {
    controls.disableVezeEq = value;
    eq.prepareBlock(controls, rate);
  }
  std::vector<float> run(const std::vector<float>& x) {
    return runSamples(x, [&](float v, std::uint32_t) { return eq.process(v); });
  }
  // Settles for 0.2 s, then measures over 0.2 s (whole periods of every test tone).
  double gainDb(double f) {
    const int fs = static_cast<int>(rate.fs);
    const auto y = run(sine(f, fs, 2 * (fs / 5), 0.25));
    return toDb(toneAmplitude(y, f, fs, fs / 5, fs / 5) / 0.25);
  }
};

// Independent model: the analog prototypes of the ten filters, evaluated in
// double at the frequency the bilinear transform maps f to.
double modelDb(double f, double fs) {
  using C = std::complex<double>;
  const double t = std::tan(std::numbers::pi * f / fs);
  auto s = [&](double corner) { return C(0.0, t / std::tan(std::numbers::pi * corner / fs)); };
  auto butterworth = [](C p, int order) {
    C b = order % 2 ? p + 1.0 : C(1.0);
    for (int k = 1; k <= order / 2; ++k)
      b *= p * p + 2.0 * std::sin((2 * k - 1) * std::numbers::pi / (2 * order)) * p + 1.0;
    return b;
  };
  auto highShelf = [&](double corner, int order, double g) {
    const C p = s(corner);
    return (1.0 + g * std::pow(p, order)) / butterworth(p, order);
  };
  auto lowShelf = [&](double corner, int order, double g) {
    const C p = s(corner);
    return (g + std::pow(p, order)) / butterworth(p, order);
  };
  auto peak = [&](double centre, double bandwidth, double db) {
    const C p = s(centre);
    const double beta = std::numbers::pi * bandwidth / (fs * std::sin(2.0 * std::numbers::pi * centre / fs));
    const double a = std::pow(10.0, std::fabs(db) / 20.0);
    const double num = db > 0 ? beta * a : beta, den = db > 0 ? beta : beta * a;
    return (p * p + num * p + 1.0) / (p * p + den * p + 1.0);
  };
  const C h = highShelf(5000, 7, std::pow(10.0, 16 / 20.0)) * highShelf(3500, 1, std::pow(10.0, -25 / 20.0)) *
              highShelf(3500, 5, std::pow(10.0, -3 / 20.0)) * highShelf(4500, 3, std::pow(10.0, -3 / 20.0)) *
              highShelf(2000, 3, std::pow(10.0, -8 / 20.0)) * peak(4500, 1000, -6) * peak(7500, 4000, -5) *
              lowShelf(75, 3, std::pow(10.0, 5 / 20.0)) * lowShelf(50, 3, std::pow(10.0, 6 / 20.0)) *
              peak(3200, 1000, 5);
  return toDb(std::abs(h));
}

}  // namespace

TEST(VezeEqualiser, SilenceGivesExactZeros) {
  EqualiserRig rig(48000);
  for (float v : rig.run(std::vector<float>(8192, 0.0f))) ASSERT_EQ(v, 0.0f);
}

TEST(VezeEqualiser, LowShelvesLiftDirectCurrentByElevenDecibels) {
  for (int fs : {44100, 48000, 96000}) {
    EqualiserRig rig(fs);
    const auto y = rig.run(std::vector<float>(fs / 2, 0.1f));
    EXPECT_NEAR(y.back() / 0.1f, 1.9952623 * 1.7782794, 0.02) << fs;  // within 0.05 dB
  }
}

TEST(VezeEqualiser, HighShelvesLeaveAboutMinus23DecibelsAtNyquist) {
  for (int fs : {44100, 48000}) {
    EqualiserRig rig(fs);
    std::vector<float> x(fs);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = i % 2 ? -0.5f : 0.5f;
    const auto y = rig.run(x);
    EXPECT_NEAR(std::fabs(y.back()) / 0.5, 6.3095737 * 0.056234132 * 0.70794576 * 0.70794576 * 0.39810717,
                0.0005)
        << fs;
  }
}

TEST(VezeEqualiser, ResponseMatchesTheTenPrototypes) {
  for (int fs : {44100, 48000}) {
    EqualiserRig rig(fs);
    for (double f : {30.0, 100.0, 500.0, 1000.0, 2000.0, 3200.0, 4500.0, 6000.0, 7500.0, 10000.0, 16000.0}) {
      rig.eq.clear();
      EXPECT_NEAR(rig.gainDb(f), modelDb(f, fs), 0.1) << fs << " Hz, tone " << f;
    }
  }
}

TEST(VezeEqualiser, BypassPassesTheInputBitForBitAndKeepsTheFiltersWarm) {
  const auto x = noise(6000, 0.5);
  EqualiserRig always(48000);
  const auto reference = always.run(x);

  // Switched off for the middle third, on again for the last.
  EqualiserRig switched(48000);
  std::vector<float> y;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (i == 2000) switched.setBypass(0.5f);  // from 0.5 up counts as on
    if (i == 4000) switched.setBypass(0.49f);
    y.push_back(switched.eq.process(x[i]));
  }
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (i >= 2000 && i < 4000)
      ASSERT_EQ(y[i], x[i]) << i;
    else
      ASSERT_EQ(y[i], reference[i]) << i;
  }
  EXPECT_NE(reference[3000], x[3000]);
}
