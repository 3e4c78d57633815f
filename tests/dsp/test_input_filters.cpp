// Measured responses of the input band-limiting filters.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "signal_measure.h"
#include "stages/input_filters.h"

using namespace vardo;
using namespace vardo::test;

namespace {

struct InputFilterRig {
  InputFilters filters;
  SampleRate rate;
  ControlFields controls = defaultControls();

  explicit InputFilterRig(int fs, float lowpassCorner = 9600.0f) : rate(SampleRate::fromRate(fs)) {
    controls.lowpassFilter = lowpassCorner;
    filters.setRate(rate);
    filters.prepareBlock(controls, rate);
    filters.clear();
  }
  std::vector<float> run(const std::vector<float>& x) {
    return runSamples(x, [&](float v, std::uint32_t n) {
      filters.process(v, n);
      return filters.history().read(n, 0);
    });
  }
  // Gain in dB of a unit sine at f, measured over half a second after
  // settling for half a second (the 40 Hz transients are then below -80 dB).
  double gainDb(double f) {
    const int fs = static_cast<int>(rate.fs);
    const auto y = run(sine(f, fs, fs));
    return toDb(toneAmplitude(y, f, fs, fs / 2, fs / 2));
  }
};

}  // namespace

TEST(InputFilters, SilenceGivesExactZeros) {
  InputFilterRig rig(48000);
  for (float v : rig.run(std::vector<float>(4096, 0.0f))) ASSERT_EQ(v, 0.0f);
}

TEST(InputFilters, DirectCurrentIsScaledByAbout1e8) {
  // 1e-4 per highpass copy; the two lowpass copies pass DC at -0.2 dB each.
  // The 40 Hz sections cancel large terms, so the settled value carries
  // rounding noise of some tens of percent around it.
  InputFilterRig rig(48000);
  const auto y = rig.run(std::vector<float>(4 * 48000, 1.0f));
  double sum = 0.0, peak = 0.0;
  for (std::size_t i = 3 * 48000; i < y.size(); ++i) {
    sum += y[i];
    peak = std::max(peak, std::fabs(static_cast<double>(y[i])));
  }
  const double mean = sum / 48000.0;
  EXPECT_GT(mean, 0.7e-8);
  EXPECT_LT(mean, 1.5e-8);
  EXPECT_LT(peak, 2e-8);
}

TEST(InputFilters, PassBandStaysWithinTheRippleOfFourFilters) {
  for (int fs : {44100, 48000, 96000}) {
    InputFilterRig rig(fs);
    for (double f : {100.0, 1000.0, 5000.0, 9000.0}) {
      const double g = rig.gainDb(f);
      EXPECT_LE(g, 0.01) << fs << " Hz, tone " << f;
      EXPECT_GE(g, -0.8) << fs << " Hz, tone " << f;
    }
  }
}

namespace {

// Independent model: the analog elliptic prototypes (n2 s^2 + n0)/(s^2 + d1 s + d0)
// evaluated in double at the prewarped frequency the bilinear transform maps f to.
struct Section {
  double n2, n0, d1, d0;
};
constexpr Section kLowpassModel[] = {{1e-4, 0.0004332272, 0.78241307, 0.2452915},
                                     {1, 7.6217313, 0.51247865, 0.6896214},
                                     {1, 53.53615, 0.16840488, 1.0693583}};
constexpr Section kHighpassModel[] = {{0.0017661728, 0.0004076782, 3.1897273, 4.0767817},
                                      {11.0520525, 1.4500711, 0.74313045, 1.4500711},
                                      {50.06381, 0.9351402, 0.15748216, 0.9351402}};

double modelDb(double f, double fs, double lowpassCorner) {
  auto cascade = [](const Section* s, double w) {
    std::complex<double> h = 1.0, jw(0.0, w);
    for (int i = 0; i < 3; ++i) h *= (s[i].n2 * jw * jw + s[i].n0) / (jw * jw + s[i].d1 * jw + s[i].d0);
    return std::abs(h);
  };
  const double t = std::tan(std::numbers::pi * f / fs);
  const double low = cascade(kLowpassModel, t / std::tan(std::numbers::pi * lowpassCorner / fs));
  const double high = cascade(kHighpassModel, t / std::tan(std::numbers::pi * 40.0 / fs));
  return 2.0 * toDb(low * high);  // each filter runs twice
}

}  // namespace

TEST(InputFilters, ResponseMatchesTheEllipticPrototypes) {
  for (int fs : {44100, 48000}) {
    InputFilterRig rig(fs);
    // Lowpass edge and transition band: -0.2 dB at the corner, about -2.8 dB
    // at 1.04 fc and -17 dB at 1.15 fc per copy.
    for (double ratio : {0.5, 1.0, 1.04, 1.1, 1.15, 1.3}) {
      const double f = ratio * 9600.0;
      EXPECT_NEAR(rig.gainDb(f), modelDb(f, fs, 9600.0), 0.5) << fs << " Hz, tone " << f;
    }
    // Highpass: -0.2 dB at 40 Hz, -27 dB at 30 Hz per copy.
    for (double f : {30.0, 40.0, 60.0})
      EXPECT_NEAR(rig.gainDb(f), modelDb(f, fs, 9600.0), 0.5) << fs << " Hz, tone " << f;
    // Deep stop bands of the lowpass (80 dB per copy).
    EXPECT_LT(rig.gainDb(1.5 * 9600.0), -120.0);
    EXPECT_LT(rig.gainDb(20000.0), -120.0);
  }
  EXPECT_NEAR(modelDb(1.04 * 9600.0, 48000, 9600.0), 2 * -2.8, 0.4);
  EXPECT_NEAR(modelDb(1.15 * 9600.0, 48000, 9600.0), 2 * -17.0, 2.0);
}

TEST(InputFilters, LowpassCornerFollowsTheControl) {
  InputFilterRig low(48000, 3000.0f);
  EXPECT_NEAR(low.gainDb(4000), modelDb(4000, 48000, 3000.0), 0.5);
  EXPECT_LT(low.gainDb(6000), -120.0);
  EXPECT_GT(low.gainDb(2500), -0.8);
  InputFilterRig high(48000, 15000.0f);
  EXPECT_GT(high.gainDb(14000), -0.8);
  EXPECT_LT(high.gainDb(19000), -120.0);
}

TEST(InputFilters, NonFiniteSampleEntersAsZero) {
  auto x = noise(2000, 0.5);
  auto zeroed = x;
  x[500] = NAN;
  x[900] = INFINITY;
  x[901] = -INFINITY;
  zeroed[500] = zeroed[900] = zeroed[901] = 0.0f;
  InputFilterRig a(48000), b(48000);
  const auto ya = a.run(x);
  const auto yb = b.run(zeroed);
  for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(ya[i], yb[i]) << i;
}
