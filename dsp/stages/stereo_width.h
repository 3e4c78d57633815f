// Per-band stereo width for bands 2 ... 11 and the two channel sums.
//
// Each band compares the envelopes of its two gained components (from the
// sum and from the difference input). The ratio of the upper to the lower
// level, gated towards silence and less an offset, drives a tangent curve
// whose smoothed, trimmed output is the side gain: it mixes the band's
// delayed difference signal into the channels with opposite signs, up to the
// width limit. Whatever the side gain leaves of the limit raises the band in
// both channels by 1 + 0.414 times the remainder. Bands 0 and 1 stay mono.
#pragma once

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"
#include "band_equaliser.h"
#include "band_constants.h"

namespace vardo {

class StereoWidth {
 public:
  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fBands); }
  void process(const BandOutputs& bands, float& sumA, float& sumB);

  // The trimmed side gain kt of band m (2 ... 11) at the latest sample.
  float sideGain(int band) const { return fBands[band - kMonoBandCount].sideGain; }

 private:
  static constexpr int kWidthBandCount = kBandCount - kMonoBandCount;

  struct RateConstants : WidthPoles {
    float period = 0.0f;               // 1 / fs
  };

  // Envelope of one component's quadrature magnitude.
  struct ComponentEnvelope {
    float release = 0.0f;   // s
    float peak = 0.0f;      // pk
    float envelope = 0.0f;  // e
  };

  struct BandState {
    QuadraturePair sumPair;   // fed with a_m
    QuadraturePair diffPair;  // fed with b_m
    ComponentEnvelope sumLevel;
    ComponentEnvelope diffLevel;
    float upperPeak = 0.0f;    // Hp
    float upperLevel = 0.0f;   // Hs
    float lowerPeak = 0.0f;    // Lp
    float lowerLevel = 0.0f;   // Ls
    float gate = 0.0f;         // q of the previous sample
    float gateLowpass = 0.0f;  // gl
    float curve = 0.0f;        // t' of the previous sample
    float sideLowpass = 0.0f;  // ks, before the trim
    float sideGain = 0.0f;     // kt (read-only view)
  };

  float followComponent(ComponentEnvelope& c, float magnitude);
  // Side contribution and band factor of one band; returns F_m and sets side.
  float processBand(BandState& band, float a, float b, float diffOut, float& side);

  RateConstants fRate;
  WidthBlockValues fBlock;
  BandState fBands[kWidthBandCount];
};

}  // namespace vardo
