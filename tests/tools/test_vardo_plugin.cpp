// The renderer with the real plug-in: started cold, the samples it writes are
// the samples a host gets; latency compensation takes out exactly the
// reported delay; the warm start and the hum notches do what they promise;
// and settings are reported as the plug-in displays them.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "chain/chain.h"
#include "measurement_host.h"
#include "tool_test_support.h"

using namespace tooltest;
using vardo::measure::MeasurementHost;

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
void applyHostSettings(MeasurementHost& host) {
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

TEST(VardoRender, SameSamplesAsTheMeasurementHostWithAndWithoutCompensation) {
  ScratchDir dir;
  const ClipPiece piece = clipPiece(dir, 1.0);
  const int block = 300;
  const std::size_t n = piece.samples.size();

  const ToolRun plain = [&] {
    std::vector<std::string> args = {"render", piece.path, dir.file("plain.wav"),
                                     "--no-latency-compensation", "--block", "300",
                                     "--no-warm-up"};
    args.insert(args.end(), kCommandLineSettings.begin(), kCommandLineSettings.end());
    return runTool(args);
  }();
  ASSERT_EQ(plain.status, 0) << plain.err;
  const ToolRun aligned = [&] {
    std::vector<std::string> args = {"render", piece.path, dir.file("aligned.wav"), "--block",
                                     "300", "--no-warm-up"};
    args.insert(args.end(), kCommandLineSettings.begin(), kCommandLineSettings.end());
    return runTool(args);
  }();
  ASSERT_EQ(aligned.status, 0) << aligned.err;

  // Directly through the test host: the input, then the reported delay in
  // zeros, in the same blocks.
  MeasurementHost host;
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

  ASSERT_EQ(runTool({"render", dir.file("impulse.wav"), dir.file("aligned.wav"), "--no-warm-up"})
                .status, 0);
  ASSERT_EQ(runTool({"render", dir.file("impulse.wav"), dir.file("late.wav"),
                     "--no-latency-compensation", "--no-warm-up"}).status, 0);
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
    const ToolRun run = runTool({"render", "-y", "--preset", name, in, dir.file("p.wav")});
    EXPECT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_TRUE(run.err.empty()) << name << ": " << run.err;
    EXPECT_NE(list.out.find(std::string(name) + " "), std::string::npos) << list.out;
  }

  // A preset file, then --set: the later value wins, and the result is the
  // same as giving the values with --set alone.
  std::ofstream(dir.file("mine.preset")) << "# for a worn tape\n\nLowpass Filter = 6000 Hz\n"
                                            "noisegate=40\nDisable VEZE EQ=on\n";
  ToolRun run;
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

  // A file saved with a byte-order mark and comments after the values; a
  // frequency in k.
  std::ofstream(dir.file("marked.preset")) << "\xEF\xBB\xBFLowpass Filter=6000 Hz # brighter\n"
                                              "noisegate=40 # as the presets\n";
  run = runTool({"render", "--preset", dir.file("marked.preset"), "--set", "dnr lpf=on", in,
                 dir.file("e.wav")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Lowpass Filter = 6000 Hz"), std::string::npos) << run.out;
  run = runTool({"render", "--set", "lowpass=8k", in, dir.file("f.wav")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Lowpass Filter = 8000 Hz"), std::string::npos) << run.out;
  // A file named like a built-in preset does not replace it; -v says which.
  std::ofstream(dir.file("tape")) << "Lowpass Filter=1000\n";
  run = runShell("cd " + shellQuoted(dir.path().string()) + " && " +
                 toolCommand({"render", "-v", "--preset", "tape", "in.wav", "g.wav"}));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Lowpass Filter = 4500 Hz"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("the built-in preset"), std::string::npos) << run.err;
  run = runShell("cd " + shellQuoted(dir.path().string()) + " && " +
                 toolCommand({"render", "-v", "--preset", "./tape", "in.wav", "h.wav"}));
  EXPECT_NE(run.out.find("Lowpass Filter = 1000 Hz"), std::string::npos) << run.out;

  std::ofstream(dir.file("bad.preset")) << "Lowpass Filter=6000\nlowpass 5000\n";
  run = runTool({"render", "--preset", dir.file("bad.preset"), in, dir.file("c.wav")});
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

// The manual's recipe for spreading an archive over machines, as written,
// against an sshd of the test's own on 127.0.0.1: over ssh a command gets a
// non-login PATH, so the recipe names the program by its absolute path.
TEST(VardoCommandLine, TheManualsRemoteRecipeRunsOverSsh) {
  if (!haveProgram("parallel") || !haveProgram("ssh") || !haveProgram("ssh-keygen") ||
      !std::filesystem::exists("/usr/sbin/sshd"))
    GTEST_SKIP() << "needs GNU parallel, ssh and sshd (Debian parallel, openssh-server)";
  ScratchDir dir;
  const std::string d = dir.path().string();
  const int port = 20000 + static_cast<int>(::getpid() % 20000);
  for (const char* key : {"host_key", "id"})
    ASSERT_EQ(runShell("ssh-keygen -q -t ed25519 -N '' -f " + shellQuoted(d + "/" + key)).status, 0);
  std::filesystem::copy_file(d + "/id.pub", d + "/authorized_keys");
  std::ofstream(d + "/sshd_config")
      << "Port " << port << "\nListenAddress 127.0.0.1\nHostKey " << d << "/host_key\n"
      << "AuthorizedKeysFile " << d << "/authorized_keys\nPidFile " << d << "/sshd.pid\n"
      << "StrictModes no\nUsePAM no\nPasswordAuthentication no\nPermitRootLogin prohibit-password\n";
  std::error_code ec;
  std::filesystem::create_directories("/run/sshd", ec);  // its privilege-separation directory
  const ToolRun started = runShell("/usr/sbin/sshd -D -e -f " + shellQuoted(d + "/sshd_config") +
                                   " >/dev/null 2>" + shellQuoted(d + "/sshd.log") +
                                   " </dev/null & echo $!");
  const std::string sshdPid = started.out.substr(0, started.out.find('\n'));
  struct StopSshd {
    std::string pid;
    ~StopSshd() {
      if (!pid.empty()) runShell("kill " + pid + " 2>/dev/null");
    }
  } stop{sshdPid};
  const std::string ssh = "ssh -i " + d + "/id -p " + std::to_string(port) +
                          " -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null "
                          "-o BatchMode=yes -o LogLevel=ERROR";
  bool up = false;
  for (int attempt = 0; attempt < 50 && !up; ++attempt) {
    up = runShell(ssh + " 127.0.0.1 true").status == 0;
    if (!up) ::usleep(100000);
  }
  if (!up) GTEST_SKIP() << "sshd did not start here: " << slurp(d + "/sshd.log");

  std::ofstream list(d + "/list.txt");
  for (int i = 0; i < 4; ++i) {
    const std::string in = d + "/tape" + std::to_string(i) + ".wav";
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, noise(2000, 0.1f, 20 + i));
    list << in << "\n";
  }
  list.close();
  // The manual's lines with this test's paths, machine and ssh options.
  const std::string recipe =
      "cd " + shellQuoted(d) + " && mkdir -p chunks restored/logs && "
      "split -n l/2 -d list.txt chunks/part- && "
      "parallel --ssh " + shellQuoted(ssh) + " --sshlogin 1/127.0.0.1,1/: --workdir \"$PWD\" " +
      shellQuoted(VARDO_TOOL_PATH) + " -q render --preset tape --manifest {} -o " + d +
      "/restored --skip-existing -j 1 --log " + d + "/restored/logs/{/}.jsonl ::: chunks/part-*";
  const ToolRun run = runShell(recipe);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(readAudio(d + "/restored/tape" + std::to_string(i) + ".wav").info.frames, 2000);
  EXPECT_TRUE(std::filesystem::exists(d + "/restored/logs/part-00.jsonl"));
  EXPECT_TRUE(std::filesystem::exists(d + "/restored/logs/part-01.jsonl"));
}

TEST(VardoRender, WarmStartLevelsTheOpeningLikeTheMiddleAndStartsWithoutAStep) {
  ScratchDir dir;
  // Hiss at -40 dBFS, and speech from 1.2 s on: the first second is a pause.
  // So is the second from 6 s, a quarter of a second after a phrase, as the
  // first one is after the warm-up's last phrase.
  const SpeechLike clip = speechLike(10.0, 4500, 0.01f, 1.2, 6.0, 1.2);
  writeAudio(dir.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, clip.mixed);
  const ToolRun warm = runTool({"render", dir.file("in.wav"), dir.file("warm.wav")});
  const ToolRun cold = runTool({"render", dir.file("in.wav"), dir.file("cold.wav"), "--no-warm-up"});
  ASSERT_EQ(warm.status, 0) << warm.err;
  ASSERT_EQ(cold.status, 0) << cold.err;
  EXPECT_NE(warm.out.find(", warm start"), std::string::npos) << warm.out;
  EXPECT_NE(cold.out.find(", cold start"), std::string::npos) << cold.out;

  const std::size_t second = 44100;
  for (const char* name : {"warm.wav", "cold.wav"}) {
    const Audio out = readAudio(dir.file(name));
    ASSERT_EQ(out.info.frames, static_cast<sf_count_t>(clip.mixed.size()));
    const double first = rmsDbfsWhere(out.samples, 2, 0, clip.pause, 0, second);
    const double opening = rmsDbfsWhere(out.samples, 2, 0, clip.pause, 0, second / 10);
    const double middle = rmsDbfsWhere(out.samples, 2, 0, clip.pause, 6 * second, 7 * second);
    const double middleOpening =
        rmsDbfsWhere(out.samples, 2, 0, clip.pause, 6 * second, 6 * second + second / 10);
    // The largest step from one sample to the next, in the first 64 and in
    // the later pauses.
    double firstStep = std::fabs(out.at(0, 0)), laterStep = 0.0;
    for (sf_count_t i = 1; i < 64; ++i)
      firstStep = std::max(firstStep, static_cast<double>(std::fabs(out.at(i, 0) - out.at(i - 1, 0))));
    for (std::size_t i = 4 * second; i < 10 * second; ++i)
      if (clip.pause[i] && clip.pause[i - 1])
        laterStep = std::max(laterStep, static_cast<double>(std::fabs(out.at(static_cast<sf_count_t>(i), 0) -
                                                                        out.at(static_cast<sf_count_t>(i - 1), 0))));
    std::printf("%s: pause noise in the first second %+.1f dB against the same second of a "
                "pause in the middle, first 100 ms %+.1f dB; largest step at the start %.4f, "
                "later %.4f\n",
                name, first - middle, opening - middleOpening, firstStep, laterStep);
    if (std::string(name) == "warm.wav") {
      EXPECT_NEAR(first, middle, 1.5);
      // No burst at the start either (cold, the first 100 ms are some 17 dB
      // up); a tenth of a second of hiss varies more than a second does.
      EXPECT_NEAR(opening, middleOpening, 4.0);
      EXPECT_LE(firstStep, laterStep);
    }
  }
}

TEST(VardoRender, DehumTakesTheHumFarBelowTheSpeech) {
  ScratchDir dir;
  for (const double hz : {50.0, 60.0}) {
    SCOPED_TRACE(std::to_string(hz) + " Hz");
    SpeechLike clip = speechLike(8.0, 4500, 0.001f);
    addHum(clip.mixed, hz, 0.01);  // the fundamental at -40 dBFS
    writeAudio(dir.file("hum.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, clip.mixed);
    std::vector<bool> speech(clip.pause.size());
    for (std::size_t i = 0; i < speech.size(); ++i) speech[i] = !clip.pause[i];
    // Speech over hum: speech RMS against the fundamental, past the first
    // second.
    auto speechOverHum = [&](const std::vector<float>& samples, int channels) {
      return rmsDbfsWhere(samples, channels, 0, speech, 44100, speech.size()) -
             toneDb(samples, hz, 44100, channels, 0);
    };
    const double input = speechOverHum(clip.mixed, 1);
    const ToolRun plain = runTool({"render", "-y", "--preset", "tape", dir.file("hum.wav"), dir.file("plain.wav")});
    const ToolRun notched = runTool({"render", "-y", "--preset", "tape", "--dehum", "auto",
                                     dir.file("hum.wav"), dir.file("notched.wav")});
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(notched.status, 0) << notched.err;
    EXPECT_NE(notched.out.find("hum notched at " + std::to_string(static_cast<int>(hz)) + " Hz"),
              std::string::npos) << notched.out;
    const double without = speechOverHum(readAudio(dir.file("plain.wav")).samples, 2);
    const double with = speechOverHum(readAudio(dir.file("notched.wav")).samples, 2);
    std::printf("%.0f Hz hum, speech over hum: input %.1f dB, --preset tape %.1f dB, with --dehum "
                "%.1f dB\n", hz, input, without, with);
    EXPECT_GE(with - input, 15.0);
  }
}

TEST(VardoCommandLine, AnalyseProposesAndAutoAppliesSettingsPerFile) {
  ScratchDir dir;
  // A call's line noise ends below 4 kHz; a disc's surface noise is tilted
  // and ends near 9 kHz.
  auto withNoise = [](std::vector<float> programme, std::vector<float> noise) {
    for (std::size_t i = 0; i < programme.size(); ++i) programme[i] += noise[i];
    return programme;
  };
  writeAudio(dir.file("phone.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1,
             withNoise(speechLike(6.0, 3400, 0.0f).mixed, shapedNoise(6 * 44100, 0.005, 3800, false)));
  writeAudio(dir.file("disc.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1,
             withNoise(speechLike(6.0, 6000, 0.0f).mixed, shapedNoise(6 * 44100, 0.01, 8500, true)));
  const ToolRun analysed = runTool({"--json", "analyse", dir.file("phone.wav"), dir.file("disc.wav")});
  ASSERT_EQ(analysed.status, 0) << analysed.err;
  std::istringstream lines(analysed.out);
  std::string line;
  std::vector<nlohmann::json> reports;
  while (std::getline(lines, line)) reports.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0]["proposed"]["preset"], "phone");
  EXPECT_EQ(reports[1]["proposed"]["preset"], "vinyl");
  EXPECT_NEAR(reports[1]["band_edge_hz"].get<double>(), 6000.0, 300.0);

  // --auto in a manifest: each file gets its own settings, and the log
  // says which.
  std::ofstream(dir.file("list.txt")) << dir.file("phone.wav") << "\n" << dir.file("disc.wav") << "\n";
  const ToolRun batch = runTool({"render", "--auto", "--manifest", dir.file("list.txt"), "-o",
                                 dir.file("out"), "-j", "1"});
  ASSERT_EQ(batch.status, 0) << batch.err;
  EXPECT_NE(batch.out.find("auto: phone"), std::string::npos) << batch.out;
  EXPECT_NE(batch.out.find("auto: vinyl"), std::string::npos) << batch.out;
  std::istringstream log(slurp(dir.file("out/vardo-log.jsonl")));
  int logged = 0;
  while (std::getline(log, line)) {
    const auto entry = nlohmann::json::parse(line);
    EXPECT_TRUE(entry["auto"]["proposed"]["settings"].contains("Lowpass Filter")) << line;
    logged += 1;
  }
  EXPECT_EQ(logged, 2);

  // --set still overrides what --auto chose: the same samples as the
  // proposal given by hand with the override last.
  const auto& proposed = reports[0]["proposed"]["settings"];
  std::vector<std::string> byHand = {"render", dir.file("phone.wav"), dir.file("hand.wav")};
  for (auto it = proposed.begin(); it != proposed.end(); ++it)
    if (it.key() != "Noisegate Gain dB") byHand.insert(byHand.end(), {"--set", it.key() + "=" + it.value().get<std::string>()});
  byHand.insert(byHand.end(), {"--set", "Noisegate Gain dB=20"});
  ASSERT_EQ(runTool(byHand).status, 0);
  const ToolRun overridden = runTool({"render", "--auto", "--set", "noisegate=20",
                                      dir.file("phone.wav"), dir.file("auto.wav")});
  ASSERT_EQ(overridden.status, 0) << overridden.err;
  EXPECT_EQ(readAudio(dir.file("auto.wav")).samples, readAudio(dir.file("hand.wav")).samples);

  const ToolRun both = runTool({"render", "--auto", "--preset", "tape", dir.file("phone.wav"), dir.file("x.wav")});
  EXPECT_EQ(both.status, 2);
  EXPECT_NE(both.err.find("--auto or --preset"), std::string::npos) << both.err;
}
