// Per-band stereo width for bands 2 ... 11 and the two channel sums.
//
// Each band compares the envelopes of its two gained components (from the
// sum and from the difference input). The ratio of the upper to the lower
// level, gated towards silence and less an offset, drives a tangent curve
// whose smoothed, trimmed output is the side gain: it mixes the band's
// delayed difference signal into the channels with opposite signs, up to the
// width limit. Whatever the side gain leaves of the limit raises the band in
// both channels by 1 + 0.414 times the remainder. Bands 0 and 1 stay mono.
//
// One array per quantity across the bands; lane m belongs to band m, so the
// band outputs load straight into the lanes, and the kernel takes as many
// bands per step as its lane type V holds. The lanes of the mono bands 0 and
// 1 run along unused (their exponentials and tangents are skipped), and so
// do the padding lanes 12 ... 15 with eight lanes. The component lanes hold
// the sum components from lane 0 and the difference components from lane 12
// (16 when padded).
#pragma once

#include "../controls.h"
#include "../float4.h"
#include "../sample_rate.h"
#include "band_constants.h"
#include "quadrature_lanes.h"
#include "release_factor.h"

namespace vardo {

struct WidthRateDesign : WidthPoles {
  float minusPeriod = 0.0f;        // -1 / fs
  ReleaseFactor componentRelease;  // 30 ms ... 1.03 s
};

WidthRateDesign designWidthRate(const SampleRate& rate);

template <class V>
class StereoWidth {
 public:
  void setRate(const SampleRate& rate) { fRate = designWidthRate(rate); }
  void prepareBlock(const ControlFields& controls, const SampleRate&) {
    fBlock = widthBlockValues(controls);
  }
  void clear();
  // Takes the band outputs of count samples and writes the channel A and
  // channel B sums of each.
  void processRun(const BandOutputs* bands, int count, float* sumA, float* sumB);

  // The trimmed side gain kt of band m (2 ... 11) at the latest sample.
  float sideGain(int band) const { return fState.sideGain[band]; }

 private:
  // Bands rounded up to whole lane types; the extra lanes idle.
  static constexpr int kBandSpan = roundUpToLanes<V>(kBandCount);
  static_assert(kBandSpan <= kBandLanes);
  static constexpr int kLanes = 2 * kBandSpan;
  static constexpr int kDiffLane = kBandSpan;
  static constexpr int kStep = kLaneWidth<V>;

  void processSample(const BandOutputs& bands, float& sumA, float& sumB);

  struct State {
    QuadratureLanes<kLanes> pairs;  // sum components, then difference components
    unsigned parity;                // of the pairs' history rows, flips every sample
    alignas(32) float release[kLanes];   // s of each component
    alignas(32) float peak[kLanes];      // pk
    alignas(32) float envelope[kLanes];  // e
    alignas(32) float upperPeak[kBandSpan];
    alignas(32) float upperLevel[kBandSpan];
    alignas(32) float lowerPeak[kBandSpan];
    alignas(32) float lowerLevel[kBandSpan];
    alignas(32) float gate[kBandSpan];
    alignas(32) float gateLowpass[kBandSpan];
    alignas(32) float curve[kBandSpan];
    alignas(32) float sideLowpass[kBandSpan];
    alignas(32) float sideGain[kBandSpan];
  };

  WidthRateDesign fRate;
  WidthBlockValues fBlock;
  State fState{};
};

extern template class StereoWidth<float>;
extern template class StereoWidth<Float4>;

}  // namespace vardo
