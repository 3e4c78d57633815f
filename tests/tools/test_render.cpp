// Rendering through a loaded plug-in: latency compensation, block size,
// channel choice and the formats written.
#include <gtest/gtest.h>

#include <cmath>

#include "audio_file.h"
#include "plugin_host.h"
#include "render.h"
#include "report.h"
#include "warm_up.h"
#include "tool_test_support.h"

using namespace vardo::tools;
using namespace tooltest;

namespace {

constexpr int kFixtureDelay = 100;

struct Rendered {
  StreamResult result;
  std::vector<float> interleaved;
};

// Runs a fresh fixture instance over input, as the renderer does for a file,
// after a warm-up of warmUpFrames when given.
Rendered renderWithFixture(const std::vector<float>& input, RenderOptions options,
                           float gain = 0.5f, std::int64_t warmUpFrames = 0) {
  PluginInstance plugin(PluginLibrary::open(FIXTURE_DELAY_PATH));
  plugin.configure(44100.0, options.blockSize);
  plugin.setParameter(0, gain);
  plugin.resume();
  std::size_t position = 0;
  ProgrammeSource source(
      [&](float* mono, int frames) {
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(frames),
                                                  input.size() - position);
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(position), count, mono);
        position += count;
        return static_cast<int>(count);
      },
      warmUpFrames, nullptr, 44100.0);
  Rendered rendered;
  rendered.result = renderStream(
      plugin, options, [&](float* mono, int frames) { return source.read(mono, frames); },
      [&](const float* frames, int count) {
        rendered.interleaved.insert(rendered.interleaved.end(), frames, frames + 2 * count);
      },
      nullptr, source.warmUp());
  plugin.suspend();
  return rendered;
}

std::vector<float> impulseAt(std::size_t length, std::size_t position) {
  std::vector<float> signal(length, 0.0f);
  signal[position] = 0.5f;
  return signal;
}

std::size_t peakFrame(const std::vector<float>& interleaved, int channel) {
  std::size_t best = 0;
  for (std::size_t i = 0; i < interleaved.size() / 2; ++i)
    if (std::fabs(interleaved[2 * i + channel]) > std::fabs(interleaved[2 * best + channel]))
      best = i;
  return best;
}

}  // namespace

TEST(LatencyCompensation, ImpulseStaysInPlaceAndLengthIsKept) {
  for (const int block : {1, 64, 512, 4096}) {
    SCOPED_TRACE("block " + std::to_string(block));
    const auto input = impulseAt(1000, 333);
    const Rendered r = renderWithFixture(input, {block, true});
    EXPECT_EQ(r.result.latency, kFixtureDelay);
    EXPECT_EQ(r.result.inputFrames, 1000);
    ASSERT_EQ(r.result.outputFrames, 1000);
    ASSERT_EQ(r.interleaved.size(), 2000u);
    EXPECT_EQ(peakFrame(r.interleaved, 0), 333u);
    EXPECT_FLOAT_EQ(r.interleaved[2 * 333], 0.5f);
    EXPECT_FLOAT_EQ(r.interleaved[2 * 333 + 1], -0.5f);
  }
}

TEST(LatencyCompensation, TailNearTheEndIsFlushedOut) {
  // The last input sample needs the flushed zeros to come out at all.
  const auto input = impulseAt(300, 299);
  const Rendered r = renderWithFixture(input, {128, true});
  ASSERT_EQ(r.result.outputFrames, 300);
  EXPECT_FLOAT_EQ(r.interleaved[2 * 299], 0.5f);
}

TEST(LatencyCompensation, OffKeepsThePluginDelay) {
  const auto input = impulseAt(1000, 333);
  const Rendered r = renderWithFixture(input, {256, false});
  EXPECT_EQ(r.result.latency, 0);
  ASSERT_EQ(r.result.outputFrames, 1000);
  EXPECT_EQ(peakFrame(r.interleaved, 0), 333u + kFixtureDelay);
}

TEST(LatencyCompensation, ShorterInputThanTheDelay) {
  const auto input = impulseAt(10, 3);
  const Rendered r = renderWithFixture(input, {512, true});
  ASSERT_EQ(r.result.outputFrames, 10);
  EXPECT_EQ(peakFrame(r.interleaved, 0), 3u);
  const Rendered empty = renderWithFixture({}, {512, true});
  EXPECT_EQ(empty.result.outputFrames, 0);
  EXPECT_TRUE(empty.interleaved.empty());
}

