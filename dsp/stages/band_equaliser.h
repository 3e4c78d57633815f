// Twelve-band automatic equaliser: band level detection on x + d and x - d,
// look-ahead band gains and the 2048-sample band delay lines.
#pragma once

#include <cstdint>

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"

namespace vardo {

constexpr int kBandCount = 12;

// What the bands hand to the stereo width stage for one sample.
struct BandOutputs {
  float mono = 0.0f;                // delayed output of bands 0 and 1
  float gained[kBandCount] = {};    // a_m: gained sum component (bands 2 ... 11)
  float gainedDiff[kBandCount] = {};  // b_m: gained difference component (bands 2 ... 11)
  float sumOut[kBandCount] = {};    // P_m: delayed sum line (bands 2 ... 11)
  float diffOut[kBandCount] = {};   // Q'_m: delayed difference line (bands 2 ... 11)
};

class BandEqualiser {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  void process(float x, float d, std::uint32_t n, BandOutputs& out);
};

}  // namespace vardo
