// Named sets of parameter values: the built-in recommendations for typical
// material, and plain-text preset files of NAME=VALUE lines.
#pragma once

#include <string>
#include <vector>

namespace vardo::tools {

struct PresetValue {
  const char* name;   // the parameter's full name
  std::string value;  // in the parameter's own units, as --set takes it ("4500 Hz", "on")
};

struct Preset {
  const char* name;
  const char* material;  // what it is for, in a few words
  std::vector<PresetValue> values;
};

// The DSP's preset table (presets.h) in the renderer's terms.
const std::vector<Preset>& builtInPresets();

// A setting taken from a preset, with where it came from for messages:
// "preset 'tape'" or "file.txt:3".
struct PresetLine {
  std::string assignment;  // NAME=VALUE
  std::string origin;
};

// True when the argument of --preset names a file: it holds a path separator
// or has an extension. Anything else is a built-in preset's name, even where
// a file of that name lies in the working directory.
bool isPresetPath(const std::string& nameOrPath);

// The settings of a built-in preset by name (any case), or of a preset file:
// lines of NAME=VALUE; blank lines and # comments (also after a value) are
// skipped, and a leading byte-order mark. Throws ToolError(usage) for an unknown name, ToolError(inputFile)
// for an unreadable file and ToolError(parameter) for a malformed line.
std::vector<PresetLine> loadPreset(const std::string& nameOrPath);

}  // namespace vardo::tools
