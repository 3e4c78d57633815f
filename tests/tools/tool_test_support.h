// Shared helpers of the renderer's tests: scratch directories, audio files
// written and read through libsndfile, and runs of the vardo program.
#pragma once

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tooltest {

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device seed;
    path_ = fs::temp_directory_path() / ("vardo-tools-test-" + std::to_string(seed()));
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }
  // Names of everything in the directory, hidden files included.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  fs::path path_;
};

struct Audio {
  SF_INFO info{};
  std::vector<float> samples;  // interleaved
  float at(sf_count_t frame, int channel) const {
    return samples[static_cast<std::size_t>(frame * info.channels + channel)];
  }
};

inline void writeAudio(const std::string& path, int format, int rate, int channels,
                       const std::vector<float>& interleaved) {
  SF_INFO info{};
  info.format = format;
  info.samplerate = rate;
  info.channels = channels;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) throw std::runtime_error("cannot write test file " + path);
  sf_writef_float(file, interleaved.data(),
                  static_cast<sf_count_t>(interleaved.size()) / channels);
  sf_close(file);
}

inline Audio readAudio(const std::string& path) {
  Audio audio;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
  if (file == nullptr) throw std::runtime_error("cannot read test file " + path);
  audio.samples.resize(static_cast<std::size_t>(audio.info.frames * audio.info.channels));
  sf_readf_float(file, audio.samples.data(), audio.info.frames);
  sf_close(file);
  return audio;
}

// A quiet, deterministic broadband signal.
inline std::vector<float> noise(std::size_t count, float level, unsigned seed = 7) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> uniform(-level, level);
  std::vector<float> samples(count);
  for (float& s : samples) s = uniform(generator);
  return samples;
}

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Standard output of a program that prints one JSON object per line.
inline std::vector<nlohmann::json> jsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(nlohmann::json::parse(line));  // throws on malformed JSON
  return lines;
}

// Whether a program is on the PATH, for tests of independent readers.
inline bool haveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  quoted += '\'';
  return quoted;
}

inline std::string slurp(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a shell command with its standard output and error captured.
inline ToolRun runShell(const std::string& command) {
  static int counter = 0;
  const fs::path base = fs::temp_directory_path() /
                        ("vardo-tool-run-" + std::to_string(::getpid()) + "-" +
                         std::to_string(counter++));
  const std::string full = "{ " + command + "; } >" + shellQuoted(base.string() + ".out") +
                           " 2>" + shellQuoted(base.string() + ".err");
  const int raw = std::system(("sh -c " + shellQuoted(full)).c_str());
  ToolRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  run.out = slurp(base.string() + ".out");
  run.err = slurp(base.string() + ".err");
  std::error_code ec;
  fs::remove(base.string() + ".out", ec);
  fs::remove(base.string() + ".err", ec);
  return run;
}

// The vardo program and its arguments, each quoted for the shell.
inline std::string toolCommand(const std::vector<std::string>& args) {
  std::string command = shellQuoted(VARDO_TOOL_PATH);
  for (const auto& arg : args) command += ' ' + shellQuoted(arg);
  return command;
}

// Runs the vardo program with the arguments and no standard input.
// prefix is shell text placed before the program, e.g. a ulimit.
inline ToolRun runTool(const std::vector<std::string>& args, const std::string& prefix = "") {
  return runShell(prefix + " exec " + toolCommand(args) + " </dev/null");
}

}  // namespace tooltest
