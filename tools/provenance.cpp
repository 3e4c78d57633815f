#include "provenance.h"

#include <cstdio>
#include <filesystem>

#include "audio_file.h"
#include "parameters.h"
#include "plugin_host.h"
#include "render.h"

namespace vardo::tools {

namespace {

constexpr const char* kValuesMark = "values: ";
constexpr const char* kInputMark = "; input: ";

std::string joined(const NamedValues& pairs) {
  std::string text;
  for (const auto& [name, value] : pairs) text += (text.empty() ? "" : ", ") + name + "=" + value;
  return text;
}

std::string depthName(BitDepth depth) {
  switch (depth) {
    case BitDepth::asInput: return "as input";
    case BitDepth::pcm16: return "16";
    case BitDepth::pcm24: return "24";
    case BitDepth::float32: return "32f";
  }
  return "as input";
}

}  // namespace

std::string Provenance::settingsKey() const {
  return kValuesMark + joined(values) + "; options: " + joined(options);
}

std::string Provenance::line(const std::string& inputPath) const {
  const std::string input =
      isStandardStream(inputPath) ? "standard input"
                                  : std::filesystem::path(inputPath).filename().string();
  return tool + "; plug-in " + plugin + "; preset " + preset + "; " + settingsKey() + kInputMark +
         input;
}

NamedValues sampleChangingOptions(const RenderSettings& settings) {
  NamedValues options;
  options.emplace_back("channel", settings.channel.channel > 0
                                      ? std::to_string(settings.channel.channel)
                                      : std::string("mix"));
  options.emplace_back("bit depth", depthName(settings.bitDepth));
  options.emplace_back("dither", settings.dither ? "tpdf" : "off");
  options.emplace_back("latency", settings.options.compensateLatency ? "compensated" : "kept");
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g s", settings.warmUpSeconds);
  options.emplace_back("warm start", settings.warmUpSeconds > 0.0 ? seconds : "off");
  char hum[32];
  std::snprintf(hum, sizeof hum, "%g Hz", settings.humHz);
  options.emplace_back("hum notches", settings.humHz > 0.0 ? hum : "off");
  return options;
}

NamedValues parameterValues(const PluginInstance& plugin) {
  NamedValues values;
  for (int i = 0; i < plugin.numParams(); ++i) {
    const std::string name = plugin.parameterName(i);
    const ParameterRange* range = knownRange(plugin.uniqueId(), name);
    char text[64];
    if (range != nullptr && range->isSwitch) {
      std::snprintf(text, sizeof text, "%s", *knownValue(plugin, i) > 0.5 ? "on" : "off");
    } else if (range != nullptr) {
      std::snprintf(text, sizeof text, "%.9g%s%s", *knownValue(plugin, i),
                    range->unit[0] != '\0' ? " " : "", range->unit);
    } else {
      std::snprintf(text, sizeof text, "%.9gn", static_cast<double>(plugin.parameter(i)));
    }
    values.emplace_back(name, text);
  }
  return values;
}

Provenance describeRun(const std::string& tool, const PluginInstance& plugin,
                       const std::vector<std::string>& presets, const RenderSettings& settings) {
  Provenance provenance;
  provenance.tool = tool;
  provenance.plugin = plugin.effectName() + " (vendor version " +
                      std::to_string(static_cast<long>(plugin.dispatch(effGetVendorVersion))) + ")";
  for (const std::string& preset : presets)
    provenance.preset += (provenance.preset.empty() ? "" : " + ") + preset;
  if (provenance.preset.empty()) provenance.preset = "none";
  provenance.values = parameterValues(plugin);
  provenance.options = sampleChangingOptions(settings);
  return provenance;
}

std::optional<std::string> settingsKeyIn(const std::string& recorded) {
  const auto begin = recorded.rfind(kValuesMark);
  if (begin == std::string::npos) return std::nullopt;
  const auto end = recorded.find(kInputMark, begin);
  if (end == std::string::npos) return std::nullopt;
  return recorded.substr(begin, end - begin);
}

}  // namespace vardo::tools
