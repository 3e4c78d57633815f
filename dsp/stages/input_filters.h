// Input band-limiting: two copies of a sixth-order elliptic highpass at 40 Hz
// and two copies of a sixth-order elliptic lowpass at the "Lowpass Filter"
// corner.
#pragma once

#include <array>
#include <cstdint>

#include "primitives/control_fields.h"
#include "primitives/primitives.h"
#include "primitives/sample_rate.h"

namespace vardo {

constexpr int kEllipticSections = 3;  // sections of each sixth-order filter
using EllipticFilter = std::array<ZeroPairCoeffs, kEllipticSections>;

// The 40 Hz highpass, set with the sample rate.
EllipticFilter designInputHighpass(const SampleRate& rate);
// The lowpass at the control's corner, set per block.
EllipticFilter designInputLowpass(const ControlFields& controls, const SampleRate& rate);

class InputFilters {
 public:
  void setRate(const SampleRate& rate) { fHighpass = designInputHighpass(rate); }
  void prepareBlock(const ControlFields& controls, const SampleRate& rate) {
    fLowpass = designInputLowpass(controls, rate);
  }
  void clear() { fState = {}; }
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fState); }
  // Filters count input samples. A sample that is not finite enters the
  // filters as 0.
  void processRun(int count, std::uint32_t n, const float* in, float* out);

 private:
  EllipticFilter fHighpass{};
  EllipticFilter fLowpass{};

  // Signal state: each filter runs twice in series with its own states.
  using Cascade = std::array<SectionState, kEllipticSections>;
  struct State {
    Cascade highpass1{};
    Cascade highpass2{};
    Cascade lowpass1{};
    Cascade lowpass2{};
  };
  State fState;
};

}  // namespace vardo
