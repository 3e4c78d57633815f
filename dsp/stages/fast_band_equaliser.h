// The twelve-band automatic equaliser of band_equaliser.h, computed on all
// bands at once.
//
// Same signal, same results bit for bit: every band runs the same steps with
// the same operations in the same order, but the state is laid out one array
// per quantity across the bands, so that four bands (or four filter lanes)
// take each step together. The filter cascades, rings and quadrature pairs
// have 24 lanes: the sum S of bands 0 ... 11 in lanes 0 ... 11 and the
// difference D of the same bands in lanes 12 ... 23. Levels, envelopes and
// gains have one lane per band.
#pragma once

#include <cstdint>

#include "../controls.h"
#include "../sample_rate.h"
#include "band_equaliser.h"
#include "band_constants.h"
#include "quadrature_lanes.h"
#include "release_factor.h"

namespace vardo {

class FastBandEqualiser {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // False once a filter, detector or level state is infinite or NaN.
  bool stateFinite() const;
  void process(float x, float d, std::uint32_t n, BandOutputs& out);

  float gain(int band) const { return fState.gain[band]; }
  float level(int band) const { return fState.peakMagnitude[band]; }
  float heldLevel(int band) const { return fState.heldLevel[band]; }
  float ceiling(int band) const { return fBlock.ceiling[band]; }

 private:
  static constexpr int kLanes = 2 * kBandCount;  // sum lanes, then difference lanes
  static constexpr int kDiffLane = kBandCount;   // first difference lane
  static constexpr int kSections = 4;            // highpass, highpass, lowpass, lowpass
  static_assert(kBandCount % 4 == 0, "bands are taken four at a time");

  // Per-band rate constants: the band's lower and upper edge sections and its weights.
  struct RateConstants : BandPoles {
    alignas(16) float lowA1[kBandCount] = {};
    alignas(16) float lowA2[kBandCount] = {};
    alignas(16) float lowG[kBandCount] = {};
    alignas(16) float lowKSquared[kBandCount] = {};
    alignas(16) float lowMinusTwoKSquared[kBandCount] = {};
    alignas(16) float highA1[kBandCount] = {};
    alignas(16) float highA2[kBandCount] = {};
    alignas(16) float highG[kBandCount] = {};
    alignas(16) float numeratorPole[kBandCount] = {};
    alignas(16) float numeratorInput[kBandCount] = {};
    alignas(16) float signedWeight[kBandCount] = {};
    float minusPeriod = 0.0f;
    ReleaseFactor fastRelease;  // 0.25 s ... 1.25 s
    ReleaseFactor slowRelease;  // 5 s ... 6 s
  };

  struct State {
    // Section recursion values of the last two samples: row `parity` holds
    // the older one (w2) and receives the current w, row parity ^ 1 holds w1.
    alignas(16) float filterW[2][kSections][kLanes];
    unsigned parity;  // flips every sample
    alignas(16) float bandRing[256][kLanes];  // raw band numerators u, by sample
    QuadratureLanes<kLanes> pairs;
    alignas(16) float hold[128][kBandCount];  // max(M, Tq), by sample, twice
    alignas(16) float fastRelease[kBandCount];
    alignas(16) float fastPeak[kBandCount];
    alignas(16) float fastEnvelope[kBandCount];
    alignas(16) float slowRelease[kBandCount];
    alignas(16) float slowPeak[kBandCount];
    alignas(16) float slowEnvelope[kBandCount];
    alignas(16) float numeratorPeak[kBandCount];
    alignas(16) float numerator[kBandCount];
    alignas(16) float gain[kBandCount];
    alignas(16) float peakMagnitude[kBandCount];
    alignas(16) float heldLevel[kBandCount];
    // Gained bands, by sample: a + b in the sum lanes, a - b in the
    // difference lanes (the mono bands' difference lanes are never read).
    alignas(16) float line[4096][kLanes];
  };

  RateConstants fRate;
  BandBlockValues fBlock;
  State fState{};
};

}  // namespace vardo
