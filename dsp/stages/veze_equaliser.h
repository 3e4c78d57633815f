// The fixed equaliser: seven shelves built from Butterworth crossovers and
// three peaking filters; "Disable VEZE EQ" bypasses it.
#pragma once

#include <array>
#include <cstdint>

#include "primitives/control_fields.h"
#include "primitives/primitives.h"
#include "primitives/sample_rate.h"
#include "simd/lanes.h"
#include "simd/lane_types.h"

namespace vardo {

// Coefficients of a shelf made from an odd-order Butterworth split: a
// first-order section plus `Sections` second-order sections at one corner,
// with the shelf gain on the highpass part (high shelf) or the lowpass part.
template <int Sections>
struct ShelfCoeffs {
  FirstOrderCoeffs first;
  std::array<SectionCoeffs, Sections> poles{};
  float kSquared = 0.0f;          // K^2 for the highpass numerators
  float minusTwoKSquared = 0.0f;  // -2 K^2
  float gain = 0.0f;
  bool highShelf = true;
};

// State of both halves of the split.
template <int Sections>
struct ShelfState {
  FirstOrderSection lowFirst;
  FirstOrderSection highFirst;
  std::array<SectionState, Sections> low{};
  std::array<SectionState, Sections> high{};
};

// Every filter of the equaliser, set with the sample rate, in signal order.
struct VezeRateDesign {
  ShelfCoeffs<3> boost5000;
  FirstOrderCoeffs cut3500First;  // the first-order shelf at 3.5 kHz
  float cut3500Gain = 0.0f;
  ShelfCoeffs<2> cut3500;
  ShelfCoeffs<1> cut4500;
  ShelfCoeffs<1> cut2000;
  PeakingSection dip4500;
  PeakingSection dip7500;
  ShelfCoeffs<1> bass75;
  ShelfCoeffs<1> bass50;
  PeakingSection presence3200;
};

VezeRateDesign designVezeRate(const SampleRate& rate);
// Per block: whether "Disable VEZE EQ" bypasses the equaliser (from 0.5 up).
inline bool vezeBypassed(const ControlFields& controls) { return controls.disableVezeEq >= 0.5f; }

class VezeEqualiser {
 public:
  void setRate(const SampleRate& rate) { fRate = designVezeRate(rate); }
  void prepareBlock(const ControlFields& controls, const SampleRate&) {
    fBypassed = vezeBypassed(controls);
  }
  void clear() { fState = {}; }
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fState); }
  // Equalises count samples, a few filters per pass over the run, so that
  // one sample's sections are not one dependency chain. out may be in.
  void processRun(int count, std::uint32_t n, const float* in, float* out);
  // The same compiled in the unit of lane type Tag (see veze_equaliser_kernels.h).
  template <class Tag>
  void processRunIn(int count, const float* in, float* out);

 private:
  static constexpr int kPiece = 256;

  VezeRateDesign fRate;
  bool fBypassed = false;

  struct State {
    ShelfState<3> boost5000;
    FirstOrderSection cut3500FirstLow;
    FirstOrderSection cut3500FirstHigh;
    ShelfState<2> cut3500;
    ShelfState<1> cut4500;
    ShelfState<1> cut2000;
    SectionState dip4500;
    SectionState dip7500;
    ShelfState<1> bass75;
    ShelfState<1> bass50;
    SectionState presence3200;
  };
  State fState;
};

// The unit whose build of the equaliser a chain on lane type V runs: a wide
// type's own, and the baseline one for every narrow type.
template <class V>
struct VezeUnit {
  using type = Float4;
};
#define VARDO_VEZE_UNIT(V)   \
  template <>                \
  struct VezeUnit<V> {       \
    using type = V;          \
  };
VARDO_WIDE_LANE_TYPES(VARDO_VEZE_UNIT)
#undef VARDO_VEZE_UNIT

#define VARDO_DECLARE_VEZE_RUN(V) \
  extern template void VezeEqualiser::processRunIn<V>(int, const float*, float*);
VARDO_DECLARE_VEZE_RUN(Float4)
VARDO_WIDE_LANE_TYPES(VARDO_DECLARE_VEZE_RUN)
#undef VARDO_DECLARE_VEZE_RUN

}  // namespace vardo
