// Programmes and control settings for comparing renders across plug-in
// formats and processors. Inputs use integer noise and plain float arithmetic
// only, so every build produces the same samples.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "mydsp.h"
#include "vst_ui.h"

namespace vardo::reference {

// Band-limited noise bursts under a sawtooth level, a few clicks and a final
// stretch of silence (the tails and the gain control's recovery).
inline std::vector<float> programme(int count, std::uint32_t seed) {
  std::vector<float> s(static_cast<std::size_t>(count), 0.0f);
  std::uint32_t state = seed;
  float low = 0.0f;
  for (int i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    const float white = static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
    low = 0.82f * low + 0.18f * white;
    const float ramp = static_cast<float>(i % 9000) / 9000.0f;
    float v = low * (0.05f + 1.6f * ramp);
    if (i % 12007 == 5000) v = 0.95f;
    if (i > count - count / 6) v = 0.0f;
    s[static_cast<std::size_t>(i)] = v;
  }
  return s;
}

// The programme scaled into the subnormal range: what the DSP makes of it
// depends on the thread's flush-to-zero setting.
inline std::vector<float> subnormalProgramme(int count, std::uint32_t seed) {
  std::vector<float> s = programme(count, seed);
  for (float& v : s) v *= 1e-39f;
  return s;
}

// One host setting of all thirteen parameters, as normalised values (VST) and
// as the values the LV2 ports carry: the slider mapping the VST parameters
// apply (min + v * (max - min), in float) without its clamping, so values
// outside 0 ... 1 reach the LV2 plug-in out of range.
struct Setting {
  std::string name;
  std::vector<float> normalised;  // 13 entries
};

inline std::vector<Setting> settings() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  return {
      {"odd", {0.37f, 0.0f, 0.81f, 0.13f, 0.92f, 0.66f, 0.3f, 0.71f, 0.9f, 0.55f, 0.2f, 0.45f, 1.0f}},
      {"veze_off", {0.25f, 1.0f, 0.5f, 0.75f, 0.6f, 0.1f, 1.0f, 0.0f, 0.4f, 0.95f, 0.8f, 0.05f, 0.0f}},
      {"out_of_range",
       {1.5f, 0.5f, -1.0f, nan, inf, -inf, 2.0f, -0.25f, nan, 1e30f, -3.0f, 7.0f, 0.51f}},
  };
}

// The parameter table the VST build derives from the DSP, with the DSP's
// defaults in place.
struct ControlTable {
  mydsp dsp;
  vstUI table;
  ControlTable() {
    dsp.declareControls(&table);
    dsp.initialize(44100);
  }
  std::vector<float> defaults() const {
    std::vector<float> values;
    for (int i = 0; i < table.size(); ++i) values.push_back(table.at(i)->getRealValue());
    return values;
  }
  // The port value that corresponds to each normalised VST value, unclamped.
  std::vector<float> portValues(const std::vector<float>& normalised) const {
    std::vector<float> values(normalised.size());
    for (std::size_t i = 0; i < normalised.size(); ++i) {
      const auto* slider = dynamic_cast<const vstSlider*>(table.at(static_cast<int>(i)));
      values[i] = slider ? normalised[i] * (slider->maximum() - slider->minimum()) + slider->minimum()
                         : normalised[i];
    }
    return values;
  }
};

}  // namespace vardo::reference
