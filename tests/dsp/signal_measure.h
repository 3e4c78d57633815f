// The default controls and decibels for the DSP unit tests; the signals
// and measurements are in test_signals.h.
#pragma once

#include <cmath>
#include <vector>

#include "controls.h"
#include "test_signals.h"

namespace vardo::test {

inline ControlFields defaultControls() {
  ControlFields c{};
  resetControlFields(c);
  return c;
}

inline double toDb(double gain) { return 20.0 * std::log10(gain); }

}  // namespace vardo::test
