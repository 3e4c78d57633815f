// The input-conditioning stages, stepped directly as the sample loop runs them.
#include <gtest/gtest.h>

#include <complex>

#include "signal_measure.h"
#include "stages/allpass_dispersion.h"
#include "stages/input_filters.h"
#include "stages/level_normaliser.h"
#include "stages/veze_equaliser.h"

using namespace vardo;
using namespace vardo::test;
using C = std::complex<double>;

namespace {

// All four stages; any of them can be read after a step.
struct Front {
  SampleRate rate;
  ControlFields controls;
  InputFilters filters;
  LevelNormaliser normaliser;
  VezeEqualiser equaliser;
  AllpassDispersion dispersion;
  std::uint32_t n = 0;
  float filtered = 0.0f, o = 0.0f, x = 0.0f, d = 0.0f;

  explicit Front(int fs, ControlFields c = defaultControls()) : rate(SampleRate::fromRate(fs)), controls(c) {
    filters.setRate(rate);
    normaliser.setRate(rate);
    equaliser.setRate(rate);
    filters.clear();
    normaliser.clear();
    equaliser.clear();
    dispersion.clear();
    prepare();
  }
  void prepare() {
    filters.prepareBlock(controls, rate);
    normaliser.prepareBlock(controls, rate);
    equaliser.prepareBlock(controls, rate);
  }
  // One sample through all four stages, as a run of one.
  void step(float in) {
    SecondCorner corner;
    filters.processRun(1, n, &in, &filtered);
    normaliser.processRun(1, n, &filtered, &o, &corner);
    equaliser.processRun(1, n, &o, &x);
    dispersion.processRun(1, n, &x, &d);
    ++n;
  }
  // The band-limited signal alone, without running the later stages.
  std::vector<float> bandLimit(const std::vector<float>& in) {
    std::vector<float> y(in.size());
    filters.processRun(static_cast<int>(in.size()), n, in.data(), y.data());
    return y;
  }
  // Runs the input through and collects one chosen value per sample.
  template <typename Pick>
  std::vector<float> run(const std::vector<float>& in, Pick pick) {
    std::vector<float> out;
    for (float v : in) {
      step(v);
      out.push_back(pick(*this));
    }
    return out;
  }
};

// Gain in dB at f of one stage: settle for `window` samples, measure over the next.
template <typename Feed>
double gainDb(int fs, double f, std::size_t window, Feed feed) {
  const auto y = feed(sine(f, fs, 2 * window, 0.25));
  return toDb(toneAmplitude(y, f, fs, window, window) / 0.25);
}

// The equaliser's analog prototypes, evaluated in double at the frequency the
// bilinear transform maps f to: p(corner) is the normalised s there.
struct Model {
  double fs, f;
  C p(double corner) const {
    return {0.0, std::tan(std::numbers::pi * f / fs) / std::tan(std::numbers::pi * corner / fs)};
  }
  C butterworth(C s, int order) const {
    C b = order % 2 ? s + 1.0 : C(1.0);
    for (int k = 1; k <= order / 2; ++k) b *= s * s + 2.0 * std::sin((2 * k - 1) * std::numbers::pi / (2 * order)) * s + 1.0;
    return b;
  }
  C shelf(double corner, int order, double db, bool high) const {
    const C s = p(corner), g = std::pow(10.0, db / 20.0), sn = std::pow(s, order);
    return (high ? 1.0 + g * sn : g + sn) / butterworth(s, order);
  }
  C peak(double centre, double bandwidth, double db) const {
    const C s = p(centre);
    const double beta = std::numbers::pi * bandwidth / (fs * std::sin(2.0 * std::numbers::pi * centre / fs));
    const double a = std::pow(10.0, std::fabs(db) / 20.0);
    return (s * s + (db > 0 ? beta * a : beta) * s + 1.0) / (s * s + (db > 0 ? beta : beta * a) * s + 1.0);
  }
  double equaliserDb() const {
    return toDb(std::abs(shelf(5000, 7, 16, true) * shelf(3500, 1, -25, true) * shelf(3500, 5, -3, true) *
                         shelf(4500, 3, -3, true) * shelf(2000, 3, -8, true) * peak(4500, 1000, -6) *
                         peak(7500, 4000, -5) * shelf(75, 3, 5, false) * shelf(50, 3, 6, false) *
                         peak(3200, 1000, 5)));
  }
};

}  // namespace

