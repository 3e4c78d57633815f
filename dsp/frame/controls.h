// The thirteen controls of the DSP: their fields, defaults and declaration to
// a UI builder, and the DSP's descriptive metadata.
#pragma once

#include "primitives/control_fields.h"

class UI;
class MetaTable;

enum class ControlKind { kSlider, kCheckButton };

struct ControlMetaPair {
  const char* key;
  const char* value;
};

// Everything declared for one control. A check button declares no range; it
// holds 0 (off) or 1 (on), which min, max and step describe.
struct ControlRow {
  const char* label;
  float ControlFields::*field;
  ControlKind kind;
  float init;
  float min;
  float max;
  float step;
  const char* unit;  // "Hz", "dB", "%", "x", or "" for a switch or a plain number
  ControlMetaPair meta[2];  // declared before the control, in this order
  int metaCount;
};

// The thirteen controls in declaration order, which is host parameter order.
inline constexpr ControlRow kControlTable[kControlCount] = {
    {"Lowpass Filter", &ControlFields::lowpassFilter, ControlKind::kSlider, 9600.0f, 1000.0f,
     15000.0f, 100.0f, "Hz", {}, 0},
    {"Disable VEZE EQ", &ControlFields::disableVezeEq, ControlKind::kCheckButton, 0.0f, 0.0f, 1.0f,
     1.0f, "", {{"controls", "00"}}, 1},
    {"Auto-EQ Threshold", &ControlFields::autoEqThreshold, ControlKind::kSlider, -60.0f, -90.0f,
     0.0f, 1.0f, "dB", {{"controls", "05"}}, 1},
    {"Auto-EQ Density Limit Threshold", &ControlFields::autoEqDensityLimit, ControlKind::kSlider,
     -3.0f, -30.0f, 0.0f, 1.0f, "dB", {{"controls", "06"}}, 1},
    {"Noisegate Gain dB", &ControlFields::noisegateGain, ControlKind::kSlider, 55.0f, 0.0f, 70.0f,
     1.0f, "dB", {{"controls", "10"}}, 1},
    {"Stereo Expander Gain Trim", &ControlFields::expanderGainTrim, ControlKind::kSlider, 0.0f,
     -12.0f, 12.0f, 1.0f, "dB", {{"controls", "25"}}, 1},
    {"Stereo Expander Limit in Percent", &ControlFields::expanderLimitPercent,
     ControlKind::kSlider, 170.0f, 0.0f, 200.0f, 1.0f, "%", {{"controls", "27"}}, 1},
    {"Stereo Expander Offset", &ControlFields::expanderOffset, ControlKind::kSlider, 1.1f, 0.0f,
     2.0f, 0.01f, "", {{"controls", "32"}}, 1},
    {"Output AGC Threshold", &ControlFields::outputAgcThreshold, ControlKind::kSlider, -6.0f,
     -12.0f, 3.0f, 1.0f, "dB", {{"controls", "90"}}, 1},
    {"Bandwidth Expansion Level", &ControlFields::bandwidthExpansionLevel, ControlKind::kSlider,
     16.0f, -96.0f, 24.0f, 1.0f, "dB", {{"controls", "99"}}, 1},
    {"DNR Sensitivity", &ControlFields::dnrSensitivity, ControlKind::kSlider, 300.0f, 10.0f,
     300.0f, 1.0f, "x", {{"da", ""}, {"unit", "x"}}, 2},
    {"DNR2 Sensitivity", &ControlFields::dnr2Sensitivity, ControlKind::kSlider, 250.0f, 0.0f,
     300.0f, 1.0f, "x", {{"dc", ""}, {"unit", "x"}}, 2},
    {"DNR LPF Disable", &ControlFields::dnrLpfDisable, ControlKind::kCheckButton, 0.0f, 0.0f,
     1.0f, 1.0f, "", {{"sa", ""}}, 1},
};

// The group every control is declared in.
inline constexpr const char* kControlGroup = "Tovrel_KORVA-MX31f7";

// A consistent copy of the fields, read once at the start of a block.
ControlFields snapshotControls(const ControlFields& fields);

void declareControlFields(UI* builder, ControlFields& fields);
void resetControlFields(ControlFields& fields);
void declareMetadataPairs(MetaTable* collector);
