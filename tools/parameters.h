// Command-line parameter settings: finding a parameter by name or index and
// turning a value in the parameter's own units into the normalised 0..1 value
// that VST 2.4 hosts pass.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vardo::tools {

class PluginInstance;

// What the renderer knows of a parameter beyond what VST 2.4 can tell: the
// interface has no range query, so the known plug-in's ranges live here,
// keyed by parameter name.
struct ParameterRange {
  const char* name;
  float min;
  float max;
  float defaultValue;
  float step;        // the resolution the plug-in declares (0 for a switch)
  const char* unit;  // "Hz", "dB", "%", "x", "" for a plain number
  bool isSwitch;     // on/off: stored as 1 above a host value of 0.5
};

// The range table for the plug-in with this unique ID and parameter name, or
// null when the renderer knows nothing about it.
const ParameterRange* knownRange(int uniqueId, const std::string& parameterName);

// A resolved "NAME=VALUE" setting.
struct ParameterSetting {
  int index = -1;
  std::string name;
  float normalised = 0.0f;
  std::string warning;  // why the value was changed on the way, if it was
};

// Splits "NAME=VALUE"; the value may be "0.25n" (normalised), a number with or
// without the parameter's unit ("8000", "8 kHz", "-6dB", "150%", "2.5x"), or
// on/off for a switch. A number between two steps of the parameter is
// rounded to the nearer one, with a warning. Throws ToolError(parameter)
// with a one-line reason.
ParameterSetting resolveSetting(const PluginInstance& plugin, const std::string& assignment);

// Index of the parameter named by text: an exact name, a case-insensitive
// name, a decimal index or a case-insensitive prefix that only one name
// starts with. Throws ToolError naming the closest (or the matching) names.
int findParameter(const PluginInstance& plugin, const std::string& text);

// The value in the parameter's own units that the plug-in holds, when its
// range is known.
std::optional<double> knownValue(const PluginInstance& plugin, int index);

// A warning when the plug-in displays a value other than the one it holds
// (its display truncates to the step), e.g. for a normalised setting.
std::string displayWarning(const PluginInstance& plugin, int index);

// Warnings for every frequency parameter whose value lies at or above the
// Nyquist frequency of sampleRate, where the plug-in cannot act on it.
std::vector<std::string> cornerWarnings(const PluginInstance& plugin, int sampleRate);

// The normalised host value v in [0, 1] whose linear mapping
// float(v) * (max - min) + min, in single precision as the plug-in computes
// it, lands closest to value (exactly on it when any float v does).
float normaliseForRange(const ParameterRange& range, double value);

// Up to three parameter names closest to text, by edit distance ignoring case.
std::vector<std::string> closestNames(const std::vector<std::string>& names,
                                      const std::string& text);

// "1000 .. 15000 Hz", "-90 .. 0 dB", "on/off".
std::string describeRange(const ParameterRange& range);

// Text helpers of the settings readers: lower case; spaces, tabs and
// carriage returns taken off both ends.
std::string lowerCase(std::string text);
std::string trimmed(const std::string& text);

// "8000 Hz" from the plug-in's display and label of a parameter.
std::string displayWithLabel(const PluginInstance& plugin, int index);

}  // namespace vardo::tools
