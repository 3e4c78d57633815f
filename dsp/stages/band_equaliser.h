// Twelve-band automatic equaliser: band level detection on x + d and x - d,
// look-ahead band gains and the 2048-sample band delay lines.
//
// Every band splits the sum S = x + d and the difference D = x - d with the
// same fourth-order bandpass (two Butterworth highpass sections at the lower
// edge, two lowpass sections at the upper edge), measures the louder of the
// two quadrature magnitudes, and computes a gain that pulls the band towards
// a fixed level: 1 / envelope when loud, the band ceiling R_m when quiet, and
// a proportional fall below the detector threshold. The gain multiplies the
// band signal of 132 samples earlier, and the gained band is delayed by 2048
// samples more before it leaves the stage.
//
// The state is laid out one array per quantity across the bands, and the
// kernel takes as many bands per step as its lane type V holds. The filter
// cascades, rings and quadrature pairs have 24 lanes: the sum S of bands
// 0 ... 11 in lanes 0 ... 11 and the difference D of the same bands in lanes
// 12 ... 23. Levels, envelopes and gains have one lane per band.
#pragma once

#include <cstdint>

#include "../controls.h"
#include "../float4.h"
#include "../sample_rate.h"
#include "band_constants.h"
#include "quadrature_lanes.h"
#include "release_factor.h"

namespace vardo {

// Rate constants of the band equaliser, one entry per band.
struct BandRateDesign : BandPoles {
  // The band's lower edge sections (highpass) and upper edge sections (lowpass).
  float lowA1[kBandCount] = {};
  float lowA2[kBandCount] = {};
  float lowG[kBandCount] = {};
  float lowKSquared[kBandCount] = {};
  float lowMinusTwoKSquared[kBandCount] = {};
  float highA1[kBandCount] = {};
  float highA2[kBandCount] = {};
  float highG[kBandCount] = {};
  float numeratorPole[kBandCount] = {};   // p(2^m + 1)
  float numeratorInput[kBandCount] = {};  // 1 - p(2^m + 1)
  float signedWeight[kBandCount] = {};    // sign times c_m / a0 of the upper edge
  float minusPeriod = 0.0f;               // -1 / fs
  ReleaseFactor fastRelease;              // 0.25 s ... 1.25 s
  ReleaseFactor slowRelease;              // 5 s ... 6 s
};

BandRateDesign designBandRate(const SampleRate& rate);

template <class V>
class BandEqualiser {
 public:
  void setRate(const SampleRate& rate) { fRate = designBandRate(rate); }
  void prepareBlock(const ControlFields& controls, const SampleRate&) {
    fBlock = bandBlockValues(controls);
  }
  void clear();
  // Takes x and d of count samples (counters n ... n + count - 1) and writes
  // the band outputs of each.
  void processRun(const float* x, const float* d, std::uint32_t n, int count, BandOutputs* out);

  // The gain band m computed at the latest sample.
  float gain(int band) const { return fState.gain[band]; }
  // The peak quadrature magnitude M of band m at the latest sample.
  float level(int band) const { return fState.peakMagnitude[band]; }
  // The held level H of band m (the hold window's maximum) at the latest sample.
  float heldLevel(int band) const { return fState.heldLevel[band]; }
  // The band ceiling R_m of the current block.
  float ceiling(int band) const { return fBlock.ceiling[band]; }

 private:
  static constexpr int kLanes = 2 * kBandCount;  // sum lanes, then difference lanes
  static constexpr int kDiffLane = kBandCount;   // first difference lane
  static constexpr int kSections = 4;            // highpass, highpass, lowpass, lowpass
  static constexpr int kStep = kLaneWidth<V>;
  static_assert(kBandCount % kStep == 0, "bands are taken a whole lane type at a time");

  void processSample(float x, float d, std::uint32_t n, BandOutputs& out);

  struct State {
    // Section recursion values of the last two samples: row `parity` holds
    // the older one (w2) and receives the current w, row parity ^ 1 holds w1.
    alignas(32) float filterW[2][kSections][kLanes];
    unsigned parity;  // flips every sample
    alignas(32) float bandRing[256][kLanes];  // raw band numerators u, by sample
    QuadratureLanes<kLanes> pairs;
    alignas(32) float hold[128][kBandCount];  // max(M, Tq), by sample, twice
    alignas(32) float fastRelease[kBandCount];
    alignas(32) float fastPeak[kBandCount];
    alignas(32) float fastEnvelope[kBandCount];
    alignas(32) float slowRelease[kBandCount];
    alignas(32) float slowPeak[kBandCount];
    alignas(32) float slowEnvelope[kBandCount];
    alignas(32) float numeratorPeak[kBandCount];
    alignas(32) float numerator[kBandCount];
    alignas(32) float gain[kBandCount];
    alignas(32) float peakMagnitude[kBandCount];
    alignas(32) float heldLevel[kBandCount];
    // Gained bands, by sample: a + b in the sum lanes, a - b in the
    // difference lanes (the mono bands' difference lanes are never read).
    alignas(32) float line[4096][kLanes];
  };

  BandRateDesign fRate;
  BandBlockValues fBlock;
  State fState{};
};

extern template class BandEqualiser<float>;
extern template class BandEqualiser<Float4>;

}  // namespace vardo
