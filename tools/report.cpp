#include "report.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "audio_file.h"
#include "plugin_host.h"
#include "presets.h"

namespace vardo::tools {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kBarWidth = 30;

// A level in dBFS for JSON: null for silence.
Json dbfs(double linear) {
  if (!(linear > 0.0)) return nullptr;
  return std::round(200.0 * std::log10(linear)) / 10.0;
}

Json rounded(double value, double unit) { return std::round(value / unit) * unit; }

std::string channelNote(const RenderResult& result) {
  if (result.inputChannels <= 1) return "";
  if (result.channel.channel > 0)
    return ", channel " + std::to_string(result.channel.channel) + " of " +
           std::to_string(result.inputChannels);
  return ", " + std::to_string(result.inputChannels) + " channels mixed to mono";
}

const char* outcomeName(RenderOutcome outcome) {
  switch (outcome) {
    case RenderOutcome::rendered: return "rendered";
    case RenderOutcome::skippedExisting: return "skipped: exists";
    case RenderOutcome::skippedComplete: return "skipped: complete";
  }
  return "rendered";
}

std::string printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// How the plug-in met the programme: warm or cold, with hum notched or not,
// and the settings --auto chose.
std::string startNote(const RenderResult& result) {
  std::string text = result.warmUpSeconds > 0.0 ? ", warm start" : ", cold start";
  if (result.humHz > 0.0) text += printed(", hum notched at %.0f Hz", result.humHz);
  if (!result.autoSummary.empty()) text += ", auto: " + result.autoSummary;
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

Json provenanceJson(const Provenance& provenance, const std::string& inputPath,
                    const char* recordedIn) {
  Json j;
  j["tool"] = provenance.tool;
  j["plugin"] = provenance.plugin;
  j["preset"] = provenance.preset;
  Json values = Json::object();
  for (const auto& [name, value] : provenance.values) values[name] = value;
  j["values"] = values;
  Json options = Json::object();
  for (const auto& [name, value] : provenance.options) options[name] = value;
  j["options"] = options;
  j["input"] = isStandardStream(inputPath) ? std::string("standard input")
                                           : std::filesystem::path(inputPath).filename().string();
  if (recordedIn != nullptr) j["recorded_in"] = recordedIn;
  return j;
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
  const std::string head = job.inputPath + " -> " + job.outputPath + ": ";
  if (result.outcome == RenderOutcome::skippedExisting)
    return head + "exists, left untouched (--no-clobber)";
  if (result.outcome == RenderOutcome::skippedComplete)
    return head + "complete output with the same settings exists, skipped";
  const double duration = result.durationSeconds();
  const double speed = result.wallSeconds > 0.0 ? duration / result.wallSeconds : 0.0;
  const auto& s = result.stream;
  return head + printed("%.2f s", duration) + ", in peak " + formatDbfs(s.input.peak()) +
         " dBFS RMS " + formatDbfs(s.input.rms()) + " dBFS, out peak " +
         formatDbfs(s.output.peak()) + " dBFS RMS " + formatDbfs(s.output.rms()) + " dBFS, " +
         printed("%.1fx real time", speed) + channelNote(result) + startNote(result) +
         (result.damaged ? ", input truncated (" + std::to_string(result.readFrames) + " of " +
                               std::to_string(result.promisedFrames) + " frames)"
                         : std::string()) +
         (result.replacedBecause.empty() ? std::string()
                                         : ", replaced an output " + result.replacedBecause);
}

std::string detailLine(const RenderResult& result, const RenderSettings& settings) {
  std::string text = "  " + describeFormat(result.outputFormat);
  if ((result.outputFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16)
    text += result.dithered ? " with TPDF dither" : " without dither";
  text += ", " + std::to_string(result.sampleRate) + " Hz, " +
          std::to_string(result.stream.inputFrames) + " frames, latency ";
  text += settings.options.compensateLatency
              ? std::to_string(result.stream.latency) + " samples compensated"
              : std::string("kept");
  text += ", blocks of " + std::to_string(settings.options.blockSize);
  return text;
}

std::string resultJson(const RenderJob& job, const RenderResult& result,
                       const Provenance& provenance) {
  Json j;
  j["type"] = "file";
  j["input"] = job.inputPath;
  j["output"] = job.outputPath;
  j["status"] = result.damaged ? "truncated" : outcomeName(result.outcome);
  j["exit"] = result.damaged ? static_cast<int>(ExitStatus::damaged) : 0;
  if (result.damaged) {
    j["frames_promised"] = result.promisedFrames;
    j["frames_read"] = result.readFrames;
  }
  if (!result.replacedBecause.empty()) j["replaced"] = result.replacedBecause;
  if (result.outcome == RenderOutcome::rendered) {
    const auto& s = result.stream;
    j["seconds"] = rounded(result.durationSeconds(), 0.001);
    j["sample_rate"] = result.sampleRate;
    j["frames"] = s.outputFrames;
    j["input_channels"] = result.inputChannels;
    j["mixed_to_mono"] = result.inputChannels > 1 && result.channel.channel == 0;
    if (result.channel.channel > 0) j["channel"] = result.channel.channel;
    j["format"] = describeFormat(result.outputFormat);
    j["dither"] = result.dithered;
    j["latency"] = s.latency;
    j["warm_up_seconds"] = rounded(result.warmUpSeconds, 0.001);
    j["dehum_hz"] = result.humHz > 0.0 ? Json(result.humHz) : Json(nullptr);
    if (!result.autoSettings.empty()) j["auto"] = Json::parse(result.autoSettings);
    j["in_peak_dbfs"] = dbfs(s.input.peak());
    j["in_rms_dbfs"] = dbfs(s.input.rms());
    j["out_peak_dbfs"] = dbfs(s.output.peak());
    j["out_rms_dbfs"] = dbfs(s.output.rms());
    j["wall_seconds"] = rounded(result.wallSeconds, 0.001);
    j["warnings"] = result.warnings;
  }
  const bool written = result.outcome == RenderOutcome::rendered;
  j["provenance"] = provenanceJson(provenance, job.inputPath,
                                   written ? carrierName(result.recordedIn) : nullptr);
  return j.dump();
}

std::string failureJson(const RenderJob& job, int status, const std::string& message,
                        const Provenance& provenance) {
  Json j;
  j["type"] = "file";
  j["input"] = job.inputPath;
  j["output"] = job.outputPath;
  j["status"] = status == static_cast<int>(ExitStatus::exists) ? "refused" : "failed";
  j["exit"] = status;
  j["error"] = message;
  j["provenance"] = provenanceJson(provenance, job.inputPath, nullptr);
  return j.dump();
}

std::string errorJson(int status, const std::string& message) {
  Json j;
  j["type"] = "error";
  j["exit"] = status;
  j["error"] = message;
  return j.dump();
}

std::map<std::string, std::string> loggedSettings(std::istream& log) {
  std::map<std::string, std::string> keys;
  for (std::string line; std::getline(log, line);) {
    const Json j = Json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object() || j.value("type", "") != "file") continue;
    const std::string status = j.value("status", "");
    if ((status != "rendered" && status != "truncated") || !j.contains("provenance")) continue;
    const Json& p = j["provenance"];
    if (!p.is_object() || !p.contains("values") || !p.contains("options")) continue;
    Provenance recorded;
    for (const auto& [name, value] : p["values"].items())
      if (value.is_string()) recorded.values.emplace_back(name, value.get<std::string>());
    for (const auto& [name, value] : p["options"].items())
      if (value.is_string()) recorded.options.emplace_back(name, value.get<std::string>());
    keys[j.value("output", "")] = recorded.settingsKey();
  }
  return keys;
}

std::string cleanupJson(const std::string& path) {
  Json j;
  j["type"] = "cleanup";
  j["removed"] = path;
  j["reason"] = "temporary file of an earlier run on this host whose process no longer exists";
  return j.dump();
}

std::string totalLine(const BatchTotals& t) {
  const int files = t.rendered + t.skipped + t.failed;
  const double speed = t.wallSeconds > 0.0 ? t.audioSeconds / t.wallSeconds : 0.0;
  return std::to_string(files) + " files: " + std::to_string(t.rendered) + " rendered, " +
         std::to_string(t.skipped) + " skipped, " + std::to_string(t.failed) + " failed; " +
         formatClock(t.audioSeconds) + " of audio in " + formatClock(t.wallSeconds) +
         printed(" (%.1fx real time)", speed);
}

std::string totalJson(const BatchTotals& t) {
  Json j;
  j["type"] = "total";
  j["files"] = t.rendered + t.skipped + t.failed;
  j["rendered"] = t.rendered;
  j["skipped"] = t.skipped;
  j["failed"] = t.failed;
  j["audio_seconds"] = rounded(t.audioSeconds, 0.001);
  j["wall_seconds"] = rounded(t.wallSeconds, 0.001);
  return j.dump();
}

std::string settingsJson(const PluginInstance& plugin,
                         const std::vector<ParameterSetting>& settings) {
  Json j;
  j["type"] = "settings";
  j["parameters"] = Json::array();
  for (const ParameterSetting& setting : settings) {
    Json p;
    p["index"] = setting.index;
    p["name"] = setting.name;
    p["normalised"] = setting.normalised;
    p["display"] = displayWithLabel(plugin, setting.index);
    j["parameters"].push_back(p);
  }
  return j.dump();
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

namespace {

// What "params" shows of each parameter; ranges only for a known plug-in.
struct ParameterRow {
  int index;
  std::string name;
  const ParameterRange* range;
  std::string unit;
  std::string display;
  float normalised;
};

std::vector<ParameterRow> parameterRows(const PluginInstance& plugin) {
  std::vector<ParameterRow> rows;
  for (int i = 0; i < plugin.numParams(); ++i) {
    ParameterRow row{i, plugin.parameterName(i), nullptr, plugin.parameterLabel(i),
                     plugin.parameterDisplay(i), plugin.parameter(i)};
    row.range = knownRange(plugin.uniqueId(), row.name);
    if (row.range != nullptr && row.unit.empty()) row.unit = row.range->unit;
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

void printParameters(std::FILE* out, const PluginInstance& plugin) {
  std::fprintf(out, "%-3s %-34s %-16s %-5s %-8s %-5s %s\n", "#", "name", "range", "step",
               "default", "unit", "current");
  const auto rows = parameterRows(plugin);
  for (const ParameterRow& row : rows) {
    std::string rangeText = "0 .. 1 (normalised)";
    std::string stepText = "-";
    // A freshly configured instance holds its defaults: for a plug-in whose
    // ranges are unknown, its current host value is the default.
    std::string defaultText = printed("%gn", row.normalised);
    if (const ParameterRange* range = row.range) {
      rangeText = range->isSwitch ? "off/on"
                                  : printed("%g", range->min) + " .. " + printed("%g", range->max);
      if (!range->isSwitch) stepText = printed("%g", range->step);
      defaultText = range->isSwitch ? (range->defaultValue > 0.5f ? "on" : "off")
                                    : printed("%g", range->defaultValue);
    }
    std::fprintf(out, "%-3d %-34s %-16s %-5s %-8s %-5s %s\n", row.index, row.name.c_str(),
                 rangeText.c_str(), stepText.c_str(), defaultText.c_str(), row.unit.c_str(),
                 row.display.c_str());
  }
  if (!rows.empty() && rows.front().range == nullptr)
    std::fprintf(out, "(ranges of this plug-in are not known: set values as normalised, e.g. 0.5n)\n");
}

std::string parametersJson(const PluginInstance& plugin) {
  Json list = Json::array();
  for (const ParameterRow& row : parameterRows(plugin)) {
    Json p;
    p["index"] = row.index;
    p["name"] = row.name;
    p["unit"] = row.unit;
    if (const ParameterRange* range = row.range) {
      p["switch"] = range->isSwitch;
      if (range->isSwitch) {
        p["default"] = range->defaultValue > 0.5f;
      } else {
        p["min"] = range->min;
        p["max"] = range->max;
        p["step"] = range->step;
        p["default"] = range->defaultValue;
      }
    }
    p["normalised"] = row.normalised;
    p["display"] = row.display;
    list.push_back(p);
  }
  Json j;
  j["parameters"] = list;
  return j.dump(2);
}

namespace {

// Everything "info" shows, asked of the plug-in once.
Json hostView(const PluginInstance& plugin, const std::string& path) {
  AEffect* e = plugin.effect();
  Json j;
  j["library"] = path;
  j["effect_name"] = plugin.effectName();
  j["product"] = plugin.productString();
  j["vendor"] = plugin.vendorString();
  j["vendor_version"] = static_cast<long>(plugin.dispatch(effGetVendorVersion));
  char id[16];
  std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(e->uniqueID));
  j["unique_id"] = id;
  j["unique_id_text"] = fourCharacters(e->uniqueID);
  j["version"] = e->version;
  j["vst_version"] = static_cast<long>(plugin.dispatch(effGetVstVersion));
  const VstIntPtr category = plugin.dispatch(effGetPlugCategory);
  j["category"] = categoryName(category);
  j["category_code"] = static_cast<long>(category);
  j["flags"] = e->flags;
  j["flag_names"] = flagNames(e->flags);
  j["programs"] = e->numPrograms;
  j["parameters"] = e->numParams;
  j["latency"] = e->initialDelay;
  j["midi_inputs"] = static_cast<long>(plugin.dispatch(effGetNumMidiInputChannels));
  j["midi_outputs"] = static_cast<long>(plugin.dispatch(effGetNumMidiOutputChannels));
  for (int direction = 0; direction < 2; ++direction) {
    const bool input = direction == 0;
    const int count = input ? e->numInputs : e->numOutputs;
    Json pins = Json::array();
    for (int pin = 0; pin < count; ++pin) {
      VstPinProperties props{};
      const VstIntPtr answered =
          plugin.dispatch(input ? effGetInputProperties : effGetOutputProperties, pin, 0, &props);
      props.label[sizeof props.label - 1] = '\0';
      props.shortLabel[sizeof props.shortLabel - 1] = '\0';
      Json p;
      p["pin"] = pin;
      if (answered != 0) {
        p["label"] = props.label;
        p["short_label"] = props.shortLabel;
        p["flags"] = props.flags;
      }
      pins.push_back(p);
    }
    j[input ? "inputs" : "outputs"] = pins;
  }
  static const char* const kCapabilities[] = {
      "sendVstEvents",      "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
      "receiveVstTimeInfo", "offline",          "midiProgramNames", "bypass"};
  Json capabilities = Json::object();
  for (const char* capability : kCapabilities) {
    char text[64];
    std::snprintf(text, sizeof text, "%s", capability);
    const VstIntPtr answer = plugin.dispatch(effCanDo, 0, 0, text);
    capabilities[capability] = answer > 0 ? "yes" : answer < 0 ? "no" : "?";
  }
  j["capabilities"] = capabilities;
  return j;
}

std::string text(const Json& value) { return value.get<std::string>(); }

}  // namespace

void printInfo(std::FILE* out, const PluginInstance& plugin, const std::string& path) {
  const Json j = hostView(plugin, path);
  std::fprintf(out, "library         %s\n", text(j["library"]).c_str());
  std::fprintf(out, "effect name     %s\n", text(j["effect_name"]).c_str());
  std::fprintf(out, "product         %s\n", text(j["product"]).c_str());
  std::fprintf(out, "vendor          %s (vendor version %ld)\n", text(j["vendor"]).c_str(),
               j["vendor_version"].get<long>());
  std::fprintf(out, "unique ID       %s '%s'\n", text(j["unique_id"]).c_str(),
               text(j["unique_id_text"]).c_str());
  std::fprintf(out, "version         %d\n", j["version"].get<int>());
  std::fprintf(out, "VST version     %ld\n", j["vst_version"].get<long>());
  std::fprintf(out, "category        %s (%ld)\n", text(j["category"]).c_str(),
               j["category_code"].get<long>());
  std::fprintf(out, "flags           0x%X (%s)\n", j["flags"].get<unsigned>(),
               text(j["flag_names"]).c_str());
  std::fprintf(out, "programs        %d\n", j["programs"].get<int>());
  std::fprintf(out, "parameters      %d\n", j["parameters"].get<int>());
  std::fprintf(out, "latency         %d samples (initialDelay)\n", j["latency"].get<int>());
  std::fprintf(out, "MIDI channels   %ld in, %ld out\n", j["midi_inputs"].get<long>(),
               j["midi_outputs"].get<long>());
  for (const char* direction : {"inputs", "outputs"}) {
    std::fprintf(out, "%-15s %zu\n", direction, j[direction].size());
    for (const Json& pin : j[direction]) {
      if (pin.contains("label"))
        std::fprintf(out, "  pin %d         %s (%s), flags %d\n", pin["pin"].get<int>(),
                     text(pin["label"]).c_str(), text(pin["short_label"]).c_str(),
                     pin["flags"].get<int>());
      else
        std::fprintf(out, "  pin %d         (no properties)\n", pin["pin"].get<int>());
    }
  }
  std::fprintf(out, "capabilities   ");
  for (const auto& [capability, answer] : j["capabilities"].items())
    std::fprintf(out, " %s=%s", capability.c_str(), text(answer).c_str());
  std::fprintf(out, "\n");
}

std::string infoJson(const PluginInstance& plugin, const std::string& path) {
  return hostView(plugin, path).dump(2);
}

void printPresets(std::FILE* out) {
  for (const Preset& preset : builtInPresets()) {
    std::fprintf(out, "%-7s %s\n", preset.name, preset.material);
    for (const PresetValue& value : preset.values)
      std::fprintf(out, "          %s=%s\n", value.name, value.value.c_str());
  }
}

std::string presetsJson() {
  Json list = Json::array();
  for (const Preset& preset : builtInPresets()) {
    Json p;
    p["name"] = preset.name;
    p["material"] = preset.material;
    Json values = Json::object();
    for (const PresetValue& value : preset.values) values[value.name] = value.value;
    p["values"] = values;
    list.push_back(p);
  }
  Json j;
  j["presets"] = list;
  return j.dump(2);
}

}  // namespace vardo::tools