TEST(InputFilters, DirectCurrentIsScaledByAbout1e8) {
  // 1e-4 per highpass copy, -0.2 dB per lowpass copy. The 40 Hz sections
  // cancel large terms, so the settled value carries rounding noise.
  const auto y = Front(48000).bandLimit(std::vector<float>(4 * 48000, 1.0f));
  double sum = 0.0, peak = 0.0;
  for (std::size_t i = 3 * 48000; i < y.size(); ++i) {
    sum += y[i];
    peak = std::max(peak, std::fabs(static_cast<double>(y[i])));
  }
  EXPECT_NEAR(sum / 48000.0, 1.0e-8, 0.3e-8);
  EXPECT_LT(peak, 2e-8);
}

TEST(InputFilters, EllipticEdgesAndStopBandsFollowTheControl) {
  auto gain = [](int fs, float corner, double f) {
    ControlFields c = defaultControls();
    c.lowpassFilter = corner;
    return gainDb(fs, f, fs / 2, [&](const std::vector<float>& in) { return Front(fs, c).bandLimit(in); });
  };
  // Each filter runs twice, so the single-copy figures double in dB.
  EXPECT_NEAR(gain(48000, 9600, 30.0), 2 * -27.0, 1.0);
  EXPECT_NEAR(gain(48000, 9600, 40.0), 2 * -0.2, 0.3);
  EXPECT_NEAR(gain(48000, 9600, 9600.0), 4 * -0.2, 0.2);  // the highpasses' ripple adds here
  EXPECT_NEAR(gain(48000, 9600, 1.04 * 9600), 2 * -2.8, 0.6);
  EXPECT_NEAR(gain(48000, 9600, 1.15 * 9600), 2 * -17.0, 2.0);
  EXPECT_LT(gain(48000, 9600, 1.5 * 9600), -120.0);
  for (int fs : {44100, 48000, 96000}) {
    for (float corner : {3000.0f, 9600.0f}) {
      const double pass = gain(fs, corner, 1000.0);
      EXPECT_TRUE(pass <= 0.0 && pass >= -0.8) << fs << " Hz, corner " << corner << ": " << pass;
      EXPECT_LT(gain(fs, corner, 2.0 * corner), -120.0) << fs << " Hz, corner " << corner;
    }
  }
}

TEST(InputFilters, NonFiniteSampleEntersAsZero) {
  auto in = whiteNoise(2000, 0.5f, 7u), zeroed = in;
  in[500] = NAN;
  in[900] = INFINITY;
  in[901] = -INFINITY;
  zeroed[500] = zeroed[900] = zeroed[901] = 0.0f;
  EXPECT_EQ(Front(48000).bandLimit(in), Front(48000).bandLimit(zeroed));
}

TEST(LevelNormaliser, SilenceSitsAtTheFloorAndTheDisableSwitchOpensBothCornersAboveHalf) {
  ControlFields c = defaultControls();
  c.dnrLpfDisable = 0.5f;  // exactly half counts as off
  Front front(48000, c);
  for (float o : front.run(std::vector<float>(20000, 0.0f), [](const Front& f) { return f.o; })) ASSERT_EQ(o, 0.0f);
  EXPECT_EQ(front.normaliser.divisor(), kFloor90dB);
  EXPECT_EQ(front.normaliser.firstCornerHz(), 1000.0f);
  EXPECT_EQ(front.normaliser.secondCornerHz(), 1000.0f);

  for (auto [fs, k] : {std::pair{48000, 0.13}, {44100, 0.0036}}) {
    c.dnrLpfDisable = 0.51f;
    Front open(fs, c);
    open.step(0.0f);
    EXPECT_EQ(open.normaliser.firstCornerHz(), 22000.0f);
    EXPECT_EQ(open.normaliser.secondCornerHz(), 22000.0f);
    const SecondCorner& second = open.normaliser.secondCorner();
    EXPECT_NEAR(second.k, k, k * 0.05) << fs;
    EXPECT_EQ(second.oneMinusK, 1.0f - second.k);
    EXPECT_EQ(second.kPlusOne, second.k + 1.0f);
  }
}

