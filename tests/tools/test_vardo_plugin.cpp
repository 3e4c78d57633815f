// The renderer with the real plug-in: the samples it writes are the samples a
// host gets, latency compensation takes out exactly the reported delay, and
// settings are reported as the plug-in displays them.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "chain/chain.h"
#include "test_host.h"
#include "tool_test_support.h"

using namespace tooltest;
using vardo::test::TestHost;

namespace {

constexpr int kReportedLatency = vardo::kSignalPathDelay;

// The head of the demo clip as a 32-bit float file, and its samples.
struct ClipPiece {
  std::string path;
  std::vector<float> samples;
};

ClipPiece clipPiece(const ScratchDir& dir, double seconds) {
  Audio clip = readAudio(DEMO_CLIP_PATH);
  const auto frames = static_cast<std::size_t>(seconds * clip.info.samplerate);
  clip.samples.resize(frames);
  ClipPiece piece{dir.file("piece.wav"), clip.samples};
  writeAudio(piece.path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, clip.info.samplerate, 1, piece.samples);
  return piece;
}

// The same settings as the command line below, given as host values.
void applyHostSettings(TestHost& host) {
  host.setParameter(0, 0.5f);   // Lowpass Filter 8000 Hz
  host.setParameter(1, 1.0f);   // Disable VEZE EQ on
  host.setParameter(4, 0.25f);  // Noisegate Gain dB, normalised
}
const std::vector<std::string> kCommandLineSettings = {
    "--set", "Lowpass Filter=8000 Hz", "--set", "disable veze eq=on", "--set", "4=0.25n"};

std::size_t loudestFrame(const std::vector<float>& samples, int channels, int channel) {
  std::size_t best = 0;
  for (std::size_t i = 0; i < samples.size() / static_cast<std::size_t>(channels); ++i)
    if (std::fabs(samples[i * channels + channel]) > std::fabs(samples[best * channels + channel]))
      best = i;
  return best;
}

}  // namespace

TEST(VardoRender, SameSamplesAsTheTestHostWithAndWithoutCompensation) {
  ScratchDir dir;
  const ClipPiece piece = clipPiece(dir, 1.0);
  const int block = 300;
  const std::size_t n = piece.samples.size();

  const ToolRun plain = [&] {
    std::vector<std::string> args = {"render", piece.path, dir.file("plain.wav"),
                                     "--no-latency-compensation", "--block", "300"};
    args.insert(args.end(), kCommandLineSettings.begin(), kCommandLineSettings.end());
    return runTool(args);
  }();
  ASSERT_EQ(plain.status, 0) << plain.err;
  const ToolRun aligned = [&] {
    std::vector<std::string> args = {"render", piece.path, dir.file("aligned.wav"), "--block",
                                     "300"};
    args.insert(args.end(), kCommandLineSettings.begin(), kCommandLineSettings.end());
    return runTool(args);
  }();
  ASSERT_EQ(aligned.status, 0) << aligned.err;

  // Directly through the test host: the input, then the reported delay in
  // zeros, in the same blocks.
  TestHost host;
  ASSERT_NE(host.open(), nullptr) << host.error();
  host.startup(44100.0f, block);
  applyHostSettings(host);
  ASSERT_EQ(host.effect()->initialDelay, kReportedLatency);
  std::vector<float> input = piece.samples;
  input.resize(n + kReportedLatency, 0.0f);
  std::vector<float> a, b;
  host.processMono(input, block, a, b);

  const Audio plainOut = readAudio(dir.file("plain.wav"));
  const Audio alignedOut = readAudio(dir.file("aligned.wav"));
  ASSERT_EQ(plainOut.info.frames, static_cast<sf_count_t>(n));
  ASSERT_EQ(alignedOut.info.frames, static_cast<sf_count_t>(n));
  ASSERT_EQ(plainOut.info.channels, 2);
  std::size_t plainMismatches = 0;
  std::size_t alignedMismatches = 0;
  double peak = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    plainMismatches += plainOut.at(i, 0) != a[i] || plainOut.at(i, 1) != b[i];
    alignedMismatches +=
        alignedOut.at(i, 0) != a[i + kReportedLatency] || alignedOut.at(i, 1) != b[i + kReportedLatency];
    peak = std::max(peak, static_cast<double>(std::fabs(a[i + kReportedLatency])));
  }
  EXPECT_EQ(plainMismatches, 0u);
  EXPECT_EQ(alignedMismatches, 0u);
  EXPECT_GT(peak, 0.01) << "the plug-in put out silence: nothing was compared";
}

