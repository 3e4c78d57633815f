// Second noise-reduction lowpass and the look-ahead output gain control that
// writes both outputs within -1 dBFS.
#pragma once

#include <cstdint>

#include "level_normaliser.h"
#include "primitives/control_fields.h"
#include "primitives/primitives.h"
#include "primitives/sample_rate.h"

namespace vardo {

// Set with the sample rate: the 50 ms release of the gain envelope, p(20).
struct AgcRateDesign {
  PoleFactor release;
};

AgcRateDesign designAgcRate(const SampleRate& rate);
// Per block: the threshold as a linear level / 1000.
float agcTarget(const ControlFields& controls);

class OutputAgc {
 public:
  void setRate(const SampleRate& rate) { fRate = designAgcRate(rate); }
  void prepareBlock(const ControlFields& controls, const SampleRate&) {
    fTarget = agcTarget(controls);
  }
  void clear() { fState = {}; }
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fState); }
  // Takes the expanded channels of count consecutive samples (counters n
  // ... n + count - 1, one second corner per sample) and writes both
  // outputs. The window maximum and the gain envelope of each sample are
  // worked out a few samples after its lowpass, in the same loop, so that
  // they fill the time the lowpass's division holds up.
  void processRun(int count, std::uint32_t n, const float* xA, const float* xB,
                  const SecondCorner* corner, float* out0, float* out1);

  // Output ceiling: -1 dBFS.
  static constexpr float kCeiling = 0.8912509f;
  // The outputs are the lowpass outputs of this many samples earlier.
  static constexpr std::uint32_t kLookAhead = 132;
  // Peaks of this many most recent samples hold the gain envelope up.
  static constexpr int kPeakWindow = 44;

 private:
  static constexpr int kPiece = 128;
  void processPiece(const float* xA, const float* xB, const SecondCorner* corner,
                    std::uint32_t n, float* out0, float* out1, int count);

  AgcRateDesign fRate;
  float fTarget = 0.0f;

  // Signal state.
  struct State {
    float previousInA = 0.0f;
    float previousInB = 0.0f;
    RingDelay<256> lowpassA;  // lowpass outputs, read 132 samples back
    RingDelay<256> lowpassB;
    float threshold = 0.0f;  // follower gliding to the threshold level
    RingDelay<64> peaks;
    float gain = 0.0f;  // gain envelope
  } fState;
};

}  // namespace vardo
