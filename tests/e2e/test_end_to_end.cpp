// The whole chain through the built plug-in, driven as a host drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

#include "chain/chain.h"
#include "hosted_vardo.h"
#include "programme.h"
#include "test_signals.h"

using vardo::e2e::HostedVardo;
using vardo::e2e::Stereo;
using vardo::e2e::residentBytes;
using vardo::test::peakAbs;
namespace prog = vardo::programme;

namespace {

constexpr float kCeiling = 0.8912509f;
constexpr int kReportedDelay = vardo::kSignalPathDelay;

enum Param {
  kLowpass = 0,
  kDisableVeze = 1,
  kAutoEqThreshold = 2,
  kDensityLimit = 3,
  kNoisegate = 4,
  kGainTrim = 5,
  kWidthLimit = 6,
  kWidthOffset = 7,
  kAgcThreshold = 8,
  kExpansionLevel = 9,
  kDnrSensitivity = 10,
  kDnr2Sensitivity = 11,
  kDnrDisable = 12,
};

// Silence, a burst of full-scale noise, full-scale square waves low and high,
// isolated full-scale clicks and a loud onset straight after silence.
std::vector<float> torture(double fs, double seconds) {
  const int count = static_cast<int>(fs * seconds);
  std::vector<float> s(count, 0.0f);
  const auto noise = prog::whiteNoise(count, 1.0f, 99u);
  const int part = count / 6;
  for (int i = part / 2; i < part; ++i) s[i] = noise[i];
  const int lowPeriod = std::max(2, static_cast<int>(fs / 50.0));
  const int highPeriod = std::max(2, static_cast<int>(fs / 3000.0));
  for (int i = part; i < 2 * part; ++i) s[i] = (i / (lowPeriod / 2)) % 2 ? 1.0f : -1.0f;
  for (int i = 2 * part; i < 3 * part; ++i) s[i] = (i / (highPeriod / 2)) % 2 ? 1.0f : -1.0f;
  for (int i = 3 * part; i < 4 * part; i += static_cast<int>(fs / 20.0)) s[i] = (i & 1) ? 1.0f : -1.0f;
  for (int i = 5 * part; i < count; ++i) s[i] = noise[i] * 0.9f + ((i / 7) % 2 ? 0.1f : -0.1f);
  return s;
}

void expectFiniteAndBounded(const Stereo& out, const char* what) {
  for (size_t i = 0; i < out.left.size(); ++i) {
    ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << what << " at " << i;
    ASSERT_LE(std::fabs(out.left[i]), kCeiling) << what << " at " << i;
    ASSERT_LE(std::fabs(out.right[i]), kCeiling) << what << " at " << i;
  }
}

bool identical(const Stereo& a, const Stereo& b) {
  return a.left == b.left && a.right == b.right;
}

}  // namespace

// Every output sample stays finite and within -1 dBFS, whatever comes in and
// wherever the controls are.
TEST(EndToEnd, OutputIsFiniteAndWithinCeilingForAnyInputAndSetting) {
  const int fs = 44100;
  const auto input = torture(fs, 1.2);

  struct Setting {
    const char* name;
    std::vector<std::pair<int, float>> values;  // control units
  };
  // Every control at one end of its range.
  const auto allAt = [](float ControlRow::*end) {
    std::vector<std::pair<int, float>> values;
    for (int i = 0; i < kControlCount; ++i) values.emplace_back(i, kControlTable[i].*end);
    return values;
  };
  const std::vector<Setting> settings = {
      {"defaults", {}},
      {"minimum", allAt(&ControlRow::min)},
      {"maximum", allAt(&ControlRow::max)},
      {"mixed", {{kLowpass, 4000}, {kAutoEqThreshold, -30}, {kNoisegate, 70}, {kGainTrim, 12},
                 {kWidthOffset, 0}, {kAgcThreshold, 3}, {kExpansionLevel, 24},
                 {kDnr2Sensitivity, 300}}},
  };
  for (const Setting& setting : settings) {
    HostedVardo plugin(fs);
    ASSERT_TRUE(plugin.ok());
    for (const auto& [index, value] : setting.values) plugin.setValue(index, value);
    const Stereo out = plugin.render(input, 512);
    expectFiniteAndBounded(out, setting.name);
    // Loud material is passed, not muted. Material that stays below the
    // threshold level is raised only as far as the threshold allows, and the
    // gain is common to both channels, so not every setting reaches the ceiling.
    std::printf("[ figure   ] %s: output peaks %.3f / %.3f\n", setting.name, peakAbs(out.left),
                peakAbs(out.right));
    EXPECT_GT(std::min(peakAbs(out.left), peakAbs(out.right)), 0.1f * kCeiling) << setting.name;
  }
}

