#include "presets.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "../dsp/frame/presets.h"
#include "controls.h"
#include "parameters.h"
#include "plugin_host.h"

namespace vardo::tools {

using vardo::PresetRow;
using vardo::PresetSetting;
using vardo::kPresetTable;

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

// A value as --set takes it: "on"/"off" for a switch, else the number and
// the control's unit.
std::string presetValueText(const PresetSetting& setting) {
  for (const ControlRow& control : kControlTable) {
    if (std::string(control.label) != setting.control) continue;
    if (control.kind == ControlKind::kCheckButton) return setting.value >= 0.5f ? "on" : "off";
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(setting.value));
    return *control.unit ? std::string(text) + " " + control.unit : std::string(text);
  }
  return std::to_string(setting.value);  // an unknown name: resolving it names the fault
}

}  // namespace

const std::vector<Preset>& builtInPresets() {
  static const std::vector<Preset> presets = [] {
    std::vector<Preset> list;
    for (const PresetRow& row : kPresetTable) {
      Preset preset{row.name, row.material, {}};
      for (int i = 0; i < row.count; ++i)
        preset.values.push_back({row.settings[i].control, presetValueText(row.settings[i])});
      list.push_back(std::move(preset));
    }
    return list;
  }();
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
