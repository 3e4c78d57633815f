#include "parameters.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <iterator>

#include "controls.h"
#include "plugin_host.h"

namespace vardo::tools {

namespace {

constexpr int kVardoUniqueId = 0x56415244;

// The plug-in's own control table, in host parameter order. A switch
// declares no step.
constexpr std::array<ParameterRange, kControlCount> vardoRanges() {
  std::array<ParameterRange, kControlCount> ranges{};
  for (int i = 0; i < kControlCount; ++i) {
    const ControlRow& c = kControlTable[i];
    const bool isSwitch = c.kind == ControlKind::kCheckButton;
    ranges[i] = {c.label, c.min, c.max, c.init, isSwitch ? 0.0f : c.step, c.unit, isSwitch};
  }
  return ranges;
}
constexpr std::array<ParameterRange, kControlCount> kVardoRanges = vardoRanges();


// A whole-text decimal number, or nothing. The rest after the number is
// handed back in suffix.
std::optional<double> parseNumber(const std::string& text, std::string& suffix) {
  if (text.empty()) return std::nullopt;
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin || !std::isfinite(value)) return std::nullopt;
  suffix = trimmed(std::string(end));
  return value;
}

std::string formatNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

[[noreturn]] void fail(const std::string& message) {
  throw ToolError(ExitStatus::parameter, message);
}

std::size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0u : 1u)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

float mapLinear(float normalised, const ParameterRange& range) {
  const float span = range.max - range.min;
  const float scaled = normalised * span;
  return scaled + range.min;
}

}  // namespace

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

const ParameterRange* knownRange(int uniqueId, const std::string& parameterName) {
  if (uniqueId != kVardoUniqueId) return nullptr;
  for (const ParameterRange& range : kVardoRanges)
    if (parameterName == range.name) return &range;
  return nullptr;
}

float normaliseForRange(const ParameterRange& range, double value) {
  if (range.isSwitch) return value > 0.5 ? 1.0f : 0.0f;
  const double span = static_cast<double>(range.max) - static_cast<double>(range.min);
  const double exact = span > 0.0 ? (value - static_cast<double>(range.min)) / span : 0.0;
  const float start = static_cast<float>(std::clamp(exact, 0.0, 1.0));
  const float target = static_cast<float>(value);
  // The quotient rounded to float may map a whole number to just beside it
  // (-59.999996 instead of -60), which a display truncating toward zero
  // shows as -59. A few neighbouring floats find one that maps exactly; where
  // none does, the nearest one at or beyond the value's magnitude, so the
  // truncated display still shows the value asked for.
  auto worse = [&](float candidate, float than) {
    const float a = mapLinear(candidate, range);
    const float b = mapLinear(than, range);
    const bool aShort = std::fabs(a) < std::fabs(target);
    const bool bShort = std::fabs(b) < std::fabs(target);
    if (aShort != bShort) return aShort;
    return std::fabs(a - target) > std::fabs(b - target);
  };
  float best = start;
  float down = start;
  float up = start;
  for (int step = 0; step < 16 && mapLinear(best, range) != target; ++step) {
    down = std::nextafter(down, 0.0f);
    up = std::nextafter(up, 1.0f);
    for (const float candidate : {down, up})
      if (worse(best, candidate)) best = candidate;
  }
  return best;
}

std::vector<std::string> closestNames(const std::vector<std::string>& names,
                                      const std::string& text) {
  const std::string wanted = lowerCase(text);
  std::vector<std::pair<std::size_t, std::size_t>> scored;  // (score, index)
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string name = lowerCase(names[i]);
    const bool contains = !wanted.empty() && name.find(wanted) != std::string::npos;
    scored.emplace_back(contains ? 0 : editDistance(wanted, name), i);
  }
  std::stable_sort(scored.begin(), scored.end());
  std::vector<std::string> closest;
  for (std::size_t i = 0; i < scored.size() && i < 3; ++i) closest.push_back(names[scored[i].second]);
  return closest;
}

std::string describeRange(const ParameterRange& range) {
  if (range.isSwitch) return "on/off";
  std::string text = formatNumber(range.min) + " .. " + formatNumber(range.max);
  if (range.unit[0] != '\0') text += std::string(" ") + range.unit;
  return text;
}