TEST(LevelNormaliser, EnvelopeIsUpBeforeALoudOnsetReachesTheDivisor) {
  // Driven with its band-limited input directly.
  const SampleRate rate = SampleRate::fromRate(48000);
  LevelNormaliser stage;
  stage.setRate(rate);
  stage.clear();
  stage.prepareBlock(defaultControls(), rate);
  const std::uint32_t onset = 3000;
  double peakOut = 0.0;
  for (std::uint32_t n = 0; n < onset + 2000; ++n) {
    const float in = n < onset ? 0.0f : (n % 2 ? 0.8f : -0.8f);
    float o = 0.0f;
    SecondCorner corner;
    stage.processRun(1, n, &in, &o, &corner);
    peakOut = std::max(peakOut, std::fabs(static_cast<double>(o)));
    if (n == onset - 1) {
      EXPECT_EQ(stage.envelope(), 0.0f);
    }
    if (n == onset + LevelNormaliser::kLookAhead) {
      EXPECT_GT(stage.divisor(), 0.9f * 0.8f);  // 2 ms attack
    }
  }
  EXPECT_LT(peakOut, 0.8 * 1.05);  // no overshoot after rescaling
}

TEST(LevelNormaliser, OpenLowpassPassesTheBandLimitedSignal346SamplesLate) {
  // The open first-order lowpass lags by only K / 2 samples near fs / 2; one
  // sample off would leave an error of about 0.03 here.
  for (int fs : {44100, 48000}) {
    ControlFields c = defaultControls();
    c.dnrLpfDisable = 1.0f;
    std::vector<float> y, o;
    Front front(fs, c);
    for (float v : sine(440.0, fs, fs, 0.5)) {
      front.step(v);
      y.push_back(front.filtered);
      o.push_back(front.o);
    }
    double worst = 0.0;
    for (std::size_t i = fs / 2; i < o.size(); ++i) worst = std::max(worst, std::fabs(double(o[i]) - y[i - 346]));
    EXPECT_LT(worst, 0.004) << fs;
  }
}

TEST(LevelNormaliser, CornersFollowTrebleContentInProportionToTheSensitivities) {
  auto corners = [](const std::vector<float>& in, float s1, float s2) {
    ControlFields c = defaultControls();
    c.dnrSensitivity = s1;
    c.dnr2Sensitivity = s2;
    Front front(48000, c);
    front.run(in, [](const Front&) { return 0.0f; });
    return std::pair{front.normaliser.firstCornerHz(), front.normaliser.secondCornerHz()};
  };
  const auto [hissFirst, hissSecond] = corners(whiteNoise(24000, 0.3f, 7u), 20.0f, 40.0f);
  EXPECT_GT(hissFirst, 2000.0f);
  EXPECT_LT(hissFirst, 22000.0f);
  EXPECT_NEAR(hissSecond / hissFirst, 2.0f, 1e-5);
  EXPECT_LT(corners(sine(200.0, 48000, 24000, 0.3), 20.0f, 40.0f).first, hissFirst / 2.0f);  // little treble
  EXPECT_EQ(corners(whiteNoise(24000, 0.3f, 7u), 300.0f, 300.0f).second, 22000.0f);
}

TEST(VezeEqualiser, ShelvesGiveAbout11DecibelsAtDcAndMinus23AtNyquistAndTheMiddleMatchesThePrototypes) {
  for (int fs : {44100, 48000}) {
    auto equalise = [&](const std::vector<float>& in) {
      Front front(fs);
      std::vector<float> y(in.size());
      front.equaliser.processRun(static_cast<int>(in.size()), 0, in.data(), y.data());
      return y;
    };
    EXPECT_NEAR(equalise(std::vector<float>(fs / 2, 0.1f)).back() / 0.1f, 1.9952623 * 1.7782794, 0.02);
    std::vector<float> alternating(fs / 2);
    for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = i % 2 ? -0.5f : 0.5f;
    EXPECT_NEAR(std::fabs(equalise(alternating).back()) / 0.5,
                6.3095737 * 0.056234132 * 0.70794576 * 0.70794576 * 0.39810717, 0.0005);
    // 0.2 s windows hold whole periods of every tone.
    for (double f : {30.0, 100.0, 1000.0, 2000.0, 3200.0, 4500.0, 6000.0, 7500.0, 10000.0, 16000.0})
      EXPECT_NEAR(gainDb(fs, f, fs / 5, equalise), (Model{double(fs), f}.equaliserDb()), 0.1) << fs << " " << f;
  }
}

TEST(VezeEqualiser, BypassPassesTheInputBitForBitAndKeepsTheFiltersWarm) {
  const auto in = whiteNoise(6000, 0.5f, 7u);
  Front always(48000), switched(48000);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (i == 2000 || i == 4000) {
      switched.controls.disableVezeEq = i == 2000 ? 0.5f : 0.49f;  // on from 0.5 up
      switched.prepare();
    }
    float reference = 0.0f;
    float y = 0.0f;
    always.equaliser.processRun(1, 0, &in[i], &reference);
    switched.equaliser.processRun(1, 0, &in[i], &y);
    ASSERT_EQ(y, i >= 2000 && i < 4000 ? in[i] : reference) << i;
  }
}

