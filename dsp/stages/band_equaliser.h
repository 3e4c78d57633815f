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
// kernel takes as many bands per step as its lane type V holds; with eight
// lanes the bands are padded to 16, the extra lanes running idle. The filter
// cascades, rings and quadrature pairs have twice that many lanes: the sum S
// of bands 0 ... 11 in lanes 0 ... 11 and the difference D of the same bands
// from lane 12 (16 when padded). Levels, envelopes and gains have one lane
// per band.
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
  float lowA1[kBandLanes] = {};
  float lowA2[kBandLanes] = {};
  float lowG[kBandLanes] = {};
  float lowKSquared[kBandLanes] = {};
  float lowMinusTwoKSquared[kBandLanes] = {};
  float highA1[kBandLanes] = {};
  float highA2[kBandLanes] = {};
  float highG[kBandLanes] = {};
  float numeratorPole[kBandLanes] = {};   // p(2^m + 1)
  float numeratorInput[kBandLanes] = {};  // 1 - p(2^m + 1)
  float signedWeight[kBandLanes] = {};    // sign times c_m / a0 of the upper edge
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
  // Bands rounded up to whole lane types; the extra lanes idle.
  static constexpr int kBandSpan = roundUpToLanes<V>(kBandCount);
  static_assert(kBandSpan <= kBandLanes);
  static constexpr int kLanes = 2 * kBandSpan;  // sum lanes, then difference lanes
  static constexpr int kDiffLane = kBandSpan;   // first difference lane
  static constexpr int kSections = 4;           // highpass, highpass, lowpass, lowpass
  static constexpr int kStep = kLaneWidth<V>;

  void processSample(float x, float d, std::uint32_t n, BandOutputs& out);

  struct State {
    // Section recursion values of the last two samples: row `parity` holds
    // the older one (w2) and receives the current w, row parity ^ 1 holds w1.
    alignas(32) float filterW[2][kSections][kLanes];
    unsigned parity;  // flips every sample
    alignas(32) float bandRing[256][kLanes];  // raw band numerators u, by sample
    QuadratureLanes<kLanes> pairs;
    alignas(32) float hold[128][kBandSpan];  // max(M, Tq), by sample, twice
    alignas(32) float fastRelease[kBandSpan];
    alignas(32) float fastPeak[kBandSpan];
    alignas(32) float fastEnvelope[kBandSpan];
    alignas(32) float slowRelease[kBandSpan];
    alignas(32) float slowPeak[kBandSpan];
    alignas(32) float slowEnvelope[kBandSpan];
    alignas(32) float numeratorPeak[kBandSpan];
    alignas(32) float numerator[kBandSpan];
    alignas(32) float gain[kBandSpan];
    alignas(32) float peakMagnitude[kBandSpan];
    alignas(32) float heldLevel[kBandSpan];
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
