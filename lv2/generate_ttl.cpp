// Writes the LV2 bundle's description (manifest.ttl, vardo.ttl and
// presets.ttl) from the DSP's control table, the one that also drives the
// control declarations, so the ports always carry the labels, ranges,
// defaults and units the VST 2.4 parameters have; and from the preset table
// the renderer reads, so a host's preset menu offers the same settings.
//
//   vardo_lv2_ttl <bundle directory> <minor version> <micro version>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "meta_table.h"
#include "controls.h"
#include "ports.h"
#include "presets.h"

namespace {

using namespace vardo::lv2;

// Decimal text that reads back as the same float: whole numbers as such,
// others with the fewest significant digits that do.
std::string number(float value) {
  char text[48];
  if (value == std::floor(value) && std::fabs(value) < 1e9f) {
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value));
    return text;
  }
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return text;
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool whole(float value) { return std::isfinite(value) && value == std::floor(value); }

// A control's unit in the LV2 units vocabulary; the sensitivity factors
// ("x") are coefficients. Null for a unit that has no counterpart.
const char* lv2Unit(const std::string& unit) {
  static const char* const kUnits[][2] = {
      {"Hz", "units:hz"}, {"dB", "units:db"}, {"%", "units:pc"}, {"x", "units:coef"}, {"", ""}};
  for (const auto& entry : kUnits)
    if (unit == entry[0]) return entry[1];
  return nullptr;
}