// Every instance carries ten voices, each a whole DSP, which an effect never
// plays. Made, re-rated, switched on and run for a block, an instance must
// not grow the resident set by much more than its one playing DSP: the
// voices' state written at creation or on each rate change and off/on would
// add about 6 MB.
TEST(EndToEnd, VoicesThatNeverPlayTakeNoResidentMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory and redzones count in the resident set";
#endif
  constexpr int kInstances = 4;
  std::vector<float> silence(512, 0.0f);
  std::vector<float> out0(512);
  std::vector<float> out1(512);
  std::vector<std::unique_ptr<HostedVardo>> plugins;
  const long before = residentBytes();
  for (int i = 0; i < kInstances; ++i) {
    plugins.push_back(std::make_unique<HostedVardo>(48000));
    ASSERT_TRUE(plugins.back()->ok());
    plugins.back()->switchOffAndOn();
    plugins.back()->process(silence.data(), out0.data(), out1.data(), 512);
  }
  const long perInstance = (residentBytes() - before) / kInstances;
  std::printf("[ figure   ] resident growth per instance: %ld bytes\n", perInstance);
  EXPECT_LT(perInstance, 1536L * 1024L);
}

TEST(EndToEnd, SilenceAfterCreationGivesExactZeros) {
  HostedVardo plugin(44100);
  ASSERT_TRUE(plugin.ok());
  const Stereo out = plugin.render(std::vector<float>(44100, 0.0f), 512);
  for (size_t i = 0; i < out.left.size(); ++i) {
    ASSERT_EQ(out.left[i], 0.0f) << i;
    ASSERT_EQ(out.right[i], 0.0f) << i;
  }
}

// Nothing reaches the output before the reported delay: every path through the
// chain is at least that long.
TEST(EndToEnd, OutputStaysZeroForTheReportedDelay) {
  HostedVardo plugin(44100);
  ASSERT_TRUE(plugin.ok());
  ASSERT_EQ(plugin.initialDelay(), kReportedDelay);
  const Stereo out = plugin.render(prog::whiteNoise(8192, 1.0f), 512);
  for (int i = 0; i < kReportedDelay; ++i) {
    ASSERT_EQ(out.left[i], 0.0f) << i;
    ASSERT_EQ(out.right[i], 0.0f) << i;
  }
  EXPECT_GT(peakAbs(out.left), 0.1f);
}

// For a broadband input the cross-correlation of input and output is the
// chain's impulse response: zero before the reported delay (see above), then spread over
// the group delay of the band-limiting, shelving and band filters. Its main
// arrival (the first lag reaching half the largest magnitude) must follow the
// reported delay within a millisecond: a stray fixed delay in the path (125,
// 132, 221 or 300 samples) or a missing one would move it far outside.
TEST(EndToEnd, ReportedDelayMatchesTheSignal) {
  for (int fs : {44100, 48000, 96000}) {
    HostedVardo plugin(fs);
    ASSERT_TRUE(plugin.ok());
    const auto input = prog::whiteNoise(fs / 2, 0.25f, 5u);
    const Stereo out = plugin.render(input, 512);
    for (const auto* channel : {&out.left, &out.right}) {
      const int first = 2400;
      std::vector<double> xcorr(1000, 0.0);
      double largest = 0.0;
      int peakLag = 0;
      for (int k = 0; k < static_cast<int>(xcorr.size()); ++k) {
        const int lag = first + k;
        double c = 0.0;
        for (size_t i = lag; i < channel->size(); ++i) c += (*channel)[i] * input[i - lag];
        xcorr[k] = std::fabs(c);
        if (xcorr[k] > largest) {
          largest = xcorr[k];
          peakLag = lag;
        }
      }
      int arrival = 0;
      while (xcorr[arrival] < 0.5 * largest) ++arrival;
      arrival += first;
      std::printf(
          "[ figure   ] fs %d channel %d: cross-correlation arrival at lag %d, peak at lag %d "
          "(reported %d)\n",
          fs, channel == &out.left ? 0 : 1, arrival, peakLag, plugin.initialDelay());
      EXPECT_GE(arrival, kReportedDelay) << fs;
      EXPECT_LE(arrival, kReportedDelay + fs / 1000) << fs;
    }
  }
}

