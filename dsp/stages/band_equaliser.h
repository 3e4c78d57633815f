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
// kernel takes as many bands per step as its lane type V holds, the twelve
// bands padded to whole V. The filter cascades, rings and quadrature pairs
// have two lanes per band: the sum S of every band in the first half and the
// difference D of the same bands in the second, the two halves together
// padded to whole V (on eight lanes the middle group holds both). The fast
// and slow envelope followers share a layout of the same kind. Levels,
// numerators and gains have one lane per band.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>

#include "band_constants.h"
#include "primitives/control_fields.h"
#include "primitives/fresh_pages.h"
#include "primitives/primitives.h"
#include "primitives/sample_rate.h"
#include "quadrature_lanes.h"
#include "release_factor.h"
#include "simd/lane_types.h"
#include "simd/lanes.h"

namespace vardo {

// Rate constants of the band equaliser, one entry per band.
struct BandRateDesign : BandPoles {
  // The band's lower edge sections (highpass) and upper edge sections (lowpass).
  float lowA1[kBandSlots] = {};
  float lowA2[kBandSlots] = {};
  float lowG[kBandSlots] = {};
  float lowKSquared[kBandSlots] = {};
  float lowMinusTwoKSquared[kBandSlots] = {};
  float highA1[kBandSlots] = {};
  float highA2[kBandSlots] = {};
  float highG[kBandSlots] = {};
  float numeratorPole[kBandSlots] = {};   // p(2^m + 1)
  float numeratorInput[kBandSlots] = {};  // 1 - p(2^m + 1)
  float signedWeight[kBandSlots] = {};    // sign times c_m / a0 of the upper edge
  ReleaseFactor fastRelease;              // 0.25 s ... 1.25 s
  ReleaseFactor slowRelease;              // 5 s ... 6 s
};

BandRateDesign designBandRate(const SampleRate& rate);

template <class V>
class BandEqualiser {
 public:
  // Silent: every state value zero.
  BandEqualiser() : fState{} {}
  // On fresh zero pages (see fresh_pages.h): the state is left unwritten.
  explicit BandEqualiser(OnFreshPages) {
    static_assert(std::is_trivially_default_constructible_v<State>);
  }

  void setRate(const SampleRate& rate) {
    fRate = designBandRate(rate);
    spreadOverLanes();
  }
  void prepareBlock(const ControlFields& controls, const SampleRate&) {
    fBlock = bandBlockValues(controls);
  }
  void clear();
  // False once a filter, detector or level state of a band is infinite or NaN.
  bool stateFinite() const;
  // Takes x and d of count samples (counters n ... n + count - 1) and writes
  // the band outputs of each.
  void processRun(int count, std::uint32_t n, const float* x, const float* d, BandOutputs* out);

  // The gain band m computed at the latest sample.
  float gain(int band) const { return fState.gain[band]; }
  // The peak quadrature magnitude M of band m at the latest sample.
  float level(int band) const { return fState.peakMagnitude[band]; }
  // The held level H of band m (the hold window's maximum) at the latest sample.
  float heldLevel(int band) const { return fState.heldLevel[band]; }
  // The band ceiling R_m of the current block.
  float ceiling(int band) const { return fBlock.ceiling[band]; }

 private:
  static constexpr int kStep = kLaneWidth<V>;
  static constexpr int kBandLanes = roundUpToLanes<V>(kBandCount);  // band lanes, padded
  // Component lanes: the sum lanes, then the difference lanes, both halves
  // as short as whole V allow. Eight lanes take the 24 components in three
  // groups, one of them half sum, half difference, rather than in four.
  static constexpr int kLanes = roundUpToLanes<V>(2 * kBandCount);
  static constexpr int kDiffLane = kLanes / 2;  // first difference lane
  // A row of component lanes is also read a band lane group at a time, the
  // sum lanes from b on and the difference lanes from kDiffLane + b on: its
  // length, the lanes past kLanes kept 0.
  static constexpr int kRowLanes = std::max(kLanes, roundUpToLanes<V>(kDiffLane + kBandLanes));
  static constexpr int kSections = 4;  // highpass, highpass, lowpass, lowpass
  static_assert(kBandLanes <= kBandSlots && kDiffLane >= kBandCount);

