// The Vardo DSP: one mono input (input 1 is declared but never read), two
// outputs, thirteen controls, and the restoration chain run stage by stage
// over runs of up to kChunk samples.
#pragma once

#include <cstdint>

#include "controls.h"
#include "dsp.h"
#include "sample_rate.h"
#include "stages/allpass_dispersion.h"
#include "stages/band_equaliser.h"
#include "stages/fast_band_equaliser.h"
#include "stages/fast_stereo_width.h"
#include "stages/bandwidth_expander_pair.h"
#include "stages/input_filters.h"
#include "stages/level_normaliser.h"
#include "stages/output_agc.h"
#include "stages/stereo_width.h"
#include "stages/veze_equaliser.h"

class mydsp : public dsp {
 public:
  int inputCount() override { return 2; }
  int outputCount() override { return 2; }
  void declareControls(UI* builder) override;
  int sampleRate() override { return fSampleRate; }
  void initialize(int rate) override { initializeInstance(rate); }
  void initializeInstance(int rate) override;
  void computeRateConstants(int rate) override;
  void resetControls() override;
  void clearState() override;
  dsp* cloneFresh() override { return new mydsp(); }
  void declareMetadata(MetaTable* collector) override;
  void computeBlock(int count, float** inputs, float** outputs) override;
  void computeBlockAt(double, int count, float** inputs, float** outputs) override {
    computeBlock(count, inputs, outputs);
  }
  int inputRate(int channel) override { return channel == 0 ? 1 : channel == 1 ? 0 : -1; }
  int outputRate(int channel) override { return channel == 0 || channel == 1 ? 1 : -1; }

  // Read access for tests and tools.
  const ControlFields& controls() const { return fControls; }
  const vardo::SampleRate& rate() const { return fRate; }
  std::uint32_t sampleCounter() const { return fSampleCounter; }

  // Longest run of samples each stage processes before the next stage takes it.
  static constexpr int kChunk = 128;

 private:
  // Runs the chain over count (1 ... kChunk) samples; returns false if a
  // channel signal or a stage's state went non-finite.
  bool computeChunk(int count, const float* input, float* out0, float* out1);
  // False once any stage holds an infinite or NaN state value.
  bool stagesFinite() const;

  int fSampleRate = 0;
  vardo::SampleRate fRate;
  ControlFields fControls{};
  std::uint32_t fSampleCounter = 0;

  // The chain, in signal order.
  vardo::InputFilters fInputFilters;
  vardo::LevelNormaliser fLevelNormaliser;
  vardo::VezeEqualiser fEqualiser;
  vardo::AllpassDispersion fDispersion;
  // The band stages computed on all bands at once; bit for bit the same as
  // BandEqualiser and StereoWidth, which stay as their plain reference.
  vardo::FastBandEqualiser fBands;
  vardo::FastStereoWidth fStereoWidth;
  // Channels A and B side by side; bit for bit two BandwidthExpanders.
  vardo::BandwidthExpanderPair fExpanders;
  vardo::OutputAgc fOutput;

  // Per-sample values handed from stage to stage within a run.
  struct Scratch {
    float filtered[kChunk];    // band-limited input
    float normalised[kChunk];  // level normaliser output
    vardo::SecondCorner corner[kChunk];  // second noise-reduction corner at each sample
    float equalised[kChunk];
    float dispersed[kChunk];
    float sumA[kChunk];
    float sumB[kChunk];
    float expandedA[kChunk];
    float expandedB[kChunk];
  };
  static_assert(kChunk <= vardo::AllpassDispersion::kMaxRun);
  Scratch fScratch;
};
