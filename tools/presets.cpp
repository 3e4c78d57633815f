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
    // Editors on some systems begin a UTF-8 file with a byte-order mark.
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    // A # starts a comment, on a line of its own or after a value; no name
    // or value holds one.
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
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
  // Values measured on the project's own clips (scripts/measure-presets.sh);
  // parameters left out keep their defaults.
  static const std::vector<Preset> presets = {
      {"tape",
       "cassette or reel tape with hiss",
       {{"Lowpass Filter", "4500 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-35 dB"},
        {"Noisegate Gain dB", "40 dB"}}},
      {"am",
       "AM broadcast off air",
       {{"Lowpass Filter", "4500 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-30 dB"},
        {"Noisegate Gain dB", "40 dB"},
        {"Output AGC Threshold", "-8 dB"}}},
      {"phone",
       "telephone call or voice memo (resample 8 kHz files to 44.1 kHz first)",
       {{"Lowpass Filter", "3500 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-30 dB"},
        {"Noisegate Gain dB", "40 dB"},
        {"Output AGC Threshold", "-8 dB"}}},
      {"vinyl",
       "worn vinyl or shellac transfer",
       {{"Lowpass Filter", "6000 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-30 dB"},
        {"Noisegate Gain dB", "40 dB"},
        {"Output AGC Threshold", "-10 dB"}}},
      {"field",
       "noisy field recording",
       {{"Lowpass Filter", "15000 Hz"},
        {"Disable VEZE EQ", "on"},
        {"Auto-EQ Threshold", "-30 dB"},
        {"Noisegate Gain dB", "40 dB"},
        {"Output AGC Threshold", "-12 dB"},
        {"Bandwidth Expansion Level", "-96 dB"}}},
  };
  return presets;
}

bool isPresetPath(const std::string& nameOrPath) {
  return nameOrPath.find_first_of("/\\") != std::string::npos ||
         std::filesystem::path(nameOrPath).has_extension();
}

std::vector<PresetLine> loadPreset(const std::string& nameOrPath) {
  if (isPresetPath(nameOrPath)) return readPresetFile(nameOrPath);

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
                                         list + " (see vardo presets); a preset file needs a path, such as ./" +
                                         nameOrPath);
}

}  // namespace vardo::tools
