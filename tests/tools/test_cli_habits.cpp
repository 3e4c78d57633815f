// The command-line habits of the renderer, with the fixture delay plug-in:
// pipes, dither, existing outputs, manifests that resume, JSON output and
// the small conveniences of the command line.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tool_test_support.h"

using namespace tooltest;
using Json = nlohmann::json;

namespace {

class CliHabits : public ::testing::Test {
 protected:
  std::vector<std::string> render(std::vector<std::string> rest) const {
    std::vector<std::string> args = {"--plugin", FIXTURE_DELAY_PATH, "render"};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  }
  std::string make(const std::string& name, std::size_t frames, int channels = 1,
                   int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, unsigned seed = 7) const {
    writeAudio(dir_.file(name), format, 44100, channels,
               noise(frames * static_cast<std::size_t>(channels), 0.3f, seed));
    return dir_.file(name);
  }
  static struct timespec modified(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtim;
  }
  ScratchDir dir_;
};

// Float samples at (base + fraction) LSB of 16-bit full scale, in runs.
std::vector<float> lsbSteps(const std::vector<double>& fractions, std::size_t run) {
  std::vector<float> samples;
  for (double fraction : fractions)
    samples.insert(samples.end(), run, static_cast<float>((1000.0 + fraction) / 32768.0));
  return samples;
}

}  // namespace

TEST_F(CliHabits, PipeFromStandardInputToStandardOutputGivesTheSameSamples) {
  for (const int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24}) {
    const std::string in = make(format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16) ? "in.wav" : "in.flac",
                                20000, 1, format);
    ASSERT_EQ(runTool(render({"-y", in, dir_.file("file.wav")})).status, 0);
    // Both ends are pipes, which libsndfile cannot seek in.
    const ToolRun piped = runShell("cat " + shellQuoted(in) + " | " +
                                   toolCommand(render({"-", "-", "--format", "wav"})) +
                                   " | cat >" + shellQuoted(dir_.file("piped.wav")));
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_TRUE(piped.out.empty());
    EXPECT_NE(piped.err.find("- -> -: "), std::string::npos) << "the summary goes to stderr";
    const Audio file = readAudio(dir_.file("file.wav"));
    const Audio pipe = readAudio(dir_.file("piped.wav"));
    EXPECT_EQ(pipe.info.format, file.info.format);
    EXPECT_EQ(pipe.info.frames, 20000);
    EXPECT_EQ(pipe.samples, file.samples);
  }
  const ToolRun noType = runTool(render({make("a.wav", 100), "-"}));
  EXPECT_EQ(noType.status, 2);
  EXPECT_NE(noType.err.find("--format"), std::string::npos) << noType.err;
}

