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
  };
  for (const Case c : {Case{3500, 0}, Case{4500, 0}, Case{6000, 0}, Case{8000, 60}, Case{4500, 50}}) {
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

    // White hiss over the whole band is tape's, wherever the programme is
    // cut; the proposal is the tape preset as it stands (on the training
    // material, moving its corner with the cut or its threshold with the
    // noise measured no better).
    const Proposal p = propose(a);
    EXPECT_EQ(p.preset, "tape");
    EXPECT_EQ(p.humHz, c.hum);
    EXPECT_EQ(p.lines.size(), loadPreset("tape").size());
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

// The medium is told from the noise between phrases: how far up it reaches
// and how it tilts. Each programme is given its medium's kind of noise at
// -40 dBFS: band-limited as an 8 kHz channel, broadcast static or a disc's
// surface leave it, tilted like pink noise, or neither.
TEST(Analysis, TellsTheMediumFromTheNoiseBetweenPhrases) {
  struct Case {
    double cut;        // the programme's
    double noiseTop;   // where the noise ends (0: it reaches the top)
    bool tilted;       // falling towards the treble, or white
    const char* preset;
  };
  for (const Case c : {Case{3400, 3800, false, "phone"}, Case{4500, 5000, true, "am"},
                       Case{6000, 8500, true, "vinyl"}, Case{11000, 0, true, "field"},
                       Case{4000, 0, false, "tape"}}) {
    SCOPED_TRACE(c.preset);
    SpeechLike clip = speechLike(8.0, c.cut, 0.0f);
    const std::vector<float> hiss = shapedNoise(clip.mixed.size(), 0.01, c.noiseTop, c.tilted);
    for (std::size_t i = 0; i < hiss.size(); ++i) clip.mixed[i] += hiss[i];

    const Analysis a = analyseSamples(clip.mixed, 44100);
    std::printf("%s: noise 99 %% below %.0f Hz, tilt %.1f dB, edge %.0f Hz\n", c.preset, a.noiseBandwidthHz,
                a.noiseTiltDb, a.bandEdgeHz);
    EXPECT_EQ(propose(a).preset, c.preset);
    EXPECT_NEAR(a.noiseFloorDbfs, -40.0, 3.0);
    EXPECT_EQ(a.humHz, 0.0);
  }
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
