// Bandwidth expansion of one channel: squares the analytic signal of the band
// between 5 kHz and the lowpass corner to synthesise content above it.
#pragma once

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"

namespace vardo {

class BandwidthExpander {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fState); }
  // Takes the channel sum s and returns it, two samples late, with the
  // synthesised high band added.
  float process(float s);

  static constexpr int kOrder12Sections = 6;
  // Twelfth-order Butterworth dampings, widest first.
  static constexpr float kDampings[kOrder12Sections] = {1.9828898f, 1.847759f,  1.5867066f,
                                                        1.2175229f, 0.76536685f, 0.26105237f};

 private:
  // The two-channel version designs its coefficients through this class.
  friend class BandwidthExpanderPair;

  // Rate constants: the 5 kHz highpass and the 100 Hz envelope lowpass.
  SectionCoeffs fBandHighpass;
  float fBandHighpassK2 = 0.0f;
  float fBandHighpassMinus2K2 = 0.0f;
  SectionCoeffs fEnvelopeLowpass;
  float fEnvelopeA0 = 0.0f;  // a0 of the 100 Hz section; the envelope is its raw numerator
  float fPeakBandwidthDen = 0.0f;  // pi * 4000 / fs
  float fPeakBandwidthNum = 0.0f;  // pi * 4000 * 10^(6/20) / fs

  // Per-block coefficients from the lowpass corner and the expansion level.
  SectionCoeffs fCornerLowpass[kOrder12Sections];
  SectionCoeffs fCornerHighpass[kOrder12Sections];
  float fCornerHighpassK2 = 0.0f;
  float fCornerHighpassMinus2K2 = 0.0f;
  SectionCoeffs fLift;  // peaking section at the corner + 400 Hz, +6 dB
  float fLiftB0 = 0.0f;
  float fLiftB2 = 0.0f;
  float fExpansionGain = 0.0f;

  // Signal state.
  struct State {
    SectionState bandHighpass;
    SectionState cornerLowpass[kOrder12Sections];
    QuadraturePair quadrature;
    float branchA[3] = {};    // branch A output 1, 2 and 3 samples back
    float branchB[2] = {};    // branch B output 1 and 2 samples back
    float magnitude[4] = {};  // analytic magnitude 1 ... 4 samples back
    SectionState envelope;
    SectionState cornerHighpass[kOrder12Sections];
    SectionState lift;
    float sum[2] = {};  // channel sum 1 and 2 samples back
  } fState;
};

}  // namespace vardo
