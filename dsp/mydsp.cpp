#include "mydsp.h"

#include <cmath>

void mydsp::declareControls(UI* builder) { declareControlFields(builder, fControls); }

void mydsp::declareMetadata(MetaTable* collector) { declareMetadataPairs(collector); }

void mydsp::initializeInstance(int rate) {
  computeRateConstants(rate);
  resetControls();
  clearState();
}

void mydsp::computeRateConstants(int rate) {
  fSampleRate = rate;
  fRate = vardo::SampleRate::fromRate(rate);
  fInputFilters.setRate(fRate);
  fLevelNormaliser.setRate(fRate);
  fEqualiser.setRate(fRate);
  fBands.setRate(fRate);
  fStereoWidth.setRate(fRate);
  fExpanderA.setRate(fRate);
  fExpanderB.setRate(fRate);
  fOutput.setRate(fRate);
}

void mydsp::resetControls() { resetControlFields(fControls); }

void mydsp::clearState() {
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

void mydsp::computeBlock(int count, float** inputs, float** outputs) {
  // Controls are read once per block; a change made during a block is seen at the next.
  const ControlFields controls = snapshotControls(fControls);
  fInputFilters.prepareBlock(controls, fRate);
  fLevelNormaliser.prepareBlock(controls, fRate);
  fEqualiser.prepareBlock(controls, fRate);
  fBands.prepareBlock(controls, fRate);
  fStereoWidth.prepareBlock(controls, fRate);
  fExpanderA.prepareBlock(controls, fRate);
  fExpanderB.prepareBlock(controls, fRate);
  fOutput.prepareBlock(controls, fRate);
  if (count < 1) return;

  const float* input = inputs[0];
  float* out0 = outputs[0];
  float* out1 = outputs[1];
  vardo::BandOutputs bands;
  bool chainFinite = true;
  for (int i = 0; i < count; ++i) {
    // Input sample i is read before output sample i is written, so input 0
    // and output 0 may share a buffer.
    const float x = input[i];
    const std::uint32_t n = fSampleCounter;

    fInputFilters.process(x, n);
    const float o = fLevelNormaliser.process(fInputFilters.history(), n);
    const float eq = fEqualiser.process(o);
    const float d = fDispersion.process(eq, n);
    fBands.process(eq, d, n, bands);
    float sumA = 0.0f;
    float sumB = 0.0f;
    fStereoWidth.process(bands, sumA, sumB);
    const float xA = fExpanderA.process(sumA);
    const float xB = fExpanderB.process(sumB);
    // Anything that went non-finite anywhere upstream (a host sample so large
    // that a filter state overflows) reaches the channel signals here.
    chainFinite = chainFinite && std::isfinite(xA) && std::isfinite(xB);
    fOutput.process(xA, xB, fLevelNormaliser.secondCorner(), n, out0[i], out1[i]);

    ++fSampleCounter;
  }

  // A filter or follower that has overflowed would hold its state at
  // infinity or NaN for good. The output stage keeps the outputs silent
  // meanwhile; starting the chain afresh lets it recover from the next block.
  if (!chainFinite) clearState();
}
