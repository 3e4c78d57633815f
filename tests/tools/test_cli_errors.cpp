// Every failure of the vardo program: one line on standard error, its own
// exit status, and no output file (complete or partial) left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>

#include "tool_test_support.h"

using namespace tooltest;

namespace {

class CliErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    input_ = dir_.file("in.wav");
    writeAudio(input_, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, noise(44100, 0.2f));
  }

  // Runs the program and checks the shape of its failure: the status, one
  // error line containing every expected fragment, and no file besides the
  // ones the test made.
  void expectFailure(const std::vector<std::string>& args, int status,
                     const std::vector<std::string>& fragments, const std::string& prefix = "") {
    const auto before = sortedEntries();
    const ToolRun run = runTool(args, prefix);
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("vardo: error: ", 0), 0u) << run.err;
    for (const auto& fragment : fragments)
      EXPECT_NE(run.err.find(fragment), std::string::npos) << "missing '" << fragment << "' in "
                                                           << run.err;
    EXPECT_EQ(sortedEntries(), before) << "the failed run left a file behind";
  }

  std::vector<std::string> sortedEntries() const {
    auto names = dir_.entries();
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::string> render(const std::string& in, const std::string& out,
                                  std::vector<std::string> extra = {},
                                  const std::string& plugin = FIXTURE_DELAY_PATH) {
    std::vector<std::string> args = {"--plugin", plugin, "render", in, out};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }

  ScratchDir dir_;
  std::string input_;
};

TEST_F(CliErrors, MissingOrUnreadableInput) {
  expectFailure(render(dir_.file("absent.wav"), dir_.file("out.wav")), 3,
                {"absent.wav", "no such file"});
  std::filesystem::create_directory(dir_.file("folder.wav"));
  expectFailure(render(dir_.file("folder.wav"), dir_.file("out.wav")), 3, {"directory"});
}

TEST_F(CliErrors, UnsupportedFormats) {
  std::ofstream(dir_.file("notes.wav")) << "these are not samples\n";
  expectFailure(render(dir_.file("notes.wav"), dir_.file("out.wav")), 4,
                {"unsupported audio format", "notes.wav"});
  expectFailure(render(input_, dir_.file("out.mp4")), 4, {"unsupported output format", ".mp4"});
  expectFailure(render(input_, dir_.file("out.flac"), {"--bit-depth", "32f"}), 4,
                {"FLAC", "32-bit float"});
}

TEST_F(CliErrors, UnknownParameterNamesTheClosest) {
  expectFailure(render(input_, dir_.file("out.wav"), {"--set", "Gian=0.5n"}), 5,
                {"unknown parameter 'Gian'", "closest: 'Gain'"});
  expectFailure(render(input_, dir_.file("out.wav"), {"--set", "7=0.5n"}), 5,
                {"index 7", "0 .. 2"});
  expectFailure(render(input_, dir_.file("out.wav"), {"--set", "Gain"}), 5, {"NAME=VALUE"});
}

TEST_F(CliErrors, ValueOutsideTheRangeNamesTheRange) {
  expectFailure(render(input_, dir_.file("out.wav"), {"--set", "gain=1.5n"}), 5,
                {"'Gain'", "outside its range 0 .. 1"});
  // This plug-in's ranges are unknown, so only normalised values are taken.
  expectFailure(render(input_, dir_.file("out.wav"), {"--set", "Gain=0.7"}), 5,
                {"'Gain'", "normalised"});
}

TEST_F(CliErrors, LibraryThatIsNotAVstPlugin) {
  std::ofstream(dir_.file("fake.so")) << "not a library\n";
  const std::string out = dir_.file("out.wav");
  expectFailure(render(input_, out, {}, dir_.file("fake.so")), 6, {"not a VST 2.4 plug-in"});
  expectFailure(render(input_, out, {}, FIXTURE_NO_ENTRY_PATH), 6, {"exports no VSTPluginMain"});
  expectFailure(render(input_, out, {}, FIXTURE_BAD_MAGIC_PATH), 6, {"'VstP' magic"});
  expectFailure(render(input_, out, {}, dir_.file("nowhere.so")), 6, {"does not exist"});
  expectFailure({"--plugin", FIXTURE_NO_ENTRY_PATH, "info"}, 6, {"not a VST 2.4 plug-in"});
}

TEST_F(CliErrors, FailedWriteLeavesNoFile) {
  expectFailure(render(input_, dir_.file("missing/out.wav")), 7, {"cannot write", "missing"});
  // A file-size limit makes the writes themselves fail part-way: the
  // temporary file must go and the target must never appear.
  expectFailure(render(input_, dir_.file("out.wav")), 7, {"writing", "out.wav", "failed"},
                "trap '' XFSZ; ulimit -f 40;");
}

TEST_F(CliErrors, InterruptedRunRemovesItsTemporaryFile) {
  // About 1.4 s of 2 ms blocks, terminated after 0.4 s.
  const std::string command =
      shellQuoted(VARDO_TOOL_PATH) + " --plugin " + shellQuoted(FIXTURE_DELAY_PATH) +
      " render " + shellQuoted(input_) + " " + shellQuoted(dir_.file("out.wav")) +
      " --set Slow=1n --block 64 >/dev/null 2>&1 & pid=$!; sleep 0.4; kill -TERM $pid; wait $pid";
  const auto before = sortedEntries();
  const int raw = std::system(("sh -c " + shellQuoted(command)).c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 128 + SIGTERM) << "the render was not cut short";
  EXPECT_EQ(sortedEntries(), before);
}

TEST_F(CliErrors, MalformedCommandLines) {
  expectFailure({"--plugin", FIXTURE_DELAY_PATH, "render", input_}, 2, {"IN OUT"});
  expectFailure(render(input_, dir_.file("out.wav"), {"--bit-depth", "20"}), 2, {"16, 24, 32f"});
  expectFailure(render(input_, dir_.file("out.wav"), {"--channel", "2"}), 2,
                {"channel 2", "1 channel"});
  expectFailure(render(input_, dir_.file("out.wav"), {"--block", "0"}), 2, {"--block"});
  expectFailure(render(input_, input_), 2, {"is the input file"});
  expectFailure({"render"}, 2, {});
}

}  // namespace
