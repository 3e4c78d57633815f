// Every output says how it was made, the input's own metadata goes with it,
// and a resumed batch keeps only outputs made with the same settings; an
// interrupted manifest, resumed, ends as an uninterrupted one.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <map>
#include <random>

#include "tool_test_support.h"

using namespace tooltest;
using Json = nlohmann::json;

namespace {

using Broadcast = SF_BROADCAST_INFO_VAR(4096);

std::string codingHistory(const std::string& path, Broadcast* copy = nullptr) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return "(cannot open)";
  Broadcast bext{};
  const bool found = sf_command(file, SFC_GET_BROADCAST_INFO, &bext, sizeof bext) == SF_TRUE;
  sf_close(file);
  if (copy != nullptr) *copy = bext;
  return found ? std::string(bext.coding_history, bext.coding_history_size) : "(no bext)";
}

std::string stringField(const std::string& path, int type) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return "(cannot open)";
  const char* text = sf_get_string(file, type);
  std::string value = text != nullptr ? text : "";
  sf_close(file);
  return value;
}

// A broadcast-wave input as a transfer suite writes it: description,
// originator, dates, loudness, a UMID, its own coding history, text fields
// and cue points.
void writeArchiveInput(const std::string& path, const std::vector<float>& samples,
                       int format = SF_FORMAT_WAV | SF_FORMAT_PCM_24) {
  SF_INFO info{};
  info.format = format;
  info.samplerate = 44100;
  info.channels = 1;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  sf_set_string(file, SF_STR_TITLE, "Interview, side A");
  sf_set_string(file, SF_STR_ARTIST, "Oral history project");
  sf_set_string(file, SF_STR_COMMENT, "tape 17, splice at 3:10");
  Broadcast bext{};
  std::strcpy(bext.description, "Reel 17 transfer");
  std::strcpy(bext.originator, "Archive lab");
  std::strcpy(bext.origination_date, "1971-05-03");
  std::strcpy(bext.origination_time, "10:20:30");
  bext.time_reference_low = 441000;
  bext.version = 2;
  std::memset(bext.umid, 0x5A, sizeof bext.umid);
  bext.loudness_value = -2300;
  bext.max_true_peak_level = -100;
  const std::string history = "A=ANALOGUE,M=mono,T=Studer A80; 19 cm/s\r\n";
  std::strcpy(bext.coding_history, history.c_str());
  bext.coding_history_size = static_cast<std::uint32_t>(history.size());
  sf_command(file, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
  SF_CUES cues{};
  cues.cue_count = 2;
  for (int i = 0; i < 2; ++i) {
    SF_CUE_POINT& point = cues.cue_points[i];
    point.indx = i + 1;
    std::memcpy(&point.fcc_chunk, "data", 4);
    point.sample_offset = i == 0 ? 100 : 2000;
  }
  sf_command(file, SFC_SET_CUE, &cues, sizeof cues);
  sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);
}

std::vector<std::string> renderWith(std::vector<std::string> rest) {
  std::vector<std::string> args = {"--plugin", FIXTURE_DELAY_PATH, "render"};
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

}  // namespace