TEST(WarmUp, MirroredOpeningKeepsAlignmentAndLengthAndRunsIntoTheProgramme) {
  // The warm-up ends on the first sample and folds back at every end.
  EXPECT_EQ(mirroredWarmUp({1, 2, 3}, 8), (std::vector<float>{2, 1, 1, 2, 3, 3, 2, 1}));
  EXPECT_TRUE(mirroredWarmUp({}, 8).empty());

  const auto input = noise(3000, 0.25f);
  for (const int block : {1, 64, 4096}) {
    for (const std::size_t length : {std::size_t{3000}, std::size_t{40}}) {
      SCOPED_TRACE("block " + std::to_string(block) + ", " + std::to_string(length) + " frames");
      const std::vector<float> programme(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(length));
      // Compensated: the warm-up's output is all dropped, the programme
      // comes out in place and whole.
      const Rendered warm = renderWithFixture(programme, {block, true}, 1.0f, 1000);
      EXPECT_EQ(warm.result.warmUpFrames, 1000);
      EXPECT_EQ(warm.result.inputFrames, static_cast<std::int64_t>(length));
      EXPECT_DOUBLE_EQ(warm.result.input.rms(), renderWithFixture(programme, {block, true}, 1.0f).result.input.rms());
      ASSERT_EQ(warm.interleaved.size(), 2 * length);
      std::size_t mismatches = 0;
      for (std::size_t i = 0; i < length; ++i) mismatches += warm.interleaved[2 * i] != 2.0f * programme[i];
      EXPECT_EQ(mismatches, 0u);
      // Uncompensated, the delay holds the warm-up's tail at time zero: the
      // opening mirrored, running straight into the programme.
      const Rendered late = renderWithFixture(programme, {block, false}, 1.0f, 1000);
      ASSERT_EQ(late.interleaved.size(), 2 * length);
      for (std::size_t i = 0; i < length; ++i) {
        const float expected = i < kFixtureDelay ? programme[(kFixtureDelay - 1 - i) % length]
                                                 : programme[i - kFixtureDelay];
        if (length >= kFixtureDelay) mismatches += late.interleaved[2 * i] != 2.0f * expected;
      }
      EXPECT_EQ(mismatches, 0u);
    }
  }
}

TEST(Render, BlockSizeDoesNotChangeTheSamplesAndStatsAreMeasured) {
  const auto input = noise(5000, 0.25f);
  const Rendered reference = renderWithFixture(input, {4096, true}, 1.0f);
  for (const int block : {1, 7, 512}) {
    const Rendered other = renderWithFixture(input, {block, true}, 1.0f);
    EXPECT_EQ(other.interleaved, reference.interleaved) << "block " << block;
  }
  // Gain 2: output peak is twice the input's; RMS over both channels likewise.
  EXPECT_NEAR(reference.result.output.peak(), 2.0 * reference.result.input.peak(), 1e-6);
  EXPECT_NEAR(reference.result.output.rms(), 2.0 * reference.result.input.rms(), 1e-6);
  EXPECT_NEAR(reference.result.input.rms(), 0.25 / std::sqrt(3.0), 0.01);
}

TEST(AudioReader, MixesToMonoOrPicksOneChannel) {
  ScratchDir dir;
  const std::string path = dir.file("three.wav");
  // Channels hold 0.3, -0.6 and 0.9 throughout.
  std::vector<float> frames;
  for (int i = 0; i < 100; ++i) frames.insert(frames.end(), {0.3f, -0.6f, 0.9f});
  writeAudio(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 32000, 3, frames);

  std::vector<float> mono(200, 7.0f);
  AudioReader mixed(path, {0});
  EXPECT_EQ(mixed.sampleRate(), 32000);
  ASSERT_EQ(mixed.read(mono.data(), 200), 100);
  EXPECT_NEAR(mono[0], 0.2f, 1e-6f);
  EXPECT_NEAR(mono[99], 0.2f, 1e-6f);

  AudioReader third(path, {3});
  ASSERT_EQ(third.read(mono.data(), 50), 50);
  EXPECT_FLOAT_EQ(mono[49], 0.9f);
  EXPECT_THROW(AudioReader(path, {4}), ToolError);
}