TEST(VardoRender, ImpulseComesOutAtItsPlacePlusTheFilterDelayOnly) {
  ScratchDir dir;
  const std::size_t length = 16000;
  const std::size_t k = 6000;
  std::vector<float> impulse(length, 0.0f);
  impulse[k] = 0.8f;
  writeAudio(dir.file("impulse.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, impulse);

  ASSERT_EQ(runTool({"render", dir.file("impulse.wav"), dir.file("aligned.wav")}).status, 0);
  ASSERT_EQ(runTool({"render", dir.file("impulse.wav"), dir.file("late.wav"),
                     "--no-latency-compensation"}).status, 0);
  const Audio aligned = readAudio(dir.file("aligned.wav"));
  const Audio late = readAudio(dir.file("late.wav"));
  ASSERT_EQ(aligned.info.frames, static_cast<sf_count_t>(length));
  ASSERT_EQ(late.info.frames, static_cast<sf_count_t>(length));

  const std::size_t alignedPeak = loudestFrame(aligned.samples, 2, 0);
  const std::size_t latePeak = loudestFrame(late.samples, 2, 0);
  const float peakLevel = std::fabs(aligned.at(static_cast<sf_count_t>(alignedPeak), 0));
  std::size_t onset = 0;
  while (std::fabs(aligned.at(static_cast<sf_count_t>(onset), 0)) < 1e-3f * peakLevel) ++onset;
  // Nothing comes out before the impulse went in, the response starts within
  // a few samples of it and peaks after the filters' group delay, a small
  // fraction of the 2660 samples the compensation took out.
  EXPECT_GE(onset, k);
  EXPECT_LT(onset, k + 16) << "onset at " << onset;
  EXPECT_GE(alignedPeak, onset);
  EXPECT_LT(alignedPeak, k + 256) << "aligned peak at " << alignedPeak;
  EXPECT_EQ(latePeak, alignedPeak + kReportedLatency);
  std::printf("impulse at %zu: compensated onset +%zu, peak +%zu; uncompensated peak +%zu\n", k,
              onset - k, alignedPeak - k, latePeak - k);
}

TEST(VardoCommandLine, SettingsAreReportedAsThePluginDisplaysThem) {
  ScratchDir dir;
  writeAudio(dir.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, noise(4410, 0.1f));
  const ToolRun run = runTool({"render", dir.file("in.wav"), dir.file("out.wav"), "--set",
                               "Lowpass Filter=8 kHz", "--set", "auto-eq threshold=-44dB",
                               "--set", "7=1.37", "--set", "DNR LPF Disable=on"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Lowpass Filter = 8000 Hz\n"), std::string::npos) << run.out;
  // -44 is not reachable exactly; the host value chosen still displays -44.
  EXPECT_NE(run.out.find("Auto-EQ Threshold = -44 dB\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Stereo Expander Offset = 1.370000\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("DNR LPF Disable = ON\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("in peak "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("x real time"), std::string::npos) << run.out;
}

TEST(VardoCommandLine, RangesAndUnitsAreChecked) {
  ScratchDir dir;
  writeAudio(dir.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, noise(441, 0.1f));
  const auto render = [&](const std::string& setting) {
    return runTool({"render", dir.file("in.wav"), dir.file("out.wav"), "--set", setting});
  };
  ToolRun run = render("Lowpass Filter=20000");
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("outside its range 1000 .. 15000 Hz"), std::string::npos) << run.err;
  run = render("Noisegate Gain dB=5 Hz");
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("which is in dB"), std::string::npos) << run.err;
  run = render("Disable VEZE EQ=maybe");
  EXPECT_EQ(run.status, 5);
  run = render("Lowpas Filter=8000");
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("closest: 'Lowpass Filter'"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav")));
}

TEST(VardoCommandLine, ParamsAndInfoShowWhatAHostSees) {
  const ToolRun params = runTool({"params"});
  ASSERT_EQ(params.status, 0) << params.err;
  EXPECT_EQ(std::count(params.out.begin(), params.out.end(), '\n'), 14);  // heading + 13
  EXPECT_NE(params.out.find("Lowpass Filter"), std::string::npos);
  EXPECT_NE(params.out.find("1000 .. 15000"), std::string::npos);
  EXPECT_NE(params.out.find("1.100000"), std::string::npos);  // the offset's display
  const ToolRun info = runTool({"info"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Tovrel_KORVA-MX31f7"), std::string::npos);
  EXPECT_NE(info.out.find("0x56415244"), std::string::npos);
  EXPECT_NE(info.out.find(std::to_string(kReportedLatency) + " samples"), std::string::npos);
}

TEST(VardoCommandLine, PresetsFilesOverridesAndWarnings) {
  ScratchDir dir;
  writeAudio(dir.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, noise(4410, 0.1f));
  const std::string in = dir.file("in.wav");

  // Every built-in preset is accepted as it stands, without a warning.
  const ToolRun list = runTool({"presets"});
  ASSERT_EQ(list.status, 0);
  for (const char* name : {"tape", "am", "phone", "vinyl", "field"}) {
    const ToolRun run = runTool({"render", "--preset", name, in, dir.file("p.wav")});
    EXPECT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_TRUE(run.err.empty()) << name << ": " << run.err;
    EXPECT_NE(list.out.find(std::string(name) + " "), std::string::npos) << list.out;
  }

  // A preset file, then --set: the later value wins, and the result is the
  // same as giving the values with --set alone.
  std::ofstream(dir.file("mine.preset")) << "# for a worn tape\n\nLowpass Filter = 6000 Hz\n"
                                            "noisegate=40\nDisable VEZE EQ=on\n";
  const ToolRun preset = runTool({"render", "--preset", dir.file("mine.preset"), "--set",
                                  "lowpass=7000", in, dir.file("a.wav")});
  ASSERT_EQ(preset.status, 0) << preset.err;
  EXPECT_NE(preset.out.find("Lowpass Filter = 7000 Hz"), std::string::npos) << preset.out;
  EXPECT_EQ(preset.out.find("6000"), std::string::npos) << preset.out;
  const ToolRun direct = runTool({"render", "--set", "Noisegate Gain dB=40", "--set",
                                  "Lowpass Filter=7000", "--set", "Disable VEZE EQ=on", in,
                                  dir.file("b.wav")});
  ASSERT_EQ(direct.status, 0) << direct.err;
  EXPECT_EQ(readAudio(dir.file("a.wav")).samples, readAudio(dir.file("b.wav")).samples);

  std::ofstream(dir.file("bad.preset")) << "Lowpass Filter=6000\nlowpass 5000\n";
  ToolRun run = runTool({"render", "--preset", dir.file("bad.preset"), in, dir.file("c.wav")});
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("bad.preset:2"), std::string::npos) << run.err;
  run = runTool({"render", "--preset", "casette", in, dir.file("c.wav")});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("tape, am, phone, vinyl, field"), std::string::npos) << run.err;
  run = runTool({"render", "--set", "dnr=100", in, dir.file("c.wav")});
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("ambiguous"), std::string::npos) << run.err;

  // A value between steps is rounded, with a warning; a corner above the
  // input's Nyquist frequency is named.
  run = runTool({"render", "--set", "lowpass=8050", in, dir.file("c.wav")});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("warning: 'Lowpass Filter' = 8050 Hz rounded to 8100 Hz"),
            std::string::npos) << run.err;
  writeAudio(dir.file("phone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, noise(800, 0.1f));
  run = runTool({"render", dir.file("phone.wav"), dir.file("d.wav")});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("'Lowpass Filter' at 9600 Hz lies above the Nyquist frequency of the "
                         "input (4000 Hz"), std::string::npos) << run.err;
}
