// Per-band constants of the automatic equaliser and the stereo width stage,
// shared by the plain reference stages and their lane-parallel versions.
#pragma once

namespace vardo {

constexpr int kBandCount = 12;

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

}  // namespace vardo
