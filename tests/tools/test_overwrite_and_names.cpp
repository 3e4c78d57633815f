// What the renderer does with files that are already there and with names:
// no original is replaced without -y, temporary files have names of their
// own length, are removed when a run is interrupted or died, and long paths
// are reported as such.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "temp_files.h"
#include "tool_test_support.h"

using namespace tooltest;
using Json = nlohmann::json;

namespace {

class Overwrite : public ::testing::Test {
 protected:
  static std::vector<std::string> render(std::vector<std::string> rest) {
    std::vector<std::string> args = {"--plugin", FIXTURE_DELAY_PATH, "render"};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  }
  std::string make(const std::string& name, std::size_t frames, unsigned seed = 7) const {
    writeAudio(dir_.file(name), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1,
               noise(frames, 0.3f, seed));
    return dir_.file(name);
  }
  ScratchDir dir_;
};

}  // namespace

TEST_F(Overwrite, AnExistingOutputIsReplacedOnlyWithY) {
  // "vardo render *.wav" in a folder of two originals.
  const std::string a = make("a.wav", 3000);
  const std::string b = make("b.wav", 5000, 9);
  const std::string original = slurp(b);
  ToolRun run = runTool(render({a, b}));
  EXPECT_EQ(run.status, 8);
  EXPECT_NE(run.err.find("-y"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("-o DIR"), std::string::npos) << run.err;
  EXPECT_EQ(slurp(b), original);
  run = runTool(render({"-n", a, b}));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(slurp(b), original);
  run = runTool(render({"--skip-existing", a, b}));
  EXPECT_EQ(run.status, 8) << "a resume must not take an original for an old render";
  EXPECT_EQ(slurp(b), original);
  run = runTool(render({"-y", a, b}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readAudio(b).info.frames, 3000);

  // In a batch the refused file fails alone, and the log names it.
  std::filesystem::create_directory(dir_.file("out"));
  std::ofstream(dir_.file("out/a.wav")) << "precious";
  run = runTool(render({a, make("c.wav", 2000), "-o", dir_.file("out"), "--log",
                        dir_.file("log.jsonl")}));
  EXPECT_EQ(run.status, 8);
  EXPECT_EQ(slurp(dir_.file("out/a.wav")), "precious");
  EXPECT_EQ(readAudio(dir_.file("out/c.wav")).info.frames, 2000);
  int refused = 0;
  for (const Json& line : jsonLines(slurp(dir_.file("log.jsonl"))))
    if (line["status"] == "refused") {
      ++refused;
      EXPECT_EQ(line["exit"], 8);
      EXPECT_EQ(line["output"], dir_.file("out/a.wav"));
    }
  EXPECT_EQ(refused, 1);
  EXPECT_NE(run.out.find("1 rendered, 0 skipped, 1 failed"), std::string::npos) << run.out;
}

TEST_F(Overwrite, AnyNameTheFileSystemTakesAndPathsTooLong) {
  const std::string in = make("in.wav", 1000);
  std::string cjk;
  for (int i = 0; i < 80; ++i) cjk += "\xE5\xA3\xB0";  // 80 characters, 240 bytes
  for (const std::string& name : {std::string(251, 'n') + ".wav", cjk + ".wav"}) {
    const ToolRun run = runTool(render({in, dir_.file(name)}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readAudio(dir_.file(name)).info.frames, 1000);
  }
  ToolRun run = runTool(render({in, dir_.file(std::string(300, 'n') + ".wav")}));
  EXPECT_EQ(run.status, 7);
  EXPECT_NE(run.err.find("longer than"), std::string::npos) << run.err;

  // Paths the system takes work, however long: libsndfile alone refuses
  // those above about 1 kB. One beyond the system's limit is called so.
  std::string deep = dir_.path().string();
  while (deep.size() < 3700) deep += "/" + std::string(200, 'd');
  std::filesystem::create_directories(deep);
  std::filesystem::copy_file(in, deep + "/in.wav");
  run = runTool(render({deep + "/in.wav", deep + "/out.wav"}));
  EXPECT_EQ(run.status, 0) << run.err.substr(run.err.size() - std::min<std::size_t>(run.err.size(), 200));
  EXPECT_GT(std::filesystem::file_size(deep + "/out.wav"), 1000u);
  while (deep.size() < 4200) deep += "/" + std::string(200, 'd');
  run = runTool(render({deep + "/in.wav", dir_.file("x.wav")}));
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("is too long for this system"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("unsupported audio format"), std::string::npos) << run.err;
}

TEST_F(Overwrite, TemporaryFilesAreNamedByHostAndProcessAndGoWhenTheRunEnds) {
  const std::string in = make("slow.wav", 44100);
  std::filesystem::create_directory(dir_.file("out"));
  // About 1.4 s of 2 ms blocks; the listing is taken midway, then SIGINT.
  const std::string command =
      toolCommand(render({in, dir_.file("out/restored.wav"), "--set", "Slow=1n", "--block", "64"})) +
      " >/dev/null 2>" + shellQuoted(dir_.file("err.txt")) + " & pid=$!; sleep 0.4; ls -A " +
      shellQuoted(dir_.file("out")) + "; kill -INT $pid; wait $pid";
  const ToolRun run = runShell(command);
  EXPECT_EQ(run.status, 128 + SIGINT);
  const std::regex pattern(R"(\.vardo-[A-Za-z0-9._]+-[0-9]+-[0-9]+\.tmp\n)");
  EXPECT_TRUE(std::regex_match(run.out, pattern)) << run.out;
  EXPECT_NE(run.out.find(".vardo-" + vardo::tools::hostTag() + "-"), std::string::npos);
  const std::string err = slurp(dir_.file("err.txt"));
  EXPECT_NE(err.find("restored.wav' left unfinished"), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.file("out")));
}

TEST_F(Overwrite, AResumedManifestRemovesOnlyThisHostsStaleTemporaryFiles) {
  std::filesystem::create_directory(dir_.file("out"));
  const ToolRun gone = runShell("sh -c 'echo $$'");  // a process that has ended
  const std::string dead = gone.out.substr(0, gone.out.find('\n'));
  const std::string host = vardo::tools::hostTag();
  const std::string stale = ".vardo-" + host + "-" + dead + "-3.tmp";
  const std::string living = ".vardo-" + host + "-" + std::to_string(::getpid()) + "-0.tmp";
  const std::string otherHost = ".vardo-" + host + "x-" + dead + "-0.tmp";
  for (const std::string& name : {stale, living, otherHost})
    std::ofstream(dir_.file("out/" + name)) << "half a render";
  std::ofstream(dir_.file("list.txt")) << make("one.wav", 500) << "\n";
  const ToolRun run =
      runTool(render({"--manifest", dir_.file("list.txt"), "-o", dir_.file("out"), "--skip-existing"}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out/" + stale)));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("out/" + living)));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("out/" + otherHost)));
  EXPECT_NE(run.err.find(stale), std::string::npos) << run.err;
  bool logged = false;
  for (const Json& line : jsonLines(slurp(dir_.file("out/vardo-log.jsonl"))))
    logged = logged || (line["type"] == "cleanup" &&
                        line["removed"].get<std::string>().ends_with(stale));
  EXPECT_TRUE(logged);
}

TEST_F(Overwrite, SmallTrapsOfTheCommandLine) {
  const std::string in = make("in.wav", 1000);
  // A byte-order mark and comments after values.
  std::ofstream(dir_.file("mine.preset")) << "\xEF\xBB\xBFGain=0.5n  # half\nMute=0n # never\n";
  ToolRun run = runTool(render({"--preset", dir_.file("mine.preset"), in, dir_.file("a.wav")}));
  EXPECT_EQ(run.status, 0) << run.err;

  // With --json every error is a JSON object.
  run = runTool(render({"--json", "--set", "Gian=0.5n", in, dir_.file("b.wav")}));
  EXPECT_EQ(run.status, 5);
  auto lines = jsonLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  EXPECT_EQ(lines[0]["type"], "error");
  EXPECT_EQ(lines[0]["exit"], 5);
  EXPECT_NE(lines[0]["error"].get<std::string>().find("Gian"), std::string::npos);
  run = runTool(render({"--json", "--bogus"}));
  EXPECT_EQ(run.status, 2);
  lines = jsonLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  EXPECT_EQ(lines[0]["exit"], 2);

  // A missing plug-in names the option that chooses one; help names the
  // manual where the installation puts it.
  run = runTool({"--plugin", dir_.file("nowhere.so"), "info"});
  EXPECT_EQ(run.status, 6);
  EXPECT_NE(run.err.find("--plugin"), std::string::npos) << run.err;
  run = runTool({"--help"});
  EXPECT_NE(run.out.find("share/doc/vardo/manual.md"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("docs/manual.md"), std::string::npos) << run.out;
}
