#include "report.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "plugin_host.h"

namespace vardo::tools {

namespace {

constexpr int kBarWidth = 30;

std::string printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string fourCharacters(VstInt32 id) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((static_cast<std::uint32_t>(id) >> shift) & 0xFF);
    text += (c >= 32 && c < 127) ? c : '?';
  }
  return text;
}

std::string flagNames(VstInt32 flags) {
  static const std::pair<VstInt32, const char*> kFlags[] = {
      {effFlagsHasEditor, "editor"},         {effFlagsCanReplacing, "replacing"},
      {effFlagsProgramChunks, "chunks"},     {effFlagsIsSynth, "instrument"},
      {effFlagsNoSoundInStop, "no sound in stop"},
      {effFlagsCanDoubleReplacing, "double replacing"},
  };
  std::string text;
  for (const auto& [bit, name] : kFlags)
    if ((flags & bit) != 0) text += (text.empty() ? "" : ", ") + std::string(name);
  return text.empty() ? "none" : text;
}

const char* categoryName(VstIntPtr category) {
  static const char* const kNames[] = {"unknown",      "effect",     "instrument",
                                       "analysis",     "mastering",  "spatialiser",
                                       "room effect",  "surround",   "restoration",
                                       "offline",      "shell",      "generator"};
  return category >= 0 && category < 12 ? kNames[category] : "unlisted";
}

}  // namespace

std::string formatDbfs(double linear) {
  if (!(linear > 0.0)) return "-inf";
  return printed("%.1f", 20.0 * std::log10(linear));
}

std::string formatClock(double seconds) {
  const auto total = static_cast<long>(std::max(0.0, std::round(seconds)));
  char text[32];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

std::string summaryLine(const RenderJob& job, const RenderResult& result) {
  const double duration = result.durationSeconds();
  const double speed = result.wallSeconds > 0.0 ? duration / result.wallSeconds : 0.0;
  const auto& s = result.stream;
  return job.inputPath + " -> " + job.outputPath + ": " + printed("%.2f s", duration) +
         ", in peak " + formatDbfs(s.input.peak()) + " dBFS RMS " + formatDbfs(s.input.rms()) +
         " dBFS, out peak " + formatDbfs(s.output.peak()) + " dBFS RMS " +
         formatDbfs(s.output.rms()) + " dBFS, " + printed("%.1fx real time", speed);
}

ProgressBar::ProgressBar(bool enabled, double totalSeconds)
    : fEnabled(enabled), fTotalSeconds(totalSeconds), fStart(std::chrono::steady_clock::now()) {}

void ProgressBar::addSeconds(double seconds) {
  fDoneMicroseconds.fetch_add(static_cast<std::int64_t>(seconds * 1e6), std::memory_order_relaxed);
}

void ProgressBar::draw() {
  if (!fEnabled) return;
  const double done = static_cast<double>(fDoneMicroseconds.load(std::memory_order_relaxed)) * 1e-6;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - fStart).count();
  const double fraction = fTotalSeconds > 0.0 ? std::clamp(done / fTotalSeconds, 0.0, 1.0) : 0.0;
  const double speed = elapsed > 0.0 ? done / elapsed : 0.0;
  const double left = speed > 0.0 ? (fTotalSeconds - done) / speed : 0.0;
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kBarWidth, '-');
  std::lock_guard lock(fLock);
  std::fprintf(stderr, "\r[%s] %3.0f%%  %s / %s  %.1fx  %s left\033[K", bar.c_str(),
               fraction * 100.0, formatClock(done).c_str(), formatClock(fTotalSeconds).c_str(),
               speed, formatClock(left).c_str());
  std::fflush(stderr);
  fDrawn = true;
}

void ProgressBar::clear() {
  if (!fEnabled || !fDrawn) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  fDrawn = false;
}