// One sample through the dispersion, as a run of one.
float disperse(AllpassDispersion& stage, float x, std::uint32_t n) {
  float d = 0.0f;
  stage.processRun(1, n, &x, &d);
  return d;
}

TEST(AllpassDispersion, ImpulseArrivesNoEarlierThan300SamplesWithItsEnergyDispersed) {
  AllpassDispersion stage;
  stage.clear();
  double energy = 0.0, first10 = 0.0;
  for (std::uint32_t n = 0; n < (1u << 16); ++n) {
    const double d = disperse(stage, n == 0 ? 1.0f : 0.0f, n);
    if (n < 300) {
      ASSERT_EQ(d, 0.0) << n;
    }
    if (n == 300) {
      EXPECT_NE(d, 0.0);
    }
    if (n < 310) first10 += d * d;
    energy += d * d;
  }
  EXPECT_NEAR(energy, 1.0, 1e-3);
  EXPECT_LT(first10, 0.5);  // spread out, not merely delayed
}

TEST(AllpassDispersion, SteadySinesKeepTheirAmplitudeAndTheCounterMayWrap) {
  for (double f : {100.0, 1000.0, 8000.0}) {
    AllpassDispersion stage;
    stage.clear();
    std::vector<float> d;
    for (float v : sine(f, 48000, 48000, 0.5)) d.push_back(disperse(stage, v, static_cast<std::uint32_t>(d.size())));
    EXPECT_NEAR(toneAmplitude(d, f, 48000, 24000, 24000), 0.5, 0.001) << f;
  }
  // Ring indexing stays continuous across the 32-bit wrap of the counter.
  AllpassDispersion plain, wrapped;
  plain.clear();
  wrapped.clear();
  std::uint32_t n = 0, m = 0xFFFFFFFFu - 999u;
  for (float v : whiteNoise(3000, 0.5f, 7u)) ASSERT_EQ(disperse(plain, v, n++), disperse(wrapped, v, m++));
}

TEST(InputConditioning, NoiseAndSinesStayFiniteAndBoundedAtEveryRate) {
  for (int fs : {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000, 192000}) {
    for (float disable : {0.0f, 1.0f}) {
      ControlFields c = defaultControls();
      c.dnrLpfDisable = disable;
      c.lowpassFilter = 15000.0f;  // above fs / 2 at the lowest rates
      // An unstable section blows up within a few hundred samples.
      int signal = 0;
      for (const auto& in : {whiteNoise(4000, 1.0f, 7u), sine(0.23 * fs, fs, 4000), sine(0.49 * fs, fs, 4000), sine(1000, fs, 4000)}) {
        Front front(fs, c);
        double peakX = 0.0, peakD = 0.0;
        bool finite = true;
        for (float v : in) {
          front.step(v);
          const SecondCorner& k2 = front.normaliser.secondCorner();
          finite &= std::isfinite(front.x) && std::isfinite(front.d) && std::isfinite(k2.k) && k2.k > 0.0f &&
                    std::isfinite(k2.oneMinusK) && std::isfinite(k2.kPlusOne);
          peakX = std::max(peakX, std::fabs(double(front.x)));
          peakD = std::max(peakD, std::fabs(double(front.d)));
        }
        EXPECT_TRUE(finite) << fs << " Hz, disable " << disable << ", signal " << signal;
        EXPECT_LT(std::max(peakX, peakD), 4.0) << fs << " Hz, disable " << disable << ", signal " << signal;
        if (signal++ == 0) {
          EXPECT_GT(peakX, 0.01) << fs << " Hz: noise passes, the chain is not silent";
        }
      }
    }
  }
}

TEST(InputConditioning, NanSampleLeavesTheFollowingOutputFiniteAndSilenceGivesZeros) {
  for (int fs : {8000, 48000}) {
    auto in = whiteNoise(static_cast<std::size_t>(fs), 0.5f, 7u);
    in[fs / 4] = NAN;
    in[fs / 2] = INFINITY;
    Front front(fs);
    for (float v : in) {
      front.step(v);
      ASSERT_TRUE(std::isfinite(front.x) && std::isfinite(front.d)) << fs;
    }
  }
  Front silent(48000);
  for (int i = 0; i < 20000; ++i) {
    silent.step(0.0f);
    ASSERT_TRUE(silent.x == 0.0f && silent.d == 0.0f) << i;
  }
}
