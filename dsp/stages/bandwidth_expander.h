// Bandwidth expansion of channels A and B: squares the analytic signal of the
// band between 5 kHz and the lowpass corner to synthesise content above it,
// and adds it to the channel sum two samples late.
//
// The two channels share every coefficient and run as lanes of the kernel's
// lane type V: channel A in lane 0, channel B in lane 1, and any further
// lanes of V on silence.
#pragma once

#include <cstdint>
#include <type_traits>

#include "primitives/control_fields.h"
#include "primitives/fresh_pages.h"
#include "primitives/primitives.h"
#include "primitives/sample_rate.h"
#include "simd/lane_types.h"
#include "simd/lanes.h"

namespace vardo {

constexpr int kExpanderSections = 6;  // twelfth-order Butterworth: six sections
// Twelfth-order Butterworth dampings, widest first.
constexpr float kExpanderDampings[kExpanderSections] = {1.9828898f, 1.847759f,  1.5867066f,
                                                        1.2175229f, 0.76536685f, 0.26105237f};
// The channel sum leaves the stage this many samples late.
constexpr int kExpanderDelay = 2;

// Set with the sample rate: the 5 kHz highpass that isolates the band, the
// 100 Hz envelope lowpass and the bandwidth terms of the lift.
struct ExpanderRateDesign {
  SectionCoeffs bandHighpass;
  float bandHighpassK2 = 0.0f;
  float bandHighpassMinus2K2 = 0.0f;
  SectionCoeffs envelopeLowpass;
  float envelopeA0 = 0.0f;         // a0 of the 100 Hz section; the envelope is its raw numerator
  float peakBandwidthDen = 0.0f;   // pi * 4000 / fs
  float peakBandwidthNum = 0.0f;   // pi * 4000 * 10^(6/20) / fs
};

// Set per block from the lowpass corner and the expansion level.
struct ExpanderBlockDesign {
  SectionCoeffs cornerLowpass[kExpanderSections];
  SectionCoeffs cornerHighpass[kExpanderSections];
  float cornerHighpassK2 = 0.0f;
  float cornerHighpassMinus2K2 = 0.0f;
  SectionCoeffs lift;  // peaking section at the corner + 400 Hz, +6 dB; b1 = a1
  float liftB0 = 0.0f;
  float liftB2 = 0.0f;
  float expansionGain = 0.0f;
};

ExpanderRateDesign designExpanderRate(const SampleRate& rate);
ExpanderBlockDesign designExpanderBlock(const ControlFields& controls, const SampleRate& rate,
                                        const ExpanderRateDesign& rateDesign);

template <class V>
class BandwidthExpander {
 public:
  // Silent: every state value zero, and the run buffers too (their unused
  // lanes are carried along).
  BandwidthExpander() : fState{}, fIn{}, fValue{}, fBranch{} {}
  // On fresh zero pages (see fresh_pages.h): nothing is written.
  explicit BandwidthExpander(OnFreshPages) {
    static_assert(std::is_trivially_default_constructible_v<State>);
  }

  void setRate(const SampleRate& rate) { fRate = designExpanderRate(rate); }
  void prepareBlock(const ControlFields& controls, const SampleRate& rate) {
    fBlock = designExpanderBlock(controls, rate, fRate);
  }
  void clear();
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fState); }
  // Takes the channel sums of count samples and returns each, two samples
  // late, with its synthesised high band added.
  void processRun(int count, std::uint32_t n, const float* sumA, const float* sumB, float* outA,
                  float* outB);

 private:
  static constexpr int kChannels = 2;
  static constexpr int kLanes = roundUpToLanes<V>(kChannels);
  static constexpr int kStep = kLaneWidth<V>;
  // Longest run processed in one go; longer ones are taken in pieces.
  static constexpr int kPiece = 128;

  void processPiece(const float* sumA, const float* sumB, float* outA, float* outB, int count);
  // The passes of a piece, in signal order. Those with a four-lane variant
  // take the lane type: the generic form, which also serves the plain-float
  // reference, runs the sections one after another on the lanes from `lane`;
  // the four-lane form fills the lanes the two channels leave free.
  void takeChannels(const float* sumA, const float* sumB, int count);
  template <class W>
  void isolateBand(int lane, int count, W);
  template <class = void>
  void isolateBand(int lane, int count, Float4);
  template <class W>
  void analyticSignal(int lane, int count, W);
  template <class = void>
  void analyticSignal(int lane, int count, Float4);
  void normalisedSquare(int lane, int count);
  template <class W>
  void liftAboveCorner(int lane, int count, W);
  template <class = void>
  void liftAboveCorner(int lane, int count, Float4);
  void giveChannels(float* outA, float* outB, int count) const;

  // Recursion values one and two samples back of a second-order section.
  struct Section {
    float w1[kLanes];
    float w2[kLanes];
  };
  // Node values one and two samples back of one quadrature branch, a
  // four-section allpass chain (node 0 is the branch input).
  struct BranchNodes {
    float one[5][kLanes];
    float two[5][kLanes];
  };
  struct State {
    Section bandHighpass;
    Section cornerLowpass[kExpanderSections];
    BranchNodes quadratureA;
    BranchNodes quadratureB;
    float branchA[3][kLanes];    // branch A output 1, 2 and 3 samples back
    float branchB[2][kLanes];    // branch B output 1 and 2 samples back
    float magnitude[4][kLanes];  // analytic magnitude 1 ... 4 samples back
    Section envelope;
    Section cornerHighpass[kExpanderSections];
    Section lift;
    float sum[2][kLanes];  // channel sum 1 and 2 samples back
  };

  ExpanderRateDesign fRate;
  ExpanderBlockDesign fBlock;
  State fState;
  // The run's inputs, and the values passed between its passes.
  alignas(kLaneAlign) float fIn[kPiece][kLanes];
  alignas(kLaneAlign) float fValue[kPiece][kLanes];
  alignas(kLaneAlign) float fBranch[kPiece][2][kLanes];  // the two allpass branches' outputs
};

#define VARDO_DECLARE_BANDWIDTH_EXPANDER(V) extern template class BandwidthExpander<V>;
VARDO_NARROW_LANE_TYPES(VARDO_DECLARE_BANDWIDTH_EXPANDER)
#undef VARDO_DECLARE_BANDWIDTH_EXPANDER

}  // namespace vardo
