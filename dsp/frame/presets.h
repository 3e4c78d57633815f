// Named settings for typical material, beside the control table they set and
// as data only: the renderer reads them for --preset, and the build turns
// them into the LV2 bundle's presets, for every target.
#pragma once

namespace vardo {

// One control's value, in its own units (a switch: 1 on, 0 off). The control
// is named by its label in kControlTable; controls a preset leaves out keep
// their defaults.
struct PresetSetting {
  const char* control;
  float value;
};

inline constexpr int kMaxPresetSettings = 8;

struct PresetRow {
  const char* name;      // lower case; part of the preset's stable LV2 URI
  const char* label;     // as a host's preset menu shows it
  const char* material;  // what it is for, in a few words
  PresetSetting settings[kMaxPresetSettings];
  int count;
};

// Values measured on the project's own clips (scripts/measure-presets.sh).
inline constexpr PresetRow kPresetTable[] = {
    {"tape",
     "Tape",
     "cassette or reel tape with hiss",
     {{"Lowpass Filter", 4500.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -35.0f},
      {"Noisegate Gain dB", 40.0f}},
     4},
    {"am",
     "AM radio",
     "AM broadcast off air",
     {{"Lowpass Filter", 4500.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -30.0f},
      {"Noisegate Gain dB", 40.0f},
      {"Output AGC Threshold", -8.0f}},
     5},
    {"phone",
     "Phone",
     "telephone call or voice memo (resample 8 kHz files to 44.1 kHz first)",
     {{"Lowpass Filter", 3500.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -30.0f},
      {"Noisegate Gain dB", 40.0f},
      {"Output AGC Threshold", -8.0f}},
     5},
    {"vinyl",
     "Vinyl",
     "worn vinyl or shellac transfer",
     {{"Lowpass Filter", 6000.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -30.0f},
      {"Noisegate Gain dB", 40.0f},
      {"Output AGC Threshold", -10.0f}},
     5},
    {"field",
     "Field recording",
     "noisy field recording",
     {{"Lowpass Filter", 15000.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -30.0f},
      {"Noisegate Gain dB", 40.0f},
      {"Output AGC Threshold", -12.0f},
      {"Bandwidth Expansion Level", -96.0f}},
     6},
};

inline constexpr int kPresetCount = sizeof(kPresetTable) / sizeof(kPresetTable[0]);

}  // namespace vardo