int findParameter(const PluginInstance& plugin, const std::string& text) {
  const int count = plugin.numParams();
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(plugin.parameterName(i));
  for (int i = 0; i < count; ++i)
    if (names[static_cast<std::size_t>(i)] == text) return i;
  const std::string wanted = lowerCase(text);
  for (int i = 0; i < count; ++i)
    if (lowerCase(names[static_cast<std::size_t>(i)]) == wanted) return i;
  if (!text.empty() && std::all_of(text.begin(), text.end(),
                                   [](unsigned char c) { return std::isdigit(c) != 0; })) {
    const long index = text.size() <= 9 ? std::strtol(text.c_str(), nullptr, 10) : -1;
    if (index >= 0 && index < count) return static_cast<int>(index);
    fail("parameter index " + text + " is outside 0 .. " + std::to_string(count - 1));
  }
  std::vector<int> starting;
  if (!wanted.empty())
    for (int i = 0; i < count; ++i)
      if (lowerCase(names[static_cast<std::size_t>(i)]).rfind(wanted, 0) == 0) starting.push_back(i);
  if (starting.size() == 1) return starting.front();
  if (starting.size() > 1) {
    std::string message = "parameter " + inQuotes(text) + " is ambiguous: it starts ";
    for (std::size_t i = 0; i < starting.size(); ++i)
      message += (i == 0 ? "" : i + 1 == starting.size() ? " and " : ", ") +
                 inQuotes(names[static_cast<std::size_t>(starting[i])]);
    fail(message);
  }
  std::string message = "unknown parameter " + inQuotes(text);
  const auto closest = closestNames(names, text);
  if (!closest.empty()) {
    message += "; closest: ";
    for (std::size_t i = 0; i < closest.size(); ++i)
      message += (i > 0 ? ", " : "") + inQuotes(closest[i]);
  }
  fail(message);
}

ParameterSetting resolveSetting(const PluginInstance& plugin, const std::string& assignment) {
  const auto equals = assignment.find('=');
  if (equals == std::string::npos)
    fail("parameter setting " + inQuotes(assignment) + " is not of the form NAME=VALUE");
  const std::string nameText = trimmed(assignment.substr(0, equals));
  const std::string valueText = trimmed(assignment.substr(equals + 1));

  ParameterSetting setting;
  setting.index = findParameter(plugin, nameText);
  setting.name = plugin.parameterName(setting.index);
  const std::string& name = setting.name;
  if (valueText.empty()) fail("no value given for " + inQuotes(name));

  const std::string lowered = lowerCase(valueText);
  std::string suffix;

  // Normalised host value, accepted for every parameter of every plug-in.
  if (lowered.back() == 'n') {
    const auto value = parseNumber(lowered.substr(0, lowered.size() - 1), suffix);
    if (value && suffix.empty()) {
      if (*value < 0.0 || *value > 1.0)
        fail("normalised value " + valueText + " for " + inQuotes(name) +
             " is outside its range 0 .. 1");
      setting.normalised = static_cast<float>(*value);
      return setting;
    }
  }

  const ParameterRange* range = knownRange(plugin.uniqueId(), name);
  if (range == nullptr)
    fail("the range of " + inQuotes(name) +
         " is not known to the renderer; give a normalised value such as 0.5n");

  if (range->isSwitch) {
    if (lowered == "on" || lowered == "true" || lowered == "yes" || lowered == "1") {
      setting.normalised = 1.0f;
      return setting;
    }
    if (lowered == "off" || lowered == "false" || lowered == "no" || lowered == "0") {
      setting.normalised = 0.0f;
      return setting;
    }
    fail("value " + inQuotes(valueText) + " for " + inQuotes(name) + " is not on or off");
  }

  auto value = parseNumber(valueText, suffix);
  if (!value) fail("value " + inQuotes(valueText) + " for " + inQuotes(name) + " is not a number");
  const std::string unit = range->unit;
  if (!suffix.empty()) {
    if (unit == "Hz" && (lowerCase(suffix) == "khz" || lowerCase(suffix) == "k")) {
      *value *= 1000.0;
    } else if (unit.empty() || lowerCase(suffix) != lowerCase(unit)) {
      fail("unit " + inQuotes(suffix) + " does not fit " + inQuotes(name) +
           (unit.empty() ? std::string(", which takes a plain number")
                         : ", which is in " + unit));
    }
  }
  const std::string unitText = unit.empty() ? "" : " " + unit;
  if (*value < static_cast<double>(range->min) || *value > static_cast<double>(range->max))
    fail("value " + formatNumber(*value) + unitText + " for " + inQuotes(name) +
         " is outside its range " + describeRange(*range));
  // Hosts show and automate the parameter in its steps, and the plug-in's
  // display truncates to them: a value between two steps takes the nearer.
  // The step as the decimal it was declared as (0.01, not the float 0.0099999998).
  const double step = std::round(static_cast<double>(range->step) * 1e6) / 1e6;
  if (step > 0.0) {
    const double offset = (*value - static_cast<double>(range->min)) / step;
    const double rounded = static_cast<double>(range->min) + std::round(offset) * step;
    if (std::fabs(rounded - *value) > 1e-6 * step) {
      setting.warning = inQuotes(name) + " = " + formatNumber(*value) + unitText +
                        " rounded to " + formatNumber(rounded) + unitText +
                        ", the nearest step of " + formatNumber(step) + unitText;
      *value = std::clamp(rounded, static_cast<double>(range->min),
                          static_cast<double>(range->max));
    }
  }
  setting.normalised = normaliseForRange(*range, *value);
  return setting;
}