  // Samples per pass (see processPiece).
  static constexpr int kPiece = 32;
  void processPiece(int count, std::uint32_t n, const float* x, const float* d, BandOutputs* out);

  // The values passed between the passes of a piece, one row per sample.
  using LaneRows = float[kPiece][kRowLanes];
  // The held level of every band lane, then the peak.
  using LevelRows = float[kPiece][2 * kBandLanes];
  // The edge sections' coefficients of the components in one lane group.
  struct EdgeSections;
  // The same for every component lane (each band's twice), set with the rate.
  struct ComponentSections {
    alignas(kLaneAlign) float lowA1[kLanes];
    alignas(kLaneAlign) float lowA2[kLanes];
    alignas(kLaneAlign) float lowG[kLanes];
    alignas(kLaneAlign) float lowKSquared[kLanes];
    alignas(kLaneAlign) float lowMinusTwoKSquared[kLanes];
    alignas(kLaneAlign) float highA1[kLanes];
    alignas(kLaneAlign) float highA2[kLanes];
    alignas(kLaneAlign) float highG[kLanes];
  };
  // The fast (0.25 s) and slow (5 s) followers of every band run side by
  // side as the components do: the fast one of band m in lane m, on the
  // held level, the slow one in lane kDiffLane + m, on the peak. Their
  // constants, lane by lane, set with the rate.
  struct FollowerConstants {
    alignas(kLaneAlign) float releaseInput[kLanes];  // q of the release state
    alignas(kLaneAlign) float releasePole[kLanes];   // p of the release state
    alignas(kLaneAlign) float smoothInput[kLanes];   // q of the envelope smoothing
    alignas(kLaneAlign) float smoothPole[kLanes];    // p of the envelope smoothing
    ReleaseFactorRows<kLanes> release;
  };
  void spreadOverLanes();
  // The constants of the envelopes and gains, taken into locals.
  struct GainConstants;

  // The finite check: the generic form asks one value at a time, and serves
  // one lane; wide lanes ask whole rows.
  template <class W>
  bool stateFinite(W) const;
  template <class W>
    requires(kLaneWidth<W> > 1)
  bool stateFinite(W) const;

  // The passes of a piece, in signal order.
  unsigned filterBands(int count, std::uint32_t n, const float* x, const float* d,
                       LaneRows& bandValue);
  void quadratureMagnitudes(int count, const LaneRows& bandValue, LaneRows& magnitude);
  void peakAndHold(int count, std::uint32_t n, const LaneRows& magnitude, LevelRows& levels);
  void envelopesAndGains(int count, std::uint32_t n, const LevelRows& levels, BandOutputs* out);
  // Their steps.
  static V filterComponents(V y, const EdgeSections& c, float (&older)[kSections][kLanes],
                            const float (&newer)[kSections][kLanes], int lane);
  // Where the hold blocks stand (wide lanes): the position in the current
  // block, for how many samples no entry has been NaN, and whether none of
  // the current sample's entries so far is.
  struct HoldCount {
    int position;
    int numbers;
    bool numbersNow;
  };
  // The held level: the generic form reads the window, and serves one lane;
  // wide lanes use the blocks.
  template <class W>
  V heldMaximum(int b, V entry, const float* holdNow, HoldCount& hold, W);
  template <class W>
    requires(kLaneWidth<W> > 1)
  V heldMaximum(int b, V entry, const float* holdNow, HoldCount& hold, W);
  template <class W>
  static void countHold(HoldCount& hold, W);
  template <class W>
    requires(kLaneWidth<W> > 1)
  static void countHold(HoldCount& hold, W);
  V holdBlocksMaximum(int b, int position, V entry, const float* holdNow);
  void followers(const float* levels, ReleaseStep<V>* step, const GainConstants& k);
  V bandGain(int b, V peak, const GainConstants& k);
  // The release factors of the follower lanes from `lane` on: one follower's
  // own on one lane, the lanes' rows on several.
  const ReleaseFactor& releaseFactors(int lane, float) const {
    return lane < kDiffLane ? fRate.fastRelease : fRate.slowRelease;
  }
  template <class W>
  ReleaseFactorLanes<V> releaseFactors(int lane, W) const {
    return fFollowers.release.template at<V>(lane);
  }
  void delayGainedBands(std::uint32_t at, const float* gain, BandOutputs& o);