// The block partition carries no meaning, and no state is shared between instances.
TEST(EndToEnd, BlockSizeAndInstanceDoNotChangeTheOutput) {
  const int fs = 44100;
  auto input = prog::speechLike(fs / 2, fs);
  const auto bursts = torture(fs, 0.5);
  for (size_t i = 0; i < input.size(); ++i) input[i] += 0.5f * bursts[i];

  auto configure = [](HostedVardo& p) {
    p.setValue(kLowpass, 7000);
    p.setValue(kAgcThreshold, -10);
    p.setValue(kDnr2Sensitivity, 120);
  };
  HostedVardo reference(fs);
  ASSERT_TRUE(reference.ok());
  configure(reference);
  const Stereo expected = reference.render(input, 512);
  ASSERT_GT(peakAbs(expected.left), 0.1f);
  for (int block : {1, 64, 4096, 1000}) {
    HostedVardo plugin(fs);
    configure(plugin);
    EXPECT_TRUE(identical(plugin.render(input, block), expected)) << "block " << block;
  }

  // Two live instances, processed in alternation, give the same result.
  HostedVardo first(fs);
  HostedVardo second(fs);
  configure(first);
  configure(second);
  Stereo a;
  Stereo b;
  for (size_t at = 0; at < input.size(); at += 512) {
    const size_t n = std::min<size_t>(512, input.size() - at);
    const std::vector<float> part(input.begin() + at, input.begin() + at + n);
    a.append(first.render(part, 512));
    b.append(second.render(part, 512));
  }
  EXPECT_TRUE(identical(a, b));
  EXPECT_TRUE(identical(a, expected));
}

// A parameter set between two blocks acts from the first sample of the next
// block: the result equals a finer partition with the change at the same
// sample, and differs from an unchanged instance.
TEST(EndToEnd, ParameterChangeTakesEffectAtTheNextBlock) {
  const int fs = 48000;
  const auto input = prog::speechLike(fs * 6 / 10, fs, 3u);
  const int boundary = 512 * 40;

  struct Change {
    int index;
    float value;
  };
  for (const Change change : {Change{kAgcThreshold, 3}, Change{kExpansionLevel, -96},
                              Change{kLowpass, 3000}, Change{kDnrDisable, 1}}) {
    auto renderWithChange = [&](int block, bool apply) {
      HostedVardo p(fs);
      Stereo out;
      for (int at = 0; at < static_cast<int>(input.size()); at += block) {
        if (apply && at == boundary) p.setValue(change.index, change.value);
        const int n = std::min<int>(block, static_cast<int>(input.size()) - at);
        out.append(p.render(std::vector<float>(input.begin() + at, input.begin() + at + n), n));
      }
      return out;
    };
    const Stereo coarse = renderWithChange(512, true);
    const Stereo fine = renderWithChange(64, true);
    const Stereo unchanged = renderWithChange(512, false);
    EXPECT_TRUE(identical(coarse, fine)) << "control " << change.index;

    int firstDifference = -1;
    for (size_t i = 0; i < coarse.left.size() && firstDifference < 0; ++i)
      if (coarse.left[i] != unchanged.left[i] || coarse.right[i] != unchanged.right[i])
        firstDifference = static_cast<int>(i);
    EXPECT_GE(firstDifference, boundary) << "control " << change.index;
    EXPECT_GE(firstDifference, 0) << "control " << change.index << " had no effect";
    std::printf("[ figure   ] control %d: output first differs %d samples after the change\n",
                change.index, firstDifference - boundary);
  }
}