std::optional<double> knownValue(const PluginInstance& plugin, int index) {
  const ParameterRange* range = knownRange(plugin.uniqueId(), plugin.parameterName(index));
  if (range == nullptr) return std::nullopt;
  const float stored = mapLinear(plugin.parameter(index), *range);
  if (range->isSwitch) return stored > 0.5f ? 1.0 : 0.0;
  return static_cast<double>(stored);
}

std::string displayWarning(const PluginInstance& plugin, int index) {
  const std::string name = plugin.parameterName(index);
  const ParameterRange* range = knownRange(plugin.uniqueId(), name);
  if (range == nullptr || range->isSwitch) return {};
  const double held = *knownValue(plugin, index);
  const std::string display = trimmed(plugin.parameterDisplay(index));
  std::string rest;
  const auto shown = parseNumber(display, rest);
  if (!shown || std::fabs(*shown - held) <= 1e-5 * std::max(1.0, std::fabs(held))) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", held);
  const std::string unit = range->unit[0] != '\0' ? std::string(" ") + range->unit : "";
  return inQuotes(name) + " holds " + text + unit + ", which the plug-in displays as " + display +
         unit;
}

std::vector<std::string> cornerWarnings(const PluginInstance& plugin, int sampleRate) {
  std::vector<std::string> warnings;
  const double nyquist = 0.5 * sampleRate;
  for (int i = 0; i < plugin.numParams(); ++i) {
    const ParameterRange* range = knownRange(plugin.uniqueId(), plugin.parameterName(i));
    if (range == nullptr || std::string(range->unit) != "Hz") continue;
    const double corner = *knownValue(plugin, i);
    if (corner < nyquist) continue;
    warnings.push_back(inQuotes(range->name) + " at " + formatNumber(corner) +
                       " Hz lies above the Nyquist frequency of the input (" +
                       formatNumber(nyquist) + " Hz at " + std::to_string(sampleRate) +
                       " Hz): it cannot act there; resample the input first, e.g. "
                       "'sox IN -r 44100 OUT'");
  }
  return warnings;
}

std::string displayWithLabel(const PluginInstance& plugin, int index) {
  std::string text = trimmed(plugin.parameterDisplay(index));
  std::string label = trimmed(plugin.parameterLabel(index));
  if (label.empty()) {
    const ParameterRange* range = knownRange(plugin.uniqueId(), plugin.parameterName(index));
    if (range != nullptr) label = range->unit;
  }
  if (!label.empty()) text += " " + label;
  return text;
}

}  // namespace vardo::tools
