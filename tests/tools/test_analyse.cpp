// What the renderer measures and does before the plug-in: the analysis that
// proposes settings per file, and the hum notches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

#include "analyse.h"
#include "dehum.h"
#include "tool_test_support.h"

using namespace vardo::tools;
using namespace tooltest;

constexpr double kPi = 3.14159265358979323846;

TEST(Analysis, FindsTheCutTheNoiseFloorAndTheHumAndProposesSettings) {
  struct Case {
    double cut;
    double hum;
    const char* preset;
  };
  for (const Case c : {Case{3500, 0, "phone"}, Case{4500, 0, "tape"}, Case{6000, 0, "vinyl"},
                       Case{8000, 60, "vinyl"}, Case{4500, 50, "tape"}}) {
    SCOPED_TRACE("cut " + std::to_string(c.cut) + " Hz, hum " + std::to_string(c.hum));
    SpeechLike clip = speechLike(8.0, c.cut, 0.01f);  // hiss at -40 dBFS
    if (c.hum > 0) addHum(clip.mixed, c.hum, 0.01);   // fundamental at -40 dBFS
    const Analysis a = analyseSamples(clip.mixed, 44100);
    std::printf("cut %.0f Hz, hum %.0f Hz: edge %.0f Hz, floor %.1f dBFS, hum %.0f Hz at %.1f dBFS\n",
                c.cut, c.hum, a.bandEdgeHz, a.noiseFloorDbfs, a.humHz, a.humDbfs);
    EXPECT_NEAR(a.bandEdgeHz, c.cut, 300.0);
    // The hum adds its own power to what lies between phrases.
    EXPECT_NEAR(a.noiseFloorDbfs, c.hum > 0 ? -40.0 + 10 * std::log10(1 + 1 + 0.25 + 1 / 16.0) : -40.0, 3.0);
    EXPECT_EQ(a.humHz, c.hum);
    if (c.hum > 0) {
      EXPECT_NEAR(a.humDbfs, -40.0, 3.0);
    }
    EXPECT_EQ(a.clippedPercent, 0.0);

    const Proposal p = propose(a);
    EXPECT_EQ(p.preset, c.preset);
    EXPECT_EQ(p.humHz, c.hum);
    ASSERT_GE(p.lines.size(), 2u);
    // The placed values come last, so they win over the preset's; the
    // corner never cuts into the programme's band.
    const std::string corner = p.lines[p.lines.size() - 2].assignment;
    ASSERT_EQ(corner.rfind("Lowpass Filter=", 0), 0u) << corner;
    EXPECT_GE(std::stod(corner.substr(15)), c.cut - 100.0);
    const std::string threshold = p.lines.back().assignment;
    ASSERT_EQ(threshold.rfind("Auto-EQ Threshold=", 0), 0u) << threshold;
    // Tape at the level and cut its preset was tuned on is given the preset.
    if (c.cut == 4500 && c.hum == 0) {
      EXPECT_EQ(corner, "Lowpass Filter=4500");
      EXPECT_EQ(threshold, "Auto-EQ Threshold=-15");
    }
  }

  // A quarter of full scale in DC, and peaks cut flat at -6 dBFS.
  std::vector<float> clipped = speechLike(3.0, 8000, 0.001f).mixed;
  for (float& v : clipped) v = std::clamp(2.0f * v, -0.5f, 0.5f) + 0.25f;
  const Analysis bad = analyseSamples(clipped, 44100);
  EXPECT_NEAR(bad.dcOffset, 0.25, 0.01);
  EXPECT_GT(bad.clippedPercent, 0.1);
  EXPECT_NEAR(bad.peakDbfs, 20 * std::log10(0.75), 0.1);
  EXPECT_LT(bad.noiseFloorDbfs, -50.0) << "the DC counted as noise";

  // Nothing but digital silence, or steady noise without pauses: no band
  // edge to place the lowpass at, so the defaults rather than a 1 kHz corner.
  const Analysis silent = analyseSamples(std::vector<float>(44100, 0.0f), 44100);
  EXPECT_EQ(silent.humHz, 0.0);
  EXPECT_LT(silent.noiseFloorDbfs, -190.0);
  EXPECT_TRUE(propose(silent).lines.empty());
  EXPECT_TRUE(propose(analyseSamples(noise(5 * 44100, 0.1f), 44100)).lines.empty());
}

TEST(HumRemoval, NotchesHumAndItsHarmonicsAndLeavesWhatLiesBetween) {
  for (const double hz : {50.0, 60.0}) {
    std::vector<float> signal(4 * 44100, 0.0f);
    addHum(signal, hz, 0.1);
    for (std::size_t i = 0; i < signal.size(); ++i)
      signal[i] += static_cast<float>(0.1 * std::sin(2.0 * kPi * 1234.0 * i / 44100.0) +
                                      0.1 * std::sin(2.0 * kPi * 1.5 * hz * i / 44100.0));
    const std::vector<float> input = signal;
    HumFilter filter(hz, 44100.0);
    EXPECT_EQ(filter.notchCount(), static_cast<std::size_t>(1000.0 / hz));
    filter.process(signal.data(), signal.size());
    const std::size_t settled = 44100;  // the notches ring in within a second
    for (int h = 1; h * hz <= 1000.0; h += 2)
      EXPECT_LT(toneDb(signal, h * hz, settled) - toneDb(input, h * hz, settled), -40.0)
          << h * hz << " Hz";
    EXPECT_NEAR(toneDb(signal, 1234.0, settled), toneDb(input, 1234.0, settled), 0.1);
    EXPECT_NEAR(toneDb(signal, 1.5 * hz, settled), toneDb(input, 1.5 * hz, settled), 0.2);
  }
}