// Stable and finite from 8 kHz to 384 kHz, with the signal still passing.
TEST(EndToEnd, StableAtEverySampleRate) {
  for (int fs : {8000, 22050, 44100, 48000, 96000, 192000, 384000}) {
    const double seconds = fs > 100000 ? 0.1 : 0.4;
    auto input = prog::speechLike(static_cast<int>(fs * seconds), fs, 11u);
    const auto bursts = torture(fs, seconds);
    for (size_t i = 0; i < input.size(); ++i) input[i] += bursts[i] * 0.7f;
    for (bool openCorners : {false, true}) {
      HostedVardo plugin(fs);
      ASSERT_TRUE(plugin.ok());
      if (openCorners) {
        plugin.setValue(kLowpass, 15000);
        plugin.setValue(kDnrDisable, 1);
        plugin.setValue(kExpansionLevel, 24);
      }
      const Stereo out = plugin.render(input, 512);
      expectFiniteAndBounded(out, openCorners ? "open corners" : "defaults");
      EXPECT_GT(peakAbs(out.left), 0.1f) << fs;
      // Once the input has gone quiet (and the delay has passed) the output
      // settles instead of ringing on.
      const Stereo tail = plugin.render(std::vector<float>(kReportedDelay + fs / 4, 0.0f), 512);
      EXPECT_LT(peakAbs(tail.left, tail.left.size() - fs / 20), 0.05f) << fs << " " << openCorners;
    }
  }
}

// NaN, infinities and absurdly large samples from a host never turn into
// non-finite or over-ceiling output; after NaN and infinities the programme
// comes back.
TEST(EndToEnd, HostileSamplesNeverLeaveTheCeiling) {
  const int fs = 44100;
  for (float glitch : {std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(), 1e34f}) {
    auto input = prog::speechLike(fs, fs, 13u);
    for (int i = 5000; i < 5040; ++i) input[i] = (i & 1) ? glitch : -glitch;
    HostedVardo plugin(fs);
    ASSERT_TRUE(plugin.ok());
    const Stereo out = plugin.render(input, 512);
    expectFiniteAndBounded(out, "after a glitch");
    if (!std::isfinite(glitch)) {
      EXPECT_GT(peakAbs(out.left, fs / 2), 0.1f) << glitch;
    }
  }
}

// Through the whole chain, a tone between 5 kHz and the lowpass corner gains
// its octave above the corner on both channels; "Bandwidth Expansion Level"
// at its minimum removes it.
TEST(EndToEnd, BandwidthExpansionAddsTheOctaveAboveTheCorner) {
  const int fs = 48000;
  const int count = fs / 2;
  const std::vector<float> tone = vardo::test::sine(6000.0, fs, count, 0.3);
  auto level = [&](const std::vector<float>& x, double f) {
    return vardo::test::toneAmplitude(x, f, fs, count / 2, count / 2);
  };
  HostedVardo expanded(fs);
  HostedVardo plain(fs);
  ASSERT_TRUE(expanded.ok() && plain.ok());
  plain.setValue(kExpansionLevel, -96);
  const Stereo on = expanded.render(tone, 512);
  const Stereo off = plain.render(tone, 512);
  for (const auto& [withOctave, without] : {std::pair{&on.left, &off.left}, std::pair{&on.right, &off.right}}) {
    const double octave = level(*withOctave, 12000.0);
    std::printf("[ figure   ] 12 kHz from a 6 kHz tone: %.4f at +16 dB, %.2g at -96 dB (tone %.3f)\n", octave,
                level(*without, 12000.0), level(*withOctave, 6000.0));
    EXPECT_GT(octave, 0.05 * level(*withOctave, 6000.0));
    EXPECT_LT(level(*without, 12000.0), 1e-3 * octave);
  }
}
