// The bandwidth expansion of both channels at once, in two lanes of one
// register: channel A in lane 0, channel B in lane 1 (lanes 2 and 3 run along
// on silence). The channels share every coefficient, so each step of
// BandwidthExpander::process becomes one lane-wise operation with the same
// operands in the same order, and each lane gives bit for bit the plain
// stage's value. The coefficients come from BandwidthExpander's own design.
#pragma once

#include "../controls.h"
#include "../float4.h"
#include "../sample_rate.h"
#include "bandwidth_expander.h"

namespace vardo {

class BandwidthExpanderPair {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fState); }
  // Takes the channel sums of count samples and returns each, two samples
  // late, with its synthesised high band added.
  void process(const float* sumA, const float* sumB, float* outA, float* outB, int count);

  // Coefficients and state of one second-order section, both lanes.
  struct Poles4 {
    Float4 g, a1, a2;
  };
  struct Section4 {
    Float4 w1, w2;
  };

 private:
  static constexpr int kSections = BandwidthExpander::kOrder12Sections;
  // Longest run processed in one go; longer ones are taken in pieces.
  static constexpr int kMaxRun = 128;

  void processRun(const float* sumA, const float* sumB, float* outA, float* outB, int count);
  // Node histories of a four-section allpass chain: node 0 is the input.
  struct Chain4 {
    Float4 one[5];
    Float4 two[5];
  };

  void loadCoefficients();

  BandwidthExpander fDesign;  // coefficient design only; its signal state stays unused

  struct Coefficients {
    Poles4 bandHighpass;
    Float4 bandHighpassK2, bandHighpassMinus2K2;
    Poles4 cornerLowpass[kSections];
    Poles4 envelopeLowpass;
    Float4 expansionGain;
    Poles4 cornerHighpass[kSections];
    Float4 cornerHighpassK2, cornerHighpassMinus2K2;
    Poles4 lift;
    Float4 liftB0, liftB2;
  } fCoeffs{};

  struct State {
    Section4 bandHighpass;
    Section4 cornerLowpass[kSections];
    Chain4 quadratureA;
    Chain4 quadratureB;
    Float4 branchA[3];
    Float4 branchB[2];
    Float4 magnitude[4];
    Section4 envelope;
    Section4 cornerHighpass[kSections];
    Section4 lift;
    Float4 sum[2];
  } fState{};

  // Scratch: the run's inputs and the values passed between its passes.
  struct Run {
    Float4 in[kMaxRun];
    Float4 value[kMaxRun];
  } fRun;
};

}  // namespace vardo