TEST(OutputFormat, FollowsExtensionAndInputDepth) {
  const int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  const int wavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  EXPECT_EQ(outputFormat("a.wav", wav16, BitDepth::asInput), wav16);
  EXPECT_EQ(outputFormat("a.WAV", wavFloat, BitDepth::asInput), wavFloat);
  EXPECT_EQ(outputFormat("a.flac", wav16, BitDepth::pcm24), SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  // FLAC holds no float: the input's float depth becomes 24-bit.
  EXPECT_EQ(outputFormat("a.flac", wavFloat, BitDepth::asInput),
            SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  EXPECT_EQ(outputFormat("a.aiff", wav16, BitDepth::float32),
            SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
  EXPECT_EQ(outputFormat("a.ogg", wav16, BitDepth::asInput), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
  EXPECT_THROW(outputFormat("a.flac", wav16, BitDepth::float32), ToolError);
  EXPECT_THROW(outputFormat("a.mp4", wav16, BitDepth::asInput), ToolError);
  EXPECT_THROW(outputFormat("noextension", wav16, BitDepth::asInput), ToolError);
  EXPECT_THROW(parseBitDepth("20"), ToolError);
}

TEST(RoundTrip, WavSixteenWavFloatAndFlacKeepRateAndLength) {
  ScratchDir dir;
  const auto signal = noise(4410, 0.3f);
  struct Case {
    const char* input;
    int inputFormat;
    const char* output;
    std::vector<std::string> extra;
    int expectedFormat;
  };
  const Case cases[] = {
      {"a16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "b16.wav", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {"af.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "bf.wav", {}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "b.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {"c16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "cf.wav", {"--bit-depth", "32f"},
       SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {"cf2.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "c24.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.input) + " -> " + c.output);
    writeAudio(dir.file(c.input), c.inputFormat, 48000, 1, signal);
    std::vector<std::string> args = {"--plugin", FIXTURE_DELAY_PATH, "render", dir.file(c.input),
                                     dir.file(c.output)};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ToolRun run = runTool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(dir.file(c.output));
    EXPECT_EQ(out.info.samplerate, 48000);
    EXPECT_EQ(out.info.frames, 4410);
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.format, c.expectedFormat);
    // Gain 1 through the aligned delay: the output is the input again,
    // within the quantisation of the formats on the way.
    const Audio in = readAudio(dir.file(c.input));
    double worst = 0.0;
    for (sf_count_t i = 0; i < 4410; ++i)
      worst = std::max(worst, static_cast<double>(std::fabs(out.at(i, 0) - in.at(i, 0))));
    EXPECT_LT(worst, 1.0 / 16384.0);
  }
}

TEST(Batch, SeveralInputsInParallelEachGetTheirOwnOutput) {
  ScratchDir dir;
  const std::vector<std::string> names = {"one.wav", "two.flac", "three.wav"};
  std::vector<std::string> args = {"--plugin", FIXTURE_DELAY_PATH, "render", "-j", "2"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    writeAudio(dir.file(names[i]),
               (i == 1 ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16, 22050, 1,
               impulseAt(1000 + 100 * i, 50 * (i + 1)));
    args.push_back(dir.file(names[i]));
  }
  args.insert(args.end(), {"-o", dir.file("out/")});
  const ToolRun run = runTool(args);
  ASSERT_EQ(run.status, 0) << run.err;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const Audio out = readAudio(dir.file("out/" + names[i]));
    EXPECT_EQ(out.info.frames, static_cast<sf_count_t>(1000 + 100 * i));
    EXPECT_EQ(peakFrame(out.samples, 0), 50 * (i + 1));
    EXPECT_NE(run.out.find(names[i] + ": "), std::string::npos) << run.out;
  }
}

TEST(Batch, OutputNamingAnExistingDirectoryWritesIntoIt) {
  ScratchDir dir;
  writeAudio(dir.file("take.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 1,
             impulseAt(500, 10));
  std::filesystem::create_directory(dir.file("done"));
  const ToolRun run =
      runTool({"--plugin", FIXTURE_DELAY_PATH, "render", dir.file("take.wav"), dir.file("done")});
  ASSERT_EQ(run.status, 0) << run.err;
  const Audio out = readAudio(dir.file("done/take.wav"));
  EXPECT_EQ(out.info.frames, 500);
  EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
}

TEST(Summary, LevelsDurationAndSpeed) {
  EXPECT_EQ(formatDbfs(1.0), "0.0");
  EXPECT_EQ(formatDbfs(0.5), "-6.0");
  EXPECT_EQ(formatDbfs(0.0), "-inf");
  EXPECT_EQ(formatClock(75.2), "1:15");
  EXPECT_EQ(formatClock(3725.0), "1:02:05");

  RenderResult result;
  result.sampleRate = 48000;
  result.stream.inputFrames = 96000;
  result.wallSeconds = 0.5;
  const float input[] = {0.5f, -0.5f};
  const float output[] = {0.25f, 0.0f};
  result.stream.input.add(input, 2);
  result.stream.output.add(output, 2);
  const std::string line = summaryLine({"a.wav", "b.wav"}, result);
  EXPECT_EQ(line,
            "a.wav -> b.wav: 2.00 s, in peak -6.0 dBFS RMS -6.0 dBFS, out peak -12.0 dBFS "
            "RMS -15.1 dBFS, 4.0x real time, cold start");
  result.warmUpSeconds = 5.0;
  result.humHz = 60.0;
  result.autoSummary = "tape, Lowpass Filter=4000";
  EXPECT_NE(summaryLine({"a.wav", "b.wav"}, result)
                .find("4.0x real time, warm start, hum notched at 60 Hz, auto: tape, Lowpass Filter=4000"),
            std::string::npos);
}
