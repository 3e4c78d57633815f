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
// bands per step as its lane type V holds, the bands padded to whole V. The
// lanes of the mono bands 0 and 1 and of the padding run along unused (their
// exponentials and tangents are skipped). The component lanes hold the sum
// components in the first half and the difference components in the second,
// the two halves together padded to whole V.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>

#include "band_constants.h"
#include "primitives/control_fields.h"
#include "primitives/fresh_pages.h"
#include "primitives/sample_rate.h"
#include "quadrature_lanes.h"
#include "release_factor.h"
#include "simd/lane_types.h"
#include "simd/lanes.h"

namespace vardo {

struct WidthRateDesign : WidthPoles {
  ReleaseFactor componentRelease;  // 30 ms ... 1.03 s
};

WidthRateDesign designWidthRate(const SampleRate& rate);

template <class V>
class StereoWidth {
 public:
  // Silent: every state value zero.
  StereoWidth() : fState{} {}
  // On fresh zero pages (see fresh_pages.h): the state is left unwritten.
  explicit StereoWidth(OnFreshPages) {
    static_assert(std::is_trivially_default_constructible_v<State>);
  }

  void setRate(const SampleRate& rate) { fRate = designWidthRate(rate); }
  void prepareBlock(const ControlFields& controls, const SampleRate&) {
    fBlock = widthBlockValues(controls);
  }
  void clear();
  // False once a detector or level state of a width band is infinite or NaN.
  bool stateFinite() const;
  // Takes the band outputs of count samples and writes the channel A and
  // channel B sums of each.
  void processRun(int count, std::uint32_t n, const BandOutputs* bands, float* sumA, float* sumB);

  // The trimmed side gain kt of band m (2 ... 11) at the latest sample.
  float sideGain(int band) const { return fState.sideGain[band]; }

 private:
  static constexpr int kStep = kLaneWidth<V>;
  static constexpr int kBandLanes = roundUpToLanes<V>(kBandCount);  // band lanes, padded
  // Component lanes: the sum components, then the difference components,
  // both halves as short as whole V allow (as in the band equaliser).
  static constexpr int kLanes = roundUpToLanes<V>(2 * kBandCount);
  static constexpr int kDiffLane = kLanes / 2;
  // Rows of component lanes are also read a band lane group at a time: their
  // length, the lanes past kLanes kept 0.
  static constexpr int kRowLanes = std::max(kLanes, roundUpToLanes<V>(kDiffLane + kBandLanes));
  static_assert(kBandLanes <= kBandSlots && kDiffLane >= kBandCount);

  // Samples per pass (see processPiece).
  static constexpr int kPiece = 32;
  void processPiece(int count, const BandOutputs* bands, float* sumA, float* sumB);

  // The values passed between the passes of a piece, one row per sample.
  using LaneRows = float[kPiece][kRowLanes];
  using BandRows = float[kPiece][kBandLanes];

  // The finite check: the generic form asks one value at a time, and serves
  // one lane; wide lanes ask whole rows.
  template <class W>
  bool stateFinite(W) const;
  template <class W>
    requires(kLaneWidth<W> > 1)
  bool stateFinite(W) const;

  // The passes of a piece, in signal order.
  void componentMagnitudes(int count, const BandOutputs* bands, LaneRows& magnitude);
  void componentEnvelopes(int count, const LaneRows& magnitude, LaneRows& envelope);
  void tangentArguments(int count, const LaneRows& envelope, BandRows& z);
  // The tangent curves: the generic form takes one value at a time, and
  // serves one lane; wide lanes pack the width bands first.
  template <class W>
  static void tangentCurves(int count, const BandRows& z, BandRows& curve, W);
  template <class W>
    requires(kLaneWidth<W> > 1)
  static void tangentCurves(int count, const BandRows& z, BandRows& curve, W);
  static void packWidthBands(const float* z, float* packed);
  void sideAndSums(int count, const BandOutputs* bands, const BandRows& curve, float* sumA,
                   float* sumB);
  static V components(const BandOutputs& bands, int lane);

  // The component lanes of `values` from `lane` on, with those outside the
  // width bands (mono bands, padding) set to 0.
  static V widthComponentsOnly(int lane, V values) {
    if (lanesOfWidthBands(lane) == kStep) return values;
    return select(greater(load<V>(kWidthComponentLanes.data() + lane), splat<V>(0.0f)), values,
                  splat<V>(0.0f));
  }
  // How many of the component lanes from `lane` on belong to width bands.
  static constexpr int lanesOfWidthBands(int lane) {
    int inUse = 0;
    for (int k = lane; k < lane + kStep; ++k) inUse += kWidthComponentLanes[k] > 0.0f ? 1 : 0;
    return inUse;
  }
  // 1 in the lanes of the width bands, 0 in the mono bands' and the padding,
  // and the mask of those from band lane `b` on.
  alignas(kLaneAlign) static constexpr std::array<float, kBandLanes> kWidthLanes =
      bandLaneMask<kBandLanes>(kMonoBandCount, kBandCount);
  static auto widthBandLanes(int b) {
    return greater(load<V>(kWidthLanes.data() + b), splat<V>(0.0f));
  }
  // The same over both components' lanes.
  alignas(kLaneAlign) static constexpr std::array<float, kLanes> kWidthComponentLanes =
      componentLaneMask<kLanes>(kDiffLane, kMonoBandCount, kBandCount);
  // 1 in the difference lanes.
  alignas(kLaneAlign) static constexpr std::array<float, kLanes> kDifferenceLanes =
      bandLaneMask<kLanes>(kDiffLane, kLanes);

  struct State {
    QuadratureLanes<kLanes> pairs;  // sum components, then difference components
    unsigned parity;                // of the pairs' history rows, flips every sample
    alignas(kLaneAlign) float release[kLanes];   // s of each component
    alignas(kLaneAlign) float peak[kLanes];      // pk
    alignas(kLaneAlign) float envelope[kLanes];  // e
    alignas(kLaneAlign) float upperPeak[kBandLanes];
    alignas(kLaneAlign) float upperLevel[kBandLanes];
    alignas(kLaneAlign) float lowerPeak[kBandLanes];
    alignas(kLaneAlign) float lowerLevel[kBandLanes];
    alignas(kLaneAlign) float gate[kBandLanes];
    alignas(kLaneAlign) float gateLowpass[kBandLanes];
    alignas(kLaneAlign) float curve[kBandLanes];
    alignas(kLaneAlign) float sideLowpass[kBandLanes];
    alignas(kLaneAlign) float sideGain[kBandLanes];
  };

  WidthRateDesign fRate;
  WidthBlockValues fBlock;
  State fState;
};

#define VARDO_DECLARE_STEREO_WIDTH(V) extern template class StereoWidth<V>;
VARDO_LANE_TYPES(VARDO_DECLARE_STEREO_WIDTH)
#undef VARDO_DECLARE_STEREO_WIDTH

}  // namespace vardo
