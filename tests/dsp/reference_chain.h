// The restoration chain built from the plain stage classes and run one sample
// at a time through every stage: the reference the DSP's own chain must
// reproduce bit for bit. Same control snapshot per block, same stage order per
// sample, same restart after a block in which a channel signal went non-finite
// or a stage's state did (asked at the end of each of the DSP's runs).
#pragma once

#include <cmath>
#include <cstdint>

#include "controls.h"
#include "mydsp.h"
#include "sample_rate.h"
#include "stages/allpass_dispersion.h"
#include "stages/band_equaliser.h"
#include "stages/bandwidth_expander.h"
#include "stages/input_filters.h"
#include "stages/level_normaliser.h"
#include "stages/output_agc.h"
#include "stages/stereo_width.h"
#include "stages/veze_equaliser.h"

namespace vardo::test {

class ReferenceChain {
 public:
  void initialize(int rate) {
    fRate = SampleRate::fromRate(rate);
    fInputFilters.setRate(fRate);
    fLevelNormaliser.setRate(fRate);
    fEqualiser.setRate(fRate);
    fBands.setRate(fRate);
    fStereoWidth.setRate(fRate);
    fExpanderA.setRate(fRate);
    fExpanderB.setRate(fRate);
    fOutput.setRate(fRate);
    resetControlFields(fControls);
    clear();
  }

  ControlFields& controls() { return fControls; }

  void clear() {
    fSampleCounter = 0;
    fInputFilters.clear();
    fLevelNormaliser.clear();
    fEqualiser.clear();
    fDispersion.clear();
    fBands.clear();
    fStereoWidth.clear();
    fExpanderA.clear();
    fExpanderB.clear();
    fOutput.clear();
  }

  void process(int count, const float* input, float* out0, float* out1) {
    const ControlFields controls = snapshotControls(fControls);
    fInputFilters.prepareBlock(controls, fRate);
    fLevelNormaliser.prepareBlock(controls, fRate);
    fEqualiser.prepareBlock(controls, fRate);
    fBands.prepareBlock(controls, fRate);
    fStereoWidth.prepareBlock(controls, fRate);
    fExpanderA.prepareBlock(controls, fRate);
    fExpanderB.prepareBlock(controls, fRate);
    fOutput.prepareBlock(controls, fRate);

    BandOutputs bands;
    bool chainFinite = true;
    for (int i = 0; i < count; ++i) {
      const std::uint32_t n = fSampleCounter;
      fInputFilters.process(input[i], n);
      const float o = fLevelNormaliser.process(fInputFilters.history(), n);
      const float eq = fEqualiser.process(o);
      const float d = fDispersion.process(eq, n);
      fBands.process(eq, d, n, bands);
      float sumA = 0.0f;
      float sumB = 0.0f;
      fStereoWidth.process(bands, sumA, sumB);
      const float xA = fExpanderA.process(sumA);
      const float xB = fExpanderB.process(sumB);
      chainFinite = chainFinite && std::isfinite(xA) && std::isfinite(xB);
      fOutput.process(xA, xB, fLevelNormaliser.secondCorner(), n, out0[i], out1[i]);
      ++fSampleCounter;
      if ((i + 1) % mydsp::kChunk == 0 || i + 1 == count)
        chainFinite = chainFinite && stagesFinite();
    }
    if (!chainFinite) clear();
  }

 private:
  bool stagesFinite() const {
    return fInputFilters.stateFinite() && fLevelNormaliser.stateFinite() &&
           fEqualiser.stateFinite() && fDispersion.stateFinite() && fBands.stateFinite() &&
           fStereoWidth.stateFinite() && fExpanderA.stateFinite() && fExpanderB.stateFinite() &&
           fOutput.stateFinite();
  }

  SampleRate fRate;
  ControlFields fControls{};
  std::uint32_t fSampleCounter = 0;

  InputFilters fInputFilters;
  LevelNormaliser fLevelNormaliser;
  VezeEqualiser fEqualiser;
  AllpassDispersion fDispersion;
  BandEqualiser fBands;
  StereoWidth fStereoWidth;
  BandwidthExpander fExpanderA;
  BandwidthExpander fExpanderB;
  OutputAgc fOutput;
};

}  // namespace vardo::test