TEST(Provenance, EveryOutputAndLogLineRecordsHowItWasMadeAndKeepsTheInputsMetadata) {
  ScratchDir dir;
  writeArchiveInput(dir.file("reel17.wav"), noise(5000, 0.3f));
  std::ofstream list(dir.file("list.txt"));
  for (const char* out : {"r.wav", "r.flac", "r.ogg", "r.w64"})
    list << dir.file("reel17.wav") << "\t" << out << "\n";
  list.close();
  const ToolRun run = runTool(renderWith({"--set", "gain=0.25n", "--manifest",
                                          dir.file("list.txt"), "-o", dir.file("out")}));
  ASSERT_EQ(run.status, 0) << run.err;

  // WAV: the input's bext with our coding-history line after its own; the
  // loudness fields and the UMID, which described the original, are gone.
  Broadcast bext{};
  const std::string history = codingHistory(dir.file("out/r.wav"), &bext);
  EXPECT_EQ(history.rfind("A=ANALOGUE,M=mono,T=Studer A80; 19 cm/s\r\n", 0), 0u) << history;
  const auto ours = history.find("A=PCM,F=44100,W=24,M=stereo,T=vardo ");
  ASSERT_NE(ours, std::string::npos) << history;
  for (const char* part : {"; plug-in Fixture Delay", "; preset none; values: Gain=0.25n, Mute=0n",
                           "options: channel=mix, bit depth=as input, dither=tpdf",
                           "; input: reel17.wav"})
    EXPECT_NE(history.find(part, ours), std::string::npos) << part << " in " << history;
  EXPECT_STREQ(bext.description, "Reel 17 transfer");
  EXPECT_STREQ(bext.originator, "Archive lab");
  EXPECT_EQ(std::string(bext.origination_date, 10), "1971-05-03");
  EXPECT_EQ(bext.time_reference_low, 441000u);
  EXPECT_EQ(bext.loudness_value, 0);
  EXPECT_EQ(bext.max_true_peak_level, 0);
  EXPECT_TRUE(std::all_of(std::begin(bext.umid), std::end(bext.umid), [](char c) { return c == 0; }));
  EXPECT_EQ(stringField(dir.file("out/r.wav"), SF_STR_TITLE), "Interview, side A");
  EXPECT_EQ(stringField(dir.file("out/r.wav"), SF_STR_COMMENT), "tape 17, splice at 3:10");
  {
    SF_INFO info{};
    SNDFILE* file = sf_open(dir.file("out/r.wav").c_str(), SFM_READ, &info);
    SF_CUES cues{};
    ASSERT_EQ(sf_command(file, SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
    sf_close(file);
    EXPECT_EQ(cues.cue_count, 2u);
    EXPECT_EQ(cues.cue_points[1].sample_offset, 2000u);
  }

  // FLAC and Ogg: the comment keeps the input's and adds the record.
  for (const char* name : {"out/r.flac", "out/r.ogg"}) {
    const std::string comment = stringField(dir.file(name), SF_STR_COMMENT);
    EXPECT_EQ(comment.rfind("tape 17, splice at 3:10\nvardo ", 0), 0u) << comment;
    EXPECT_NE(comment.find("values: Gain=0.25n"), std::string::npos) << comment;
    EXPECT_EQ(stringField(dir.file(name), SF_STR_ARTIST), "Oral history project");
  }

  // The log records the same for every file, and where the output keeps it.
  std::map<std::string, std::string> recordedIn;
  for (const Json& line : jsonLines(slurp(dir.file("out/vardo-log.jsonl")))) {
    const Json& p = line["provenance"];
    EXPECT_EQ(p["values"]["Gain"], "0.25n");
    EXPECT_EQ(p["options"]["dither"], "tpdf");
    EXPECT_EQ(p["input"], "reel17.wav");
    EXPECT_EQ(p["preset"], "none");
    EXPECT_EQ(p["tool"].get<std::string>().rfind("vardo ", 0), 0u);
    recordedIn[std::filesystem::path(line["output"].get<std::string>()).extension()] =
        p["recorded_in"];
  }
  EXPECT_EQ(recordedIn[".wav"], "bext coding history");
  EXPECT_EQ(recordedIn[".flac"], "comment");
  EXPECT_EQ(recordedIn[".w64"], "log only");

  // Independent readers find the record where they look.
  if (haveProgram("mediainfo")) {
    const ToolRun info = runShell("mediainfo --Details=0 --Full " + shellQuoted(dir.file("out/r.wav")));
    EXPECT_NE(info.out.find("values: Gain=0.25n"), std::string::npos) << info.out;
  }
  if (haveProgram("metaflac")) {
    const ToolRun flac = runShell("metaflac --list " + shellQuoted(dir.file("out/r.flac")));
    EXPECT_NE(flac.out.find("values: Gain=0.25n"), std::string::npos) << flac.out;
  }
  const ToolRun sox = runShell("sox --i -a " + shellQuoted(dir.file("out/r.flac")));
  if (sox.status == 0) {
    EXPECT_NE(sox.out.find("values: Gain=0.25n"), std::string::npos) << sox.out;
  }
}

TEST(Provenance, SkipExistingKeepsOnlyOutputsMadeWithTheSameSettings) {
  ScratchDir dir;
  std::ofstream list(dir.file("list.txt"));
  for (int i = 0; i < 3; ++i) {
    const std::string in = dir.file("in" + std::to_string(i) + ".wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, noise(2000, 0.3f, 3 + i));
    // A W64 output holds no text: the log is its record.
    list << in << (i == 2 ? "\tthird.flac" : i == 1 ? "\tsecond.w64" : "") << "\n";
  }
  list.close();
  auto pass = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> rest = {"--manifest", dir.file("list.txt"), "-o", dir.file("out")};
    rest.insert(rest.end(), extra.begin(), extra.end());
    const ToolRun run = runTool(renderWith(rest));
    EXPECT_EQ(run.status, 0) << run.err;
    const auto log = jsonLines(slurp(dir.file("out/vardo-log.jsonl")));
    std::map<std::string, int> counts;
    for (std::size_t i = log.size() - 3; i < log.size(); ++i)
      ++counts[log[i]["status"].get<std::string>() + "/" + log[i].value("replaced", "")];
    return counts;
  };
  pass({"--set", "gain=0.25n"});
  std::map<std::string, int> counts = pass({"--set", "gain=0.25n", "--skip-existing"});
  EXPECT_EQ(counts["skipped: complete/"], 3);
  // The preset changed: every output is rendered again, and the log says why.
  counts = pass({"--set", "gain=0.5n", "--skip-existing"});
  EXPECT_EQ(counts["rendered/made with other settings"], 3);
  // An option that changes samples counts as a setting too.
  counts = pass({"--set", "gain=0.5n", "--skip-existing", "--no-dither"});
  EXPECT_EQ(counts["rendered/made with other settings"], 3);
  // So do the cold start and the hum notches.
  counts = pass({"--set", "gain=0.5n", "--skip-existing", "--no-dither", "--no-warm-up"});
  EXPECT_EQ(counts["rendered/made with other settings"], 3);
  counts = pass({"--set", "gain=0.5n", "--skip-existing", "--no-dither", "--no-warm-up", "--dehum", "60"});
  EXPECT_EQ(counts["rendered/made with other settings"], 3);
  // --skip-existing=any keeps every complete output, whatever made it.
  counts = pass({"--set", "gain=0.75n", "--skip-existing=any"});
  EXPECT_EQ(counts["skipped: complete/"], 3);
}

TEST(Provenance, AnInterruptedManifestResumedEndsAsAnUninterruptedOne) {
  ScratchDir dir;
  std::ofstream list(dir.file("list.txt"));
  for (int i = 0; i < 6; ++i) {
    const std::string in = dir.file("in" + std::to_string(i) + ".wav");
    // Float WAV outputs carry a PEAK chunk, FLAC outputs 24-bit samples.
    writeArchiveInput(in, noise(9000 + 1000 * i, 0.3f, 11 + i),
                      SF_FORMAT_WAV | (i % 2 == 0 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT));
    list << in << "\to" << i << (i % 2 == 0 ? ".flac" : ".wav") << "\n";
  }
  list.close();
  auto args = [&](const std::string& out, bool resume) {
    std::vector<std::string> rest = {"--set", "Slow=1n", "--block", "256", "-j", "2", "-q",
                                     "--manifest", dir.file("list.txt"), "-o", dir.file(out)};
    if (resume) rest.push_back("--skip-existing");
    return renderWith(rest);
  };
  ASSERT_EQ(runTool(args("whole", false)).status, 0);

  std::mt19937 random(2026);
  std::uniform_int_distribution<int> delayMs(20, 400);
  for (int round = 0; round < 10; ++round) {
    const char* signal = round % 2 == 0 ? "INT" : "KILL";
    const ToolRun cut = runShell(toolCommand(args("cut", true)) + " </dev/null & pid=$!; sleep " +
                                 std::to_string(delayMs(random) / 1000.0) + "; kill -" + signal +
                                 " $pid; wait $pid");
    EXPECT_TRUE(cut.status == 0 || cut.status == 128 + SIGINT || cut.status == 128 + SIGKILL)
        << cut.status << cut.err;
  }
  const ToolRun resumed = runTool(args("cut", true));
  ASSERT_EQ(resumed.status, 0) << resumed.err;

  for (const auto& entry : std::filesystem::directory_iterator(dir.file("cut"))) {
    const std::string name = entry.path().filename().string();
    EXPECT_FALSE(name.ends_with(".tmp")) << name << " left behind";
    if (name == "vardo-log.jsonl") continue;
    SCOPED_TRACE(name);
    const std::string whole = dir.file("whole/" + name);
    const Audio a = readAudio(entry.path().string());
    const Audio b = readAudio(whole);
    EXPECT_EQ(a.info.frames, b.info.frames);
    EXPECT_EQ(a.info.format, b.info.format);
    EXPECT_EQ(a.samples, b.samples);
    for (int type = SF_STR_FIRST; type <= SF_STR_LAST; ++type)
      EXPECT_EQ(stringField(entry.path().string(), type), stringField(whole, type)) << type;
    EXPECT_EQ(codingHistory(entry.path().string()), codingHistory(whole));
    // Byte for byte, but for the time a float WAV's PEAK chunk was written.
    std::string cutBytes = slurp(entry.path());
    std::string wholeBytes = slurp(whole);
    for (std::string* bytes : {&cutBytes, &wholeBytes})
      if (const auto peak = bytes->find("PEAK"); name.ends_with(".wav") && peak != std::string::npos)
        bytes->replace(peak + 12, 4, 4, '\0');
    EXPECT_TRUE(cutBytes == wholeBytes);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("cut")),
                          std::filesystem::directory_iterator()),
            7);
}
