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

inline constexpr int kMaxPresetSettings = 13;  // one per control

struct PresetRow {
  const char* name;      // lower case; part of the preset's stable LV2 URI
  const char* label;     // as a host's preset menu shows it
  const char* material;  // what it is for, in a few words
  PresetSetting settings[kMaxPresetSettings];
  int count;
};

// Values found by a seeded search on training recordings
// (scripts/quality/tune.py, its result in scripts/quality/tuned-presets.json)
// and measured on held-out ones (scripts/quality/figures.py).
inline constexpr PresetRow kPresetTable[] = {
    {"tape",
     "Tape",
     "cassette or reel tape with hiss",
     {{"Lowpass Filter", 4500.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -15.0f},
      {"Noisegate Gain dB", 40.0f},
      {"Output AGC Threshold", -5.0f},
      {"Bandwidth Expansion Level", 18.0f},
      {"DNR2 Sensitivity", 233.0f}},
     7},
    {"am",
     "AM radio",
     "AM broadcast off air",
     {{"Lowpass Filter", 15000.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -25.0f},
      {"Auto-EQ Density Limit Threshold", -10.0f},
      {"Noisegate Gain dB", 34.0f},
      {"Stereo Expander Gain Trim", 12.0f},
      {"Stereo Expander Limit in Percent", 200.0f},
      {"Stereo Expander Offset", 0.96f},
      {"Bandwidth Expansion Level", 23.0f},
      {"DNR2 Sensitivity", 251.0f}},
     10},
    {"phone",
     "Phone",
     "telephone call or voice memo (resample 8 kHz files to 44.1 kHz first)",
     {{"Lowpass Filter", 6000.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -13.0f},
      {"Auto-EQ Density Limit Threshold", -2.0f},
      {"Noisegate Gain dB", 40.0f},
      {"Stereo Expander Limit in Percent", 200.0f},
      {"Output AGC Threshold", -10.0f},
      {"Bandwidth Expansion Level", -15.0f},
      {"DNR2 Sensitivity", 245.0f}},
     9},
    {"vinyl",
     "Vinyl",
     "worn vinyl or shellac transfer (remove clicks first)",
     {{"Lowpass Filter", 11400.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -15.0f},
      {"Auto-EQ Density Limit Threshold", -6.0f},
      {"Noisegate Gain dB", 33.0f},
      {"Stereo Expander Gain Trim", 9.0f},
      {"Stereo Expander Limit in Percent", 200.0f},
      {"Stereo Expander Offset", 0.91f},
      {"Output AGC Threshold", -7.0f},
      {"Bandwidth Expansion Level", -91.0f},
      {"DNR2 Sensitivity", 300.0f}},
     11},
    {"field",
     "Field recording",
     "noisy field recording",
     {{"Lowpass Filter", 15000.0f},
      {"Disable VEZE EQ", 1.0f},
      {"Auto-EQ Threshold", -17.0f},
      {"Auto-EQ Density Limit Threshold", -5.0f},
      {"Noisegate Gain dB", 40.0f},
      {"Stereo Expander Gain Trim", 2.0f},
      {"Stereo Expander Limit in Percent", 200.0f},
      {"Output AGC Threshold", -8.0f},
      {"Bandwidth Expansion Level", -89.0f}},
     9},
};

inline constexpr int kPresetCount = sizeof(kPresetTable) / sizeof(kPresetTable[0]);

}  // namespace vardo
