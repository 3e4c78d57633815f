// What a file holds, measured before rendering it: the programme's upper band
// edge, the noise floor, hum, clipping and DC offset; and the settings
// proposed from those figures (vardo analyse, render --auto, --dehum auto).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio_file.h"
#include "presets.h"

namespace vardo::tools {

struct Analysis {
  int sampleRate = 0;
  double seconds = 0.0;
  // The frequency above which the programme's long-term spectrum no longer
  // stands out of the noise floor (the cut of a lowpassed programme over
  // hiss); the Nyquist frequency for a programme that reaches it.
  double bandEdgeHz = 0.0;
  // Full-band RMS of what is left between phrases, in dBFS (DC removed).
  double noiseFloorDbfs = -200.0;
  // The noise between phrases: the frequency below which 99 % of its power
  // lies, and its tilt (500-2000 Hz over 2-4 kHz per hertz, dB: 0 for white
  // hiss, about 4 for pink noise). They tell the medium.
  double noiseBandwidthHz = 0.0;
  double noiseTiltDb = 0.0;
  // Mains hum: 50 or 60, or 0 when none stands out; the RMS level of its
  // fundamental in dBFS.
  double humHz = 0.0;
  double humDbfs = -200.0;
  double peakDbfs = -200.0;
  // Share of samples in flat runs of three or more of exactly the same value
  // above -12 dBFS, where the waveform was cut off.
  double clippedPercent = 0.0;
  double dcOffset = 0.0;  // mean of the samples, linear
};

// Measures a mono programme at the given sample rate.
Analysis analyseSamples(std::vector<float> mono, int sampleRate);

// Of a file longer than kAnalysisMaxSeconds, the spectra (band edge, noise
// floor, hum) are measured on the middle kAnalysisMaxSeconds; peak, DC
// offset and clipping on all of it.
inline constexpr double kAnalysisMaxSeconds = 300.0;

// Reads the file (mixed to mono or one channel) and measures it. Throws
// ToolError as the renderer's reader does.
Analysis analyseFile(const std::string& path, const ChannelChoice& channel);

// Settings proposed from an analysis: the nearest built-in preset, then the
// lowpass corner and thresholds placed from what was measured, as NAME=VALUE
// lines, and the hum to notch (0 for none). Without a band edge (a programme
// without pauses) no preset and no lines: the defaults.
struct Proposal {
  std::string preset;  // empty: the defaults
  std::vector<PresetLine> lines;  // the preset's values, then the placed ones
  double humHz = 0.0;
  std::string summary() const;  // "tape, Lowpass Filter=4000, ..." for logs
};
Proposal propose(const Analysis& analysis);

std::string analysisText(const std::string& path, const Analysis& analysis,
                         const Proposal& proposal);
// One JSON object ("type": "analysis") with the figures and the proposal.
std::string analysisJson(const std::string& path, const Analysis& analysis,
                         const Proposal& proposal);

}  // namespace vardo::tools
