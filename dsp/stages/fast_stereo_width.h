// The per-band stereo width of stereo_width.h, computed on all bands at once.
//
// Same results bit for bit: the same steps with the same operations in the
// same order, with one array per quantity across the bands. Lane m belongs
// to band m, so the band outputs load straight into the lanes; the lanes of
// the mono bands 0 and 1 run along unused (their exponentials and tangents
// are skipped). The component lanes hold the sum components in 0 ... 11 and
// the difference components in 12 ... 23.
#pragma once

#include "../controls.h"
#include "../sample_rate.h"
#include "band_equaliser.h"
#include "band_constants.h"
#include "quadrature_lanes.h"
#include "release_factor.h"

namespace vardo {

class FastStereoWidth {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // False once a filter, detector or level state is infinite or NaN.
  bool stateFinite() const;
  void process(const BandOutputs& bands, float& sumA, float& sumB);

  // The trimmed side gain kt of band m (2 ... 11) at the latest sample.
  float sideGain(int band) const { return fState.sideGain[band]; }

 private:
  static constexpr int kLanes = 2 * kBandCount;
  static constexpr int kDiffLane = kBandCount;

  struct RateConstants : WidthPoles {
    float minusPeriod = 0.0f;
    ReleaseFactor componentRelease;  // 30 ms ... 1.03 s
  };

  struct State {
    QuadratureLanes<kLanes> pairs;  // sum components, then difference components
    unsigned parity;                // of the pairs' history rows, flips every sample
    alignas(16) float release[kLanes];   // s of each component
    alignas(16) float peak[kLanes];      // pk
    alignas(16) float envelope[kLanes];  // e
    alignas(16) float upperPeak[kBandCount];
    alignas(16) float upperLevel[kBandCount];
    alignas(16) float lowerPeak[kBandCount];
    alignas(16) float lowerLevel[kBandCount];
    alignas(16) float gate[kBandCount];
    alignas(16) float gateLowpass[kBandCount];
    alignas(16) float curve[kBandCount];
    alignas(16) float sideLowpass[kBandCount];
    alignas(16) float sideGain[kBandCount];
  };

  RateConstants fRate;
  WidthBlockValues fBlock;
  State fState{};
};

}  // namespace vardo