  // 1 in the lanes of the bands, 0 in the padding.
  alignas(kLaneAlign) static constexpr std::array<float, kBandLanes> kBandLanesInUse =
      bandLaneMask<kBandLanes>(0, kBandCount);
  // The same over both components' lanes.
  alignas(kLaneAlign) static constexpr std::array<float, kLanes> kComponentLanesInUse =
      componentLaneMask<kLanes>(kDiffLane, 0, kBandCount);
  // Whether every lane from `lane` on belongs to a band.
  static constexpr bool lanesAllInUse(int lane) {
    for (int k = lane; k < lane + kStep; ++k) {
      if (!(kComponentLanesInUse[k] > 0.0f)) return false;
    }
    return true;
  }
  // 1 in the difference lanes, and the mask of those from `lane` on.
  alignas(kLaneAlign) static constexpr std::array<float, kLanes> kDifferenceLanes =
      bandLaneMask<kLanes>(kDiffLane, kLanes);
  static auto differenceLanes(int lane) {
    return greater(load<V>(kDifferenceLanes.data() + lane), splat<V>(0.0f));
  }

  struct State {
    // Section recursion values of the last two samples: row `parity` holds
    // the older one (w2) and receives the current w, row parity ^ 1 holds w1.
    alignas(kLaneAlign) float filterW[2][kSections][kLanes];
    unsigned parity;  // flips every sample
    LaneRing<256, kRowLanes> bandRing;  // raw band numerators u, by sample
    QuadratureLanes<kLanes> pairs;
    MirroredLaneRing<64, kBandLanes> hold;  // max(M, Tq), by sample
    // The hold window in blocks of its own length (wide lanes): the maxima
    // of the entries from each position of the last whole block to its end
    // (and 0 after the end), the maximum of the current block so far, the
    // position in it, and for how many samples (up to the window's length)
    // no entry has been NaN.
    alignas(kLaneAlign) float holdBlockTail[kHoldWindow + 1][kBandLanes];
    alignas(kLaneAlign) float holdBlockHead[kBandLanes];
    int holdPosition;
    int holdNumbers;
    // The fast and slow followers' release states, peaks and envelopes.
    alignas(kLaneAlign) float followerRelease[kLanes];
    alignas(kLaneAlign) float followerPeak[kLanes];
    alignas(kLaneAlign) float followerEnvelope[kRowLanes];
    alignas(kLaneAlign) float numeratorPeak[kBandLanes];
    alignas(kLaneAlign) float numerator[kBandLanes];
    alignas(kLaneAlign) float gain[kBandLanes];
    alignas(kLaneAlign) float peakMagnitude[kBandLanes];
    alignas(kLaneAlign) float heldLevel[kBandLanes];
    // Gained bands, by sample: a + b in the first kBandLanes lanes, a - b in
    // the next (the mono bands' difference lanes are never read).
    LaneRing<4096, 2 * kBandLanes> line;
  };

  BandRateDesign fRate;
  ComponentSections fSections;
  FollowerConstants fFollowers;
  BandBlockValues fBlock;
  State fState;
};

#define VARDO_DECLARE_BAND_EQUALISER(V) extern template class BandEqualiser<V>;
VARDO_LANE_TYPES(VARDO_DECLARE_BAND_EQUALISER)
#undef VARDO_DECLARE_BAND_EQUALISER

}  // namespace vardo
