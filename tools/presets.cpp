#include "presets.h"

#include <filesystem>
#include <fstream>

#include "parameters.h"
#include "plugin_host.h"

namespace vardo::tools {

namespace {

std::vector<PresetLine> readPresetFile(const std::string& path) {
  std::ifstream in(path);
  if (!in)
    throw ToolError(ExitStatus::inputFile, "cannot read preset file '" + path + "'");
  std::vector<PresetLine> lines;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string text = trimmed(line);
    if (text.empty() || text.front() == '#') continue;
    const std::string origin = path + ":" + std::to_string(number);
    if (text.find('=') == std::string::npos)
      throw ToolError(ExitStatus::parameter,
                      origin + ": '" + text + "' is not of the form NAME=VALUE");
    lines.push_back({text, origin});
  }
  return lines;
}

}  // namespace

const std::vector<Preset>& builtInPresets() {
  // Values found by a seeded search on training recordings
  // (scripts/quality/tune.py, its result in scripts/quality/tuned-presets.json)
  // and measured on held-out ones (scripts/quality/figures.py); parameters
  // left out keep their defaults.
  static const std::vector<Preset> presets = {
      {"tape",
       "cassette or reel tape with hiss",
       {{"Lowpass Filter", "4500 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-15 dB"},
        {"Noisegate Gain dB", "40 dB"},
        {"Output AGC Threshold", "-5 dB"},
        {"Bandwidth Expansion Level", "18 dB"},
        {"DNR2 Sensitivity", "233"}}},
      {"am",
       "AM broadcast off air",
       {{"Lowpass Filter", "4500 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-29 dB"},
        {"Auto-EQ Density Limit Threshold", "0 dB"},
        {"Noisegate Gain dB", "37 dB"},
        {"Stereo Expander Gain Trim", "2 dB"},
        {"Stereo Expander Offset", "0.96"},
        {"Output AGC Threshold", "-5 dB"},
        {"DNR2 Sensitivity", "182"}}},
      {"phone",
       "telephone call or voice memo (resample 8 kHz files to 44.1 kHz first)",
       {{"Lowpass Filter", "6000 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-13 dB"},
        {"Auto-EQ Density Limit Threshold", "-2 dB"},
        {"Noisegate Gain dB", "40 dB"},
        {"Stereo Expander Limit in Percent", "200%"},
        {"Output AGC Threshold", "-10 dB"},
        {"Bandwidth Expansion Level", "-15 dB"},
        {"DNR2 Sensitivity", "245"}}},
      {"vinyl",
       "worn vinyl or shellac transfer (remove clicks first)",
       {{"Lowpass Filter", "6000 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-13 dB"},
        {"Auto-EQ Density Limit Threshold", "-2 dB"},
        {"Noisegate Gain dB", "40 dB"},
        {"Output AGC Threshold", "-10 dB"},
        {"Bandwidth Expansion Level", "-25 dB"}}},
      {"field",
       "noisy field recording",
       {{"Lowpass Filter", "15000 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-17 dB"},
        {"Auto-EQ Density Limit Threshold", "-5 dB"},
        {"Noisegate Gain dB", "40 dB"},
        {"Stereo Expander Gain Trim", "2 dB"},
        {"Stereo Expander Limit in Percent", "200%"},
        {"Output AGC Threshold", "-8 dB"},
        {"Bandwidth Expansion Level", "-89 dB"}}},
  };
  return presets;
}

std::vector<PresetLine> loadPreset(const std::string& nameOrPath) {
  std::error_code ec;
  const bool looksLikeFile = nameOrPath.find_first_of("/\\.") != std::string::npos ||
                             std::filesystem::is_regular_file(nameOrPath, ec);
  if (looksLikeFile) return readPresetFile(nameOrPath);

  const std::string wanted = lowerCase(nameOrPath);
  std::vector<std::string> names;
  for (const Preset& preset : builtInPresets()) {
    names.push_back(preset.name);
    if (wanted != preset.name) continue;
    std::vector<PresetLine> lines;
    for (const PresetValue& value : preset.values)
      lines.push_back({std::string(value.name) + "=" + value.value,
                       std::string("preset '") + preset.name + "'"});
    return lines;
  }
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  throw ToolError(ExitStatus::usage, "unknown preset '" + nameOrPath + "': the built-in presets are " +
                                         list + " (see vardo presets); a preset file needs a path");
}

}  // namespace vardo::tools
