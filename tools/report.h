// What the renderer tells its user: the progress bar, the summary line per
// file, and the parameter and plug-in listings.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "render.h"

namespace vardo::tools {

class PluginInstance;

// "-3.1" for a linear level in dBFS, "-inf" for silence.
std::string formatDbfs(double linear);

// "m:ss" or "h:mm:ss".
std::string formatClock(double seconds);

// One line per rendered file: duration, input and output peak and RMS in
// dBFS, speed as a multiple of real time.
std::string summaryLine(const RenderJob& job, const RenderResult& result);

// A one-line bar on standard error, redrawn in place: position, speed as a
// multiple of real time and the time left. Silent unless enabled (the caller
// enables it when standard error is a terminal). Thread-safe: workers add
// rendered audio time, one thread draws.
class ProgressBar {
 public:
  ProgressBar(bool enabled, double totalSeconds);
  void addSeconds(double seconds);
  void draw();
  void clear();  // removes the bar so a line of text can be printed
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

// "vardo params": index, name, range, default, unit and current display.
void printParameters(std::FILE* out, const PluginInstance& plugin);

// "vardo info": what a host sees.
void printInfo(std::FILE* out, const PluginInstance& plugin, const std::string& path);

}  // namespace vardo::tools
