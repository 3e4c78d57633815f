// The values of the thirteen controls as the stages read them, once at the
// start of every block. The frame declares them to the host and keeps their
// defaults (frame/controls.h).
#pragma once

// One 32-bit float per control, in host parameter order. The shell writes the
// fields through the addresses handed over by declareControlFields.
struct ControlFields {
  float lowpassFilter;            // Hz, corner of the input lowpass
  float disableVezeEq;            // on/off, bypasses the fixed equaliser from 0.5 up
  float autoEqThreshold;          // dB, floor of the band level detectors
  float autoEqDensityLimit;       // dB, density limit of the band gains
  float noisegateGain;            // dB, ceiling of the band gains
  float expanderGainTrim;         // dB, side gain trim
  float expanderLimitPercent;     // %, stereo width limit
  float expanderOffset;           // offset before the side-gain curve
  float outputAgcThreshold;       // dB, output gain control target
  float bandwidthExpansionLevel;  // dB, level of the synthesised high band
  float dnrSensitivity;           // x, first noise-reduction corner scale
  float dnr2Sensitivity;          // x, second noise-reduction corner scale
  float dnrLpfDisable;            // on/off, opens both noise-reduction lowpasses above 0.5
};

constexpr int kControlCount = 13;
static_assert(sizeof(ControlFields) == kControlCount * sizeof(float));
