// How an output was made, in one line that goes into the output itself and
// into every log line: the program and plug-in, the preset, every parameter's
// value and every option that changes samples.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vardo::tools {

struct RenderSettings;
class PluginInstance;

using NamedValues = std::vector<std::pair<std::string, std::string>>;

struct Provenance {
  std::string tool;    // "vardo 1.0"
  std::string plugin;  // "Vardo (vendor version 1000)"
  std::string preset;  // "tape", "tape + my.txt", "none"
  NamedValues values;  // every parameter of the plug-in, in its order
  NamedValues options; // sampleChangingOptions()

  // The part two renders must share to give the same samples: the values
  // and the options ("values: ...; options: ..."). Versions, the preset's
  // name and paths do not count.
  std::string settingsKey() const;
  // "vardo 1.0; plug-in ...; preset tape; values: ...; options: ...; input: NAME".
  std::string line(const std::string& inputPath) const;
};

// The options of a render that change its samples, with their values as
// recorded. Every such option of the renderer is listed here, and only here.
NamedValues sampleChangingOptions(const RenderSettings& settings);

// Every parameter's value as the plug-in holds it: in its own units where
// the range is known ("4500 Hz", "on"), else the normalised value ("0.25n").
NamedValues parameterValues(const PluginInstance& plugin);

// The record of a run: the program's name and version, the plug-in (whose
// parameters hold the run's values), the --preset arguments and the
// settings' sample-changing options.
Provenance describeRun(const std::string& tool, const PluginInstance& plugin,
                       const std::vector<std::string>& presets, const RenderSettings& settings);

// The settings key of the last provenance line in a recorded text (a coding
// history or a comment, which may hold older lines of earlier renders).
std::optional<std::string> settingsKeyIn(const std::string& recorded);

}  // namespace vardo::tools
