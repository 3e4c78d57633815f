// The LV2 plug-in's identity and port layout, shared by the plug-in, the
// generator of its description and the hosts that test it.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>

#include "controls.h"

namespace vardo::lv2 {

// The plug-in's URI. It names the plug-in in hosts' sessions and presets, so
// it never changes.
inline constexpr const char* kPluginUri = "urn:vardo:lv2:vardo";
// A built-in preset's URI, from its name (urn:vardo:lv2:vardo:preset:tape).
// Hosts store it in sessions, so a preset keeps its name.
inline std::string presetUri(const std::string& name) {
  return std::string(kPluginUri) + ":preset:" + name;
}
// File name of the shared object inside the bundle.
inline constexpr const char* kBinaryName = "vardo.so";

// Audio input 0, the two outputs, the controls in host parameter order and
// the latency report.
enum Port : std::uint32_t {
  kInput = 0,
  kOutput0 = 1,
  kOutput1 = 2,
  kFirstControl = 3,
  kLatency = kFirstControl + kControlCount,
  kPortCount
};

// A control's port symbol, derived from its label: lower case, every run of
// other characters one underscore ("Auto-EQ Threshold" is auto_eq_threshold).
inline std::string portSymbol(const std::string& label) {
  std::string symbol;
  bool gap = false;
  for (unsigned char c : label) {
    if (std::isalnum(c)) {
      if (gap && !symbol.empty()) symbol += '_';
      symbol += static_cast<char>(std::tolower(c));
      gap = false;
    } else {
      gap = true;
    }
  }
  if (symbol.empty() || std::isdigit(static_cast<unsigned char>(symbol[0]))) symbol = "_" + symbol;
  return symbol;
}

}  // namespace vardo::lv2
