// Look-ahead level normaliser with the treble-driven first noise-reduction
// lowpass; also computes the corner of the second noise-reduction lowpass.
#pragma once

#include <cstdint>

#include "primitives/control_fields.h"
#include "primitives/primitives.h"
#include "primitives/sample_rate.h"

namespace vardo {

// Coefficient terms of the second noise-reduction lowpass for the current sample.
struct SecondCorner {
  float k = 0.0f;          // 1 / tan(pi f2 / fs)
  float oneMinusK = 0.0f;  // 1 - k
  float kPlusOne = 0.0f;   // k + 1
};

// Set with the sample rate.
struct NormaliserRateDesign {
  SampleRate rate;
  float attack = 0.0f;               // exp(-500 / fs), 2 ms
  float release = 0.0f;              // exp(-2 / fs), 0.5 s
  FirstOrderCoeffs trebleHighpass;   // 1000 Hz
  SectionCoeffs smooth10;            // Butterworth lowpass at 10 Hz
  SectionCoeffs smooth100;           // Butterworth lowpass at 100 Hz
  // W = 500 / a0 of the 100 Hz detector section: treble level per raw numerator.
  float levelScale = 0.0f;
};

// Set per block from the noise-reduction controls.
struct NormaliserBlockDesign {
  float firstScale = 0.0f;     // W * "DNR Sensitivity"
  float secondScale = 0.0f;    // "DNR2 Sensitivity" * W
  float disableCorner = 0.0f;  // 22000 when "DNR LPF Disable" is on, else 0
};

NormaliserRateDesign designNormaliserRate(const SampleRate& rate);
NormaliserBlockDesign designNormaliserBlock(const ControlFields& controls,
                                            const NormaliserRateDesign& rateDesign);

class LevelNormaliser {
 public:
  // The envelope looks at the newest band-limited sample and at the one this
  // many samples older, which is the one it divides.
  static constexpr std::uint32_t kLookAhead = 221;
  // The noise-reduction lowpass runs this many samples behind the treble detector.
  static constexpr std::uint32_t kLowpassLag = 125;

  void setRate(const SampleRate& rate) {
    fRate = designNormaliserRate(rate);
    forgetCorners();
  }
  void prepareBlock(const ControlFields& controls, const SampleRate&) {
    fBlock = designNormaliserBlock(controls, fRate);
    forgetCorners();
  }
  void clear();
  // False once any value of the signal state is infinite or NaN. (The
  // band-limited history only holds the input filters' outputs.)
  bool stateFinite() const { return floatsFinite(fState); }
  // Takes the band-limited signal of count samples (counters n ... n + count
  // - 1) and writes the normalised, noise-reduced signal o and the second
  // noise-reduction corner of each.
  void processRun(int count, std::uint32_t n, const float* filtered, float* out,
                  SecondCorner* corner);
  const SecondCorner& secondCorner() const { return fSecond; }

  // Read-only views of the current sample's internal values.
  float envelope() const { return fState.recursions.envelope.y1; }
  float divisor() const { return fDivisor; }
  float firstCornerHz() const { return fFirstCornerHz; }
  float secondCornerHz() const { return fSecondCornerHz; }
  // W = 500 / a0 of the 100 Hz detector section: treble level per raw numerator.
  float levelScale() const { return fRate.levelScale; }

 private:
  // The next samples compute both corners' coefficients afresh.
  void forgetCorners() {
    fState.recursions.firstCornerHz = -1.0f;
    fState.recursions.secondCornerHz = -1.0f;
  }
  // Samples per pass of a run (see processPiece).
  static constexpr int kPiece = 64;
  void processPiece(int count, std::uint32_t n, const float* filtered, float* out,
                    SecondCorner* corner);
  struct Detected;
  struct Recursions;
  Detected detect(Recursions& s, const NormaliserRateDesign& rd, const NormaliserBlockDesign& bd,
                  std::uint32_t at, float x);

  NormaliserRateDesign fRate;
  NormaliserBlockDesign fBlock;

  // Signal state.
  RingDelay<256> fHistory;  // the band-limited signal
  // The values each sample carries to the next; a run keeps them in locals.
  struct Recursions {
    AttackReleaseFollower envelope;  // E
    float trebleHighpassOut = 0.0f;  // u'
    SectionState smooth10;
    SectionState smooth100;
    float lowpassOut = 0.0f;         // z'
    // The corners whose coefficients are current (none after clearing), and
    // the first lowpass's K; the second corner's terms are in fSecond.
    float firstCornerHz = -1.0f;
    float firstK = 0.0f;
    float secondCornerHz = -1.0f;
  };
  struct State {
    Recursions recursions;
    RingDelay<128> normalised;  // N
  };
  State fState;

  // Outputs of the latest sample.
  SecondCorner fSecond;
  float fDivisor = 0.0f;
  float fFirstCornerHz = 0.0f;
  float fSecondCornerHz = 0.0f;
};

}  // namespace vardo
