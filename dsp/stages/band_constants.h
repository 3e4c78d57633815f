// Per-band constants of the automatic equaliser and the stereo width stage,
// and what the one hands to the other.
#pragma once

#include <algorithm>
#include <array>

#include "math/float_math.h"
#include "primitives/control_fields.h"
#include "primitives/sample_rate.h"
#include "simd/lanes.h"

namespace vardo {

constexpr int kBandCount = 12;
constexpr int kMonoBandCount = 2;  // bands 0 and 1 stay mono
constexpr int kBandEdgeCount = kBandCount + 1;
// Per-band arrays shared by every lane type hold this many entries: the
// bands padded to the widest lane type. The entries past kBandCount are
// lanes that run along on zero coefficients and are never read.
constexpr int kBandSlots = roundUp(kBandCount, kWidestLane);

// Lower and upper edge of every band in Hz (band m spans edges m and m + 1).
constexpr float kBandEdgeHz[kBandEdgeCount] = {20.0f,   80.0f,   200.0f,  300.0f,  450.0f,
                                               675.0f,  1012.0f, 1518.0f, 2278.0f, 3417.0f,
                                               5125.0f, 7688.0f, 15000.0f};

// Samples between the level measurement and the band signal its gain multiplies.
constexpr int kBandLookAhead = 132;
// Samples between a gained band value and its read-out from the band delay lines.
constexpr int kBandLineDelay = 2048;
// Length of the hold window over the peak magnitude.
constexpr int kHoldWindow = 44;

// What the bands hand to the stereo width stage for one sample, indexed by
// band; each row starts a cache line, so whole lanes load without a split.
struct alignas(kLaneAlign) BandOutputs {
  float gained[kBandSlots] = {};      // a_m: gained component of the sum input
  float gainedDiff[kBandSlots] = {};  // b_m: gained component of the difference input
  float sumOut[kBandSlots] = {};      // P_m: delayed sum line (bands 0, 1: their mono line)
  float diffOut[kBandSlots] = {};     // Q'_m: delayed difference line (read for bands 2 ... 11)
  float mono = 0.0f;                  // L01: delayed mono read-out of bands 0 and 1
};
static_assert(sizeof(float) * kBandSlots % kLaneAlign == 0);

// 1 in the lanes of bands first ... last - 1 of a row of Lanes band lanes,
// 0 elsewhere: a mask for the lanes a stage keeps.
template <int Lanes>
constexpr std::array<float, Lanes> bandLaneMask(int first, int last) {
  std::array<float, Lanes> lanes{};
  for (int m = first; m < last; ++m) lanes[m] = 1.0f;
  return lanes;
}

// The same for lanes holding two components of each band, the second's
// from lane `second` on.
template <int Lanes>
constexpr std::array<float, Lanes> componentLaneMask(int second, int first, int last) {
  std::array<float, Lanes> lanes{};
  for (int m = first; m < last; ++m) lanes[m] = lanes[second + m] = 1.0f;
  return lanes;
}

// Damping of every band-edge section: second-order Butterworth.
constexpr float kBandEdgeDamping = 1.4142135f;

// Output weight c_m of every band before the upper-edge normalisation. Band
// 10 (5125 ... 7688 Hz) sits a tenth (20 dB) below its neighbours.
constexpr float kBandWeight[kBandCount] = {
    0.0891251f,   0.061095733f, 0.04066836f,  0.05023413f,  0.04823413f, 0.04623413f,
    0.044234134f, 0.049095735f, 0.047095735f, 0.045095734f, 0.005118864f, 0.04879458f};

// Rate of the numerator peak follower: 2^m + 1 per second, faster for higher bands.
constexpr float kNumeratorRate[kBandCount] = {2.0f,   3.0f,   5.0f,   9.0f,   17.0f,   33.0f,
                                                  65.0f,  129.0f, 257.0f, 513.0f, 1025.0f, 2049.0f};

// Even bands are inverted, odd bands pass with their own polarity.
constexpr float bandSign(int m) { return (m % 2 == 0) ? -1.0f : 1.0f; }

// Stereo width: lowest upper level (keeps the gate defined in silence).
constexpr float kUpperLevelFloor = 1.5848931e-5f;
// Stereo width: lowest lower level, the divisor of the level ratio.
constexpr float kLowerLevelFloor = 0.0031622776f;
// Stereo width: upper levels from 1/1000 up open the gate fully.
constexpr float kGateScale = 1000.0f;
// Stereo width: loudness raise per unit of unused width limit.
constexpr float kUnusedLimitRaise = 0.414f;

// Pole factors of the band level followers, set with the sample rate.
struct BandPoles {
  PoleFactor riseDecay;        // p(2): fast release state
  PoleFactor slowRiseDecay;    // p(0.1): slow release state
  PoleFactor fastSmooth;       // p(66.666664): fast envelope smoothing
  PoleFactor numeratorSmooth;  // p(33.333332): numerator smoothing
};

inline BandPoles bandPoles(const SampleRate& rate) {
  return {rate.poleFactor(2.0f), rate.poleFactor(0.1f), rate.poleFactor(66.666664f),
          rate.poleFactor(33.333332f)};
}

// Band gain limits, read from the controls at every block start.
struct BandBlockValues {
  float ceiling[kBandSlots] = {};  // R_m
  float threshold = 0.0f;     // Tq: lowest level the hold reports
  float densityLimit = 0.0f;  // rho: share of the slow envelope that caps the gain
};

inline BandBlockValues bandBlockValues(const ControlFields& controls) {
  BandBlockValues v;
  // The ceilings step down by 5 in linear gain per band, not in decibels.
  const float g = dbToLinear(controls.noisegateGain);
  v.ceiling[0] = std::max(g, kFloor90dB);
  for (int m = 1; m < kBandCount; ++m)
    v.ceiling[m] = std::max(g - 5.0f * static_cast<float>(m), kFloor90dB);
  v.threshold = dbToLinear(controls.autoEqThreshold);
  v.densityLimit = dbToLinear(controls.autoEqDensityLimit);
  return v;
}

// Pole factors and the 10 Hz first-order lowpass of the width stage.
struct WidthPoles {
  PoleFactor riseDecay;       // p(16.666666): component release state
  PoleFactor envelopeSmooth;  // p(1000): component envelope smoothing
  PoleFactor levelRelease;    // p(2.5): upper and lower level release
  PoleFactor levelSmooth;     // p(33.333332): upper and lower level smoothing
  float lowpassFeedback = 0.0f;  // 1 - Y of the 10 Hz first-order lowpass
  float lowpassScale = 0.0f;     // 1 / (1 + Y)
};

inline WidthPoles widthPoles(const SampleRate& rate) {
  WidthPoles p;
  p.riseDecay = rate.poleFactor(16.666666f);
  p.envelopeSmooth = rate.poleFactor(1000.0f);
  p.levelRelease = rate.poleFactor(2.5f);
  p.levelSmooth = rate.poleFactor(33.333332f);
  const float y = rate.kFixed(10.0f);
  p.lowpassFeedback = 1.0f - y;
  p.lowpassScale = 1.0f / (1.0f + y);
  return p;
}

// Width limit, side gain trim and offset, read at every block start.
struct WidthBlockValues {
  float limit = 0.0f;   // B: the width limit
  float trim = 0.0f;    // Trim: side gain scale
  float offset = 0.0f;  // subtracted from the level ratio before the tangent
};

inline WidthBlockValues widthBlockValues(const ControlFields& controls) {
  WidthBlockValues v;
  v.limit = 0.01f * controls.expanderLimitPercent;
  v.trim = dbToLinear(controls.expanderGainTrim + 10.0f);
  v.offset = controls.expanderOffset;
  return v;
}

}  // namespace vardo