void audioPort(std::ostream& out, Port index, bool input, const char* symbol, const char* name) {
  out << "\t\ta lv2:" << (input ? "Input" : "Output") << "Port , lv2:AudioPort ;\n"
      << "\t\tlv2:index " << index << " ;\n"
      << "\t\tlv2:symbol " << quoted(symbol) << " ;\n"
      << "\t\tlv2:name " << quoted(name) << " ;\n";
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    std::fprintf(stderr, "vardo_lv2_ttl: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

// The presets, each with a value for every control: the preset's own, the
// default for the rest. Fails on a control name or value the table does not
// allow, so a mistyped preset stops the build.
bool writePresets(std::ostream& manifest, std::ostream& ttl) {
  ttl << "# Generated at build time from the DSP's preset table.\n"
      << "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
      << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
      << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
  std::set<std::string> names;
  for (const vardo::PresetRow& preset : vardo::kPresetTable) {
    if (!names.insert(preset.name).second) {
      std::fprintf(stderr, "vardo_lv2_ttl: two presets are called %s\n", preset.name);
      return false;
    }
    float values[kControlCount];
    for (int i = 0; i < kControlCount; ++i) values[i] = kControlTable[i].init;
    for (int s = 0; s < preset.count; ++s) {
      const vardo::PresetSetting& setting = preset.settings[s];
      int found = -1;
      for (int i = 0; i < kControlCount; ++i)
        if (std::string(kControlTable[i].label) == setting.control) found = i;
      if (found < 0 || setting.value < kControlTable[found].min ||
          setting.value > kControlTable[found].max) {
        std::fprintf(stderr, "vardo_lv2_ttl: preset %s: no control \"%s\" takes %g\n",
                     preset.name, setting.control, static_cast<double>(setting.value));
        return false;
      }
      values[found] = setting.value;
    }
    const std::string uri = presetUri(preset.name);
    manifest << "\n<" << uri << ">\n"
             << "\ta pset:Preset ;\n"
             << "\tlv2:appliesTo <" << kPluginUri << "> ;\n"
             << "\trdfs:seeAlso <presets.ttl> .\n";
    ttl << "\n<" << uri << ">\n"
        << "\ta pset:Preset ;\n"
        << "\tlv2:appliesTo <" << kPluginUri << "> ;\n"
        << "\trdfs:label " << quoted(preset.label) << " ;\n"
        << "\trdfs:comment " << quoted(preset.material) << " ;\n"
        << "\tlv2:port ";
    for (int i = 0; i < kControlCount; ++i)
      ttl << (i == 0 ? "[\n" : " , [\n") << "\t\tlv2:symbol "
          << quoted(portSymbol(kControlTable[i].label)) << " ;\n"
          << "\t\tpset:value " << number(values[i]) << "\n\t]";
    ttl << " .\n";
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vardo_lv2_ttl <bundle directory> <minor> <micro>\n");
    return 2;
  }
  const std::string bundle = argv[1];

  MetaTable meta;
  declareMetadataPairs(&meta);
  auto metaText = [&](const char* key) {
    const std::string* value = meta.find(key);
    return value ? *value : std::string();
  };

  std::ostringstream manifest;
  manifest << "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
           << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
           << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
           << "<" << kPluginUri << ">\n"
           << "\ta lv2:Plugin ;\n"
           << "\tlv2:binary <" << kBinaryName << "> ;\n"
           << "\trdfs:seeAlso <vardo.ttl> .\n";

  std::ostringstream ttl;
  ttl << "# Generated at build time from the DSP's control table.\n"
      << "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
      << "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
      << "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
      << "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
      << "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n"
      << "<" << kPluginUri << ">\n"
      << "\ta lv2:Plugin , doap:Project ;\n"
      << "\tdoap:name " << quoted(metaText("name")) << " ;\n"
      << "\tdoap:maintainer [ foaf:name " << quoted(metaText("author")) << " ] ;\n"
      << "\trdfs:comment \"Restores a band-limited, noisy mono programme and widens it to "
         "stereo.\" ;\n"
      << "\tlv2:minorVersion " << std::atoi(argv[2]) << " ;\n"
      << "\tlv2:microVersion " << std::atoi(argv[3]) << " ;\n"
      << "\tlv2:optionalFeature lv2:hardRTCapable ;\n"
      << "\tlv2:port [\n";
  audioPort(ttl, Port::kInput, true, "in", "In 0");
  ttl << "\t] , [\n";
  audioPort(ttl, Port::kOutput0, false, "out_0", "Out 0");
  ttl << "\t] , [\n";
  audioPort(ttl, Port::kOutput1, false, "out_1", "Out 1");

  std::set<std::string> symbols = {"in", "out_0", "out_1", "latency"};
  for (int i = 0; i < kControlCount; ++i) {
    const ControlRow& control = kControlTable[i];
    const bool toggle = control.kind == ControlKind::kCheckButton;
    const std::string symbol = portSymbol(control.label);
    if (!symbols.insert(symbol).second) {
      std::fprintf(stderr, "vardo_lv2_ttl: two ports would be called %s\n", symbol.c_str());
      return 1;
    }
    const char* unit = lv2Unit(control.unit);
    if (unit == nullptr) {
      std::fprintf(stderr, "vardo_lv2_ttl: no LV2 unit for \"%s\" (%s)\n", control.unit,
                   control.label);
      return 1;
    }
    ttl << "\t] , [\n"
        << "\t\ta lv2:InputPort , lv2:ControlPort ;\n"
        << "\t\tlv2:index " << Port::kFirstControl + i << " ;\n"
        << "\t\tlv2:symbol " << quoted(symbol) << " ;\n"
        << "\t\tlv2:name " << quoted(control.label) << " ;\n"
        << "\t\tlv2:default " << number(control.init) << " ;\n"
        << "\t\tlv2:minimum " << number(control.min) << " ;\n"
        << "\t\tlv2:maximum " << number(control.max) << " ;\n";
    if (toggle)
      ttl << "\t\tlv2:portProperty lv2:toggled ;\n";
    else if (whole(control.step) && whole(control.min) && whole(control.max) && whole(control.init))
      ttl << "\t\tlv2:portProperty lv2:integer ;\n";
    if (*unit) ttl << "\t\tunits:unit " << unit << " ;\n";
  }
  ttl << "\t] , [\n"
      << "\t\ta lv2:OutputPort , lv2:ControlPort ;\n"
      << "\t\tlv2:index " << Port::kLatency << " ;\n"
      << "\t\tlv2:symbol \"latency\" ;\n"
      << "\t\tlv2:name \"Latency\" ;\n"
      << "\t\tlv2:designation lv2:latency ;\n"
      << "\t\tlv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
      << "\t\tunits:unit units:frame ;\n"
      << "\t] .\n";

  std::ostringstream presets;
  if (!writePresets(manifest, presets)) return 1;

  return writeFile(bundle + "/manifest.ttl", manifest.str()) &&
                 writeFile(bundle + "/vardo.ttl", ttl.str()) &&
                 writeFile(bundle + "/presets.ttl", presets.str())
             ? 0
             : 1;
}