TEST_F(CliHabits, SixteenBitOutputGetsTriangularDitherFloatOutputNone) {
  const std::vector<double> fractions = {0.0, 0.25, 0.5, 0.75};
  const std::size_t run = 40000;
  writeAudio(dir_.file("steps.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1,
             lsbSteps(fractions, run));
  ASSERT_EQ(runTool(render({dir_.file("steps.wav"), dir_.file("d16.wav"), "--bit-depth", "16"})).status, 0);
  ASSERT_EQ(runTool(render({dir_.file("steps.wav"), dir_.file("r16.wav"), "--bit-depth", "16",
                            "--no-dither"})).status, 0);
  ASSERT_EQ(runTool(render({dir_.file("steps.wav"), dir_.file("f32.wav")})).status, 0);
  const Audio dithered = readAudio(dir_.file("d16.wav"));
  const Audio rounded = readAudio(dir_.file("r16.wav"));
  const Audio floats = readAudio(dir_.file("f32.wav"));
  const Audio input = readAudio(dir_.file("steps.wav"));

  for (std::size_t k = 0; k < fractions.size(); ++k) {
    SCOPED_TRACE("fraction " + std::to_string(fractions[k]));
    double sum = 0.0, squares = 0.0;
    std::map<long, std::size_t> histogram;
    for (std::size_t i = k * run; i < (k + 1) * run; ++i) {
      const double error = dithered.at(static_cast<sf_count_t>(i), 0) * 32768.0 - (1000.0 + fractions[k]);
      sum += error;
      squares += error * error;
      ++histogram[std::lround(dithered.at(static_cast<sf_count_t>(i), 0) * 32768.0) - 1000];
      // Without dither every sample is the plain rounding of its value.
      ASSERT_EQ(std::lround(rounded.at(static_cast<sf_count_t>(i), 0) * 32768.0),
                std::lround(std::nearbyint(1000.0 + fractions[k])));
    }
    // Triangular dither of 1 LSB peak: no bias, and an error power of 1/4
    // LSB^2 whatever the signal (rectangular dither would give f(1 - f)).
    EXPECT_NEAR(sum / run, 0.0, 0.01);
    EXPECT_NEAR(squares / run, 0.25, 0.01);
    if (fractions[k] == 0.0) {
      // On a whole LSB the noise rounds to -1, 0, +1 with 1/8, 3/4, 1/8.
      EXPECT_EQ(histogram.size(), 3u);
      EXPECT_NEAR(histogram[0] / double(run), 0.75, 0.01);
      EXPECT_NEAR(histogram[-1] / double(run), 0.125, 0.01);
      EXPECT_NEAR(histogram[1] / double(run), 0.125, 0.01);
    }
  }
  // Float output carries the float result untouched.
  for (sf_count_t i = 0; i < input.info.frames; ++i) ASSERT_EQ(floats.at(i, 0), input.at(i, 0));

  // 24-bit output is rounded to the nearest step, not truncated.
  writeAudio(dir_.file("fine.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1,
             std::vector<float>(500, static_cast<float>(1000.75 / 8388608.0)));
  ASSERT_EQ(runTool(render({dir_.file("fine.wav"), dir_.file("d24.wav"), "--bit-depth", "24"})).status, 0);
  EXPECT_EQ(readAudio(dir_.file("d24.wav")).at(250, 0), static_cast<float>(1001.0 / 8388608.0));
}

TEST_F(CliHabits, ExistingOutputsNoClobberSkipExistingAndLinks) {
  const std::string a = make("a.wav", 3000);
  const std::string b = make("b.wav", 3000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 9);
  std::filesystem::create_directory(dir_.file("out"));
  std::ofstream(dir_.file("out/a.wav")) << "precious";
  const auto before = modified(dir_.file("out/a.wav"));
  const ToolRun run = runTool(render({"-n", a, b, "-o", dir_.file("out")}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(slurp(dir_.file("out/a.wav")), "precious");
  EXPECT_EQ(modified(dir_.file("out/a.wav")).tv_nsec, before.tv_nsec);
  EXPECT_NE(run.out.find("a.wav: exists, left untouched"), std::string::npos) << run.out;
  EXPECT_EQ(readAudio(dir_.file("out/b.wav")).info.frames, 3000);
  EXPECT_NE(run.out.find("2 files: 1 rendered, 1 skipped, 0 failed"), std::string::npos) << run.out;

  // A link as the output: the file it points to is written, the link stays.
  std::filesystem::create_directory(dir_.file("store"));
  std::filesystem::create_symlink(dir_.file("store/real.wav"), dir_.file("link.wav"));
  ASSERT_EQ(runTool(render({a, dir_.file("link.wav")})).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.file("link.wav")));
  EXPECT_EQ(readAudio(dir_.file("store/real.wav")).info.frames, 3000);
}

TEST_F(CliHabits, ResumedManifestSkipsCompleteOutputsAndRedoesATruncatedOne) {
  std::ofstream list(dir_.file("list.txt"));
  list << "# tapes\n" << make("one.wav", 8000) << "\n\n" << make("two.wav", 9000) << "\n"
       << make("three.wav", 10000) << "\tsub/third.flac\n";
  list.close();
  const std::vector<std::string> args =
      render({"--manifest", dir_.file("list.txt"), "-o", dir_.file("out"), "--skip-existing"});
  ASSERT_EQ(runTool(args).status, 0);
  EXPECT_EQ(readAudio(dir_.file("out/sub/third.flac")).info.frames, 10000);

  // A copy cut short: the header promises more samples than the file holds.
  std::filesystem::resize_file(dir_.file("out/two.wav"), 20000);
  const auto untouched = modified(dir_.file("out/one.wav"));
  const ToolRun resumed = runTool(args);
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(modified(dir_.file("out/one.wav")).tv_nsec, untouched.tv_nsec);
  EXPECT_EQ(readAudio(dir_.file("out/two.wav")).info.frames, 9000);

  // The log holds both runs: three renders, then two skips and one render.
  const auto log = jsonLines(slurp(dir_.file("out/vardo-log.jsonl")));
  ASSERT_EQ(log.size(), 6u);
  std::map<std::string, int> secondRun;
  for (std::size_t i = 3; i < 6; ++i) ++secondRun[log[i]["status"].get<std::string>()];
  EXPECT_EQ(secondRun["skipped: complete"], 2);
  EXPECT_EQ(secondRun["rendered"], 1);
  for (std::size_t i = 0; i < 3; ++i) {  // in the order the files were finished
    EXPECT_EQ(log[i]["status"], "rendered");
    if (log[i]["input"].get<std::string>().ends_with("one.wav")) {
      EXPECT_EQ(log[i]["frames"], 8000);
    }
  }

  // A failed file is logged with its exit status and the others go on.
  std::ofstream(dir_.file("bad.txt")) << dir_.file("absent.wav") << "\n" << dir_.file("one.wav") << "\n";
  const ToolRun failing = runTool(render({"--manifest", dir_.file("bad.txt"), "-o",
                                          dir_.file("out2"), "--log", dir_.file("bad.jsonl")}));
  EXPECT_EQ(failing.status, 3);
  const auto badLog = jsonLines(slurp(dir_.file("bad.jsonl")));
  ASSERT_EQ(badLog.size(), 2u);
  for (const Json& entry : badLog) {
    const bool absent = entry["input"].get<std::string>().ends_with("absent.wav");
    EXPECT_EQ(entry["status"], absent ? "failed" : "rendered");
    EXPECT_EQ(entry["exit"], absent ? 3 : 0);
  }
}

TEST_F(CliHabits, JsonOutputsParse) {
  const Json info = Json::parse(runTool({"--plugin", FIXTURE_DELAY_PATH, "info", "--json"}).out);
  EXPECT_EQ(info["effect_name"], "Fixture Delay");
  EXPECT_EQ(info["latency"], 100);
  EXPECT_EQ(info["outputs"].size(), 2u);
  const Json params = Json::parse(runTool({"--plugin", FIXTURE_DELAY_PATH, "--json", "params"}).out);
  ASSERT_EQ(params["parameters"].size(), 3u);
  EXPECT_EQ(params["parameters"][0]["name"], "Gain");
  const Json presets = Json::parse(runTool({"presets", "--json"}).out);
  ASSERT_GE(presets["presets"].size(), 5u);
  EXPECT_EQ(presets["presets"][0]["name"], "tape");

  const ToolRun run = runTool(render({"--json", "--set", "gain=0.25n", make("a.wav", 2000, 2),
                                      make("b.wav", 1000), dir_.file("absent.wav"), "-o",
                                      dir_.file("out")}));
  ASSERT_EQ(run.status, 3) << run.err;
  const auto lines = jsonLines(run.out);
  ASSERT_EQ(lines.size(), 5u) << run.out;  // settings, three files, total
  EXPECT_EQ(lines[0]["type"], "settings");
  EXPECT_EQ(lines[0]["parameters"][0]["name"], "Gain");
  EXPECT_EQ(lines[4]["type"], "total");
  EXPECT_EQ(lines[4]["rendered"], 2);
  EXPECT_EQ(lines[4]["failed"], 1);
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(lines[i]["type"], "file");
    const std::string input = lines[i]["input"];
    if (input.ends_with("absent.wav")) {
      EXPECT_EQ(lines[i]["status"], "failed");
      EXPECT_EQ(lines[i]["exit"], 3);
      continue;
    }
    EXPECT_EQ(lines[i]["mixed_to_mono"], input.ends_with("a.wav"));
    EXPECT_TRUE(lines[i]["out_rms_dbfs"].is_number());
  }
}

TEST_F(CliHabits, ConveniencesOfTheCommandLine) {
  const ToolRun version = runTool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vardo ", 0), 0u) << version.out;

  const ToolRun bare = runTool({});
  EXPECT_EQ(bare.status, 2);
  EXPECT_NE(bare.err.find("Usage: vardo"), std::string::npos) << bare.err;
  EXPECT_NE(bare.err.find("render"), std::string::npos);

  const ToolRun wrong = runTool(render({"--bogus"}));
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("(see vardo render --help)"), std::string::npos) << wrong.err;
  const ToolRun noJobs = runTool(render({make("a.wav", 100), dir_.file("o.wav"), "-j", "0"}));
  EXPECT_EQ(noJobs.status, 2);
  EXPECT_NE(noJobs.err.find("1 or more"), std::string::npos) << noJobs.err;

  // Quiet prints nothing; verbose tells the format and the dither.
  const ToolRun quiet = runTool(render({"-q", "--set", "Gain=0.5n", make("b.wav", 100), dir_.file("q.wav")}));
  EXPECT_EQ(quiet.status, 0);
  EXPECT_TRUE(quiet.out.empty() && quiet.err.empty()) << quiet.out << quiet.err;
  const ToolRun verbose = runTool(render({"-v", make("c.wav", 100, 2), dir_.file("v.wav")}));
  EXPECT_NE(verbose.out.find("WAV 16-bit with TPDF dither"), std::string::npos) << verbose.out;
  EXPECT_NE(verbose.out.find("2 channels mixed to mono"), std::string::npos) << verbose.out;

  // Any unique beginning of a name, in any case.
  const ToolRun prefix = runTool(render({"--set", "mu=1n", make("d.wav", 1000), dir_.file("m.wav")}));
  ASSERT_EQ(prefix.status, 0) << prefix.err;
  EXPECT_NE(prefix.out.find("Mute = ON"), std::string::npos) << prefix.out;

  // An output ending in a separator is a directory, made when missing.
  ASSERT_EQ(runTool(render({make("e.wav", 100), dir_.file("made") + "/"})).status, 0);
  EXPECT_EQ(readAudio(dir_.file("made/e.wav")).info.frames, 100);

  // A bare plug-in file name is the file in the working directory.
  std::filesystem::copy_file(FIXTURE_DELAY_PATH, dir_.file("delay.so"));
  const ToolRun local = runShell("cd " + shellQuoted(dir_.path().string()) + " && " +
                                 toolCommand({"--plugin", "delay.so", "info"}));
  EXPECT_EQ(local.status, 0) << local.err;
  EXPECT_NE(local.out.find("Fixture Delay"), std::string::npos);
}
