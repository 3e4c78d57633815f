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
#pragma once

#include <cstdint>

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"
#include "band_constants.h"

namespace vardo {

constexpr int kMonoBandCount = 2;  // bands 0 and 1 stay mono
constexpr int kBandEdgeCount = kBandCount + 1;

// Samples between the level measurement and the band signal its gain multiplies.
constexpr std::uint32_t kBandLookAhead = 132;
// Samples between a gained band value and its read-out from the band delay lines.
constexpr std::uint32_t kBandLineDelay = 2048;
// Length of the hold window over the peak magnitude.
constexpr int kHoldWindow = 44;

// What the bands hand to the stereo width stage for one sample, indexed by band.
struct BandOutputs {
  float mono = 0.0f;                  // L01: delayed mono read-out of bands 0 and 1
  float gained[kBandCount] = {};      // a_m: gained component of the sum input
  float gainedDiff[kBandCount] = {};  // b_m: gained component of the difference input
  float sumOut[kBandCount] = {};      // P_m: delayed sum line (bands 0, 1: their mono line)
  float diffOut[kBandCount] = {};     // Q'_m: delayed difference line (bands 2 ... 11)
};

class BandEqualiser {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // False once a filter, detector or level state is infinite or NaN.
  bool stateFinite() const;
  void process(float x, float d, std::uint32_t n, BandOutputs& out);

  // The gain band m computed at the latest sample.
  float gain(int band) const { return fBands[band].gain; }
  // The peak quadrature magnitude M of band m at the latest sample.
  float level(int band) const { return fBands[band].peakMagnitude; }
  // The held level H of band m (the hold window's maximum) at the latest sample.
  float heldLevel(int band) const { return fBands[band].heldLevel; }
  // The band ceiling R_m of the current block.
  float ceiling(int band) const { return fBlock.ceiling[band]; }

  // Lower and upper edge of every band in Hz (band m spans edges m and m + 1).
  static constexpr float kEdgeHz[kBandEdgeCount] = {20.0f,   80.0f,   200.0f,  300.0f,  450.0f,
                                                    675.0f,  1012.0f, 1518.0f, 2278.0f, 3417.0f,
                                                    5125.0f, 7688.0f, 15000.0f};

 private:
  // Butterworth section (damping 1.4142135) at one band edge; highpass and
  // lowpass share the poles.
  struct EdgeSection {
    SectionCoeffs poles;
    float kSquared = 0.0f;          // highpass numerator K^2
    float minusTwoKSquared = 0.0f;  // highpass numerator -2 K^2
  };

  // Rate constants of one band.
  struct BandConstants {
    float numeratorPole = 0.0f;    // p(2^m + 1)
    float numeratorInput = 0.0f;   // 1 - p(2^m + 1)
    float signedWeight = 0.0f;     // sign times c_m / a0 of the upper edge
  };

  struct RateConstants : BandPoles {
    EdgeSection edge[kBandEdgeCount];
    BandConstants band[kBandCount];
    float period = 0.0f;                        // 1 / fs
  };

  // Signal state of one band.
  struct BandState {
    SectionState sumFilter[4];
    SectionState diffFilter[4];
    Ring<256> sumBand;   // raw band numerator u of S
    Ring<256> diffBand;  // raw band numerator u of D
    QuadraturePair sumPair;
    QuadraturePair diffPair;
    Ring<64> hold;              // max(M, Tq)
    float fastRelease = 0.0f;   // s1
    float fastPeak = 0.0f;      // env
    float fastEnvelope = 0.0f;  // E
    float slowRelease = 0.0f;   // s2
    float slowPeak = 0.0f;      // envb
    float slowEnvelope = 0.0f;  // Eb
    float numeratorPeak = 0.0f; // N1
    float numerator = 0.0f;     // N
    float gain = 0.0f;           // latest gain (read-only view)
    float peakMagnitude = 0.0f;  // latest M (read-only view)
    float heldLevel = 0.0f;      // latest H (read-only view)
    Ring<4096> sumLine;   // a + b (the mono line of bands 0 and 1)
    Ring<4096> diffLine;  // a - b (bands 2 ... 11)
  };

  // Runs one band's filter cascade on `in` and returns the raw numerator u
  // of its last lowpass section.
  float bandNumerator(SectionState (&filter)[4], float in, const EdgeSection& low,
                      const EdgeSection& high) const;
  void processBand(int m, float s, float d, std::uint32_t n, BandOutputs& out);

  RateConstants fRate;
  BandBlockValues fBlock;
  BandState fBands[kBandCount];
};

}  // namespace vardo
