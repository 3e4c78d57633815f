// What the renderer tells its user: the progress bar, the summary line per
// file, and the parameter and plug-in listings.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "render.h"

namespace vardo::tools {

class PluginInstance;

// "-3.1" for a linear level in dBFS, "-inf" for silence.
std::string formatDbfs(double linear);

// "m:ss" or "h:mm:ss".
std::string formatClock(double seconds);

// One line per rendered file: duration, input and output peak and RMS in
// dBFS, speed as a multiple of real time, and how the input's channels
// became the mono programme. A skipped file says why.
std::string summaryLine(const RenderJob& job, const RenderResult& result);

// The details -v adds: output format, dither, sample rate, latency, blocks.
std::string detailLine(const RenderResult& result, const RenderSettings& settings);

// The same as one JSON object ("type": "file"), for --json and the log,
// with the provenance of the render: the program, the plug-in, the preset,
// every value and option, the input, and where the output records them.
std::string resultJson(const RenderJob& job, const RenderResult& result,
                       const Provenance& provenance);
// A file that failed: its exit status and the error message ("refused" when
// the output exists and was not to be replaced).
std::string failureJson(const RenderJob& job, int status, const std::string& message,
                        const Provenance& provenance);
// An error of the whole run, for --json: {"type": "error", "exit", "error"}.
std::string errorJson(int status, const std::string& message);
// The settings key of the last render of each output that a log records
// (rendered or truncated), by output path; lines that do not parse are
// passed over.
std::map<std::string, std::string> loggedSettings(std::istream& log);

// A stale temporary file a resumed run removed.
std::string cleanupJson(const std::string& path);

struct BatchTotals {
  int rendered = 0;
  int skipped = 0;
  int failed = 0;
  double audioSeconds = 0.0;  // of the rendered files
  double wallSeconds = 0.0;
};

// "3 files: 2 rendered, 1 skipped, 0 failed; 0:51 of audio in 0:02 (25.5x real time)".
std::string totalLine(const BatchTotals& totals);
std::string totalJson(const BatchTotals& totals);

// The settings as the plug-in displays them ("type": "settings").
std::string settingsJson(const PluginInstance& plugin, const std::vector<ParameterSetting>& settings);

// A one-line bar on standard error, redrawn in place: position, speed as a
// multiple of real time and the time left. Silent unless enabled (the caller
// enables it when standard error is a terminal). Thread-safe: workers add
// rendered audio time, one thread draws.
class ProgressBar {
 public:
  ProgressBar(bool enabled, double totalSeconds);
  void addSeconds(double seconds);
  void draw();
  void clear();  // removes the bar so a line of text can be printed (hold outputLock)
  bool enabled() const { return fEnabled; }
  std::mutex& outputLock() { return fLock; }

 private:
  bool fEnabled;
  double fTotalSeconds;
  std::atomic<std::int64_t> fDoneMicroseconds{0};
  std::chrono::steady_clock::time_point fStart;
  std::mutex fLock;
  bool fDrawn = false;
};

// "vardo params": index, name, range, step, default, unit and current display.
void printParameters(std::FILE* out, const PluginInstance& plugin);
std::string parametersJson(const PluginInstance& plugin);

// "vardo info": what a host sees.
void printInfo(std::FILE* out, const PluginInstance& plugin, const std::string& path);
std::string infoJson(const PluginInstance& plugin, const std::string& path);

// "vardo presets": the built-in presets with their values.
void printPresets(std::FILE* out);
std::string presetsJson();

}  // namespace vardo::tools