void printParameters(std::FILE* out, const PluginInstance& plugin) {
  std::fprintf(out, "%-3s %-34s %-18s %-8s %-5s %s\n", "#", "name", "range", "default", "unit",
               "current");
  for (int i = 0; i < plugin.numParams(); ++i) {
    const std::string name = plugin.parameterName(i);
    const ParameterRange* range = knownRange(plugin.uniqueId(), name);
    std::string rangeText = "0 .. 1 (normalised)";
    // A freshly configured instance holds its defaults: for a plug-in whose
    // ranges are unknown, its current host value is the default.
    std::string defaultText = printed("%gn", plugin.parameter(i));
    std::string unit = plugin.parameterLabel(i);
    if (range != nullptr) {
      rangeText = range->isSwitch ? "off/on"
                                  : printed("%g", range->min) + " .. " + printed("%g", range->max);
      defaultText = range->isSwitch ? (range->defaultValue > 0.5f ? "on" : "off")
                                    : printed("%g", range->defaultValue);
      if (unit.empty()) unit = range->unit;
    }
    std::fprintf(out, "%-3d %-34s %-18s %-8s %-5s %s\n", i, name.c_str(), rangeText.c_str(),
                 defaultText.c_str(), unit.c_str(), plugin.parameterDisplay(i).c_str());
  }
  if (plugin.numParams() > 0 && knownRange(plugin.uniqueId(), plugin.parameterName(0)) == nullptr)
    std::fprintf(out, "(ranges of this plug-in are not known: set values as normalised, e.g. 0.5n)\n");
}

void printInfo(std::FILE* out, const PluginInstance& plugin, const std::string& path) {
  AEffect* e = plugin.effect();
  std::fprintf(out, "library         %s\n", path.c_str());
  std::fprintf(out, "effect name     %s\n", plugin.effectName().c_str());
  std::fprintf(out, "product         %s\n", plugin.productString().c_str());
  std::fprintf(out, "vendor          %s (vendor version %ld)\n", plugin.vendorString().c_str(),
               static_cast<long>(plugin.dispatch(effGetVendorVersion)));
  std::fprintf(out, "unique ID       0x%08X '%s'\n", static_cast<unsigned>(e->uniqueID),
               fourCharacters(e->uniqueID).c_str());
  std::fprintf(out, "version         %d\n", e->version);
  std::fprintf(out, "VST version     %ld\n", static_cast<long>(plugin.dispatch(effGetVstVersion)));
  const VstIntPtr category = plugin.dispatch(effGetPlugCategory);
  std::fprintf(out, "category        %s (%ld)\n", categoryName(category),
               static_cast<long>(category));
  std::fprintf(out, "flags           0x%X (%s)\n", static_cast<unsigned>(e->flags),
               flagNames(e->flags).c_str());
  std::fprintf(out, "programs        %d\n", e->numPrograms);
  std::fprintf(out, "parameters      %d\n", e->numParams);
  std::fprintf(out, "latency         %d samples (initialDelay)\n", e->initialDelay);
  std::fprintf(out, "MIDI channels   %ld in, %ld out\n",
               static_cast<long>(plugin.dispatch(effGetNumMidiInputChannels)),
               static_cast<long>(plugin.dispatch(effGetNumMidiOutputChannels)));
  for (int direction = 0; direction < 2; ++direction) {
    const bool input = direction == 0;
    const int count = input ? e->numInputs : e->numOutputs;
    std::fprintf(out, "%-15s %d\n", input ? "inputs" : "outputs", count);
    for (int pin = 0; pin < count; ++pin) {
      VstPinProperties props{};
      const VstIntPtr answered =
          plugin.dispatch(input ? effGetInputProperties : effGetOutputProperties, pin, 0, &props);
      props.label[sizeof props.label - 1] = '\0';
      props.shortLabel[sizeof props.shortLabel - 1] = '\0';
      if (answered != 0)
        std::fprintf(out, "  pin %d         %s (%s), flags %d\n", pin, props.label,
                     props.shortLabel, props.flags);
      else
        std::fprintf(out, "  pin %d         (no properties)\n", pin);
    }
  }
  static const char* const kCapabilities[] = {
      "sendVstEvents",      "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
      "receiveVstTimeInfo", "offline",          "midiProgramNames", "bypass"};
  std::fprintf(out, "capabilities   ");
  for (const char* capability : kCapabilities) {
    char text[64];
    std::snprintf(text, sizeof text, "%s", capability);
    const VstIntPtr answer = plugin.dispatch(effCanDo, 0, 0, text);
    std::fprintf(out, " %s=%s", capability, answer > 0 ? "yes" : answer < 0 ? "no" : "?");
  }
  std::fprintf(out, "\n");
}

}  // namespace vardo::tools
