// Inputs cut short: the header promises more audio than the file holds.
// libsndfile opens such files with the frames that are there and no error,
// so the renderer must find the shortfall itself, render what is there and
// say so.
#include <gtest/gtest.h>

#include "tool_test_support.h"

using namespace tooltest;
using Json = nlohmann::json;

TEST(DamagedInput, ACutShortFileIsRenderedAsFarAsItGoesAndNamedTruncated) {
  ScratchDir dir;
  const int promised = 2 * 44100;
  struct Case {
    const char* name;
    int format;
  };
  const Case cases[] = {{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                        {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                        {"au", SF_FORMAT_AU | SF_FORMAT_PCM_24},
                        {"w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16},
                        {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT}};
  std::ofstream list(dir.file("list.txt"));
  for (const Case& c : cases) {
    const std::string path = dir.file(std::string("cut.") + c.name);
    writeAudio(path, c.format, 44100, 2, noise(2 * promised, 0.3f));
    // A transfer that stopped early: 2 s declared, about 0.1 s there.
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 20);
    list << path << "\t" << c.name << ".wav\n";
  }
  writeAudio(dir.file("whole.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, noise(3000, 0.3f));
  list << dir.file("whole.wav") << "\n";
  list.close();

  const ToolRun run = runTool({"--plugin", FIXTURE_DELAY_PATH, "render", "--manifest",
                               dir.file("list.txt"), "-o", dir.file("out")});
  EXPECT_EQ(run.status, 9) << run.err;
  const auto log = jsonLines(slurp(dir.file("out/vardo-log.jsonl")));
  ASSERT_EQ(log.size(), std::size(cases) + 1);
  for (const Json& line : log) {
    const std::string output = line["output"];
    SCOPED_TRACE(output);
    if (output.ends_with("whole.wav")) {
      EXPECT_EQ(line["status"], "rendered");
      EXPECT_EQ(readAudio(output).info.frames, 3000);
      continue;
    }
    ASSERT_EQ(line["status"], "truncated") << line.dump();
    EXPECT_EQ(line["exit"], 9);
    EXPECT_EQ(line["frames_promised"], promised);
    const auto read = line["frames_read"].get<long long>();
    EXPECT_GT(read, 0);
    EXPECT_LT(read, promised / 5);
    // The readable part is there, complete, under the real name.
    EXPECT_EQ(readAudio(output).info.frames, read);
    const std::string input = line["input"];
    EXPECT_NE(run.err.find("warning: '" + input + "': damaged input"), std::string::npos) << run.err;
  }
}

// A writer that streams (ffmpeg or sox into a pipe, or into a file it cannot
// seek back in) leaves a placeholder length in the header: nothing was
// promised, so nothing is damaged.
TEST(DamagedInput, AStreamedHeaderIsNoPromise) {
  ScratchDir dir;
  writeAudio(dir.file("streamed.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, noise(3000, 0.3f));
  {
    std::fstream patch(dir.file("streamed.wav"), std::ios::in | std::ios::out | std::ios::binary);
    const char unknown[4] = {'\xff', '\xff', '\xff', '\xff'};
    patch.seekp(4).write(unknown, 4);   // the RIFF size
    patch.seekp(40).write(unknown, 4);  // the data size
  }
  ToolRun run = runTool({"--plugin", FIXTURE_DELAY_PATH, "render", dir.file("streamed.wav"),
                         dir.file("out.wav")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readAudio(dir.file("out.wav")).info.frames, 3000);
  if (!haveProgram("sox")) GTEST_SKIP() << "needs sox";
  run = runShell("sox -n -r 44100 -c 1 -b 16 -t wav - synth 0.2 sine 440 2>/dev/null | " +
                 shellQuoted(VARDO_TOOL_PATH) + " --plugin " + shellQuoted(FIXTURE_DELAY_PATH) +
                 " render - " + shellQuoted(dir.file("piped.wav")));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("damaged"), std::string::npos) << run.err;
}
