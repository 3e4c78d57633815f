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
  fExpanders.setRate(fRate);
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
  fExpanders.clear();
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
  fExpanders.prepareBlock(controls, fRate);
  fOutput.prepareBlock(controls, fRate);
  if (count < 1) return;

  const float* input = inputs[0];
  float* out0 = outputs[0];
  float* out1 = outputs[1];
  bool chainFinite = true;
  for (int done = 0; done < count; done += kChunk) {
    const int run = count - done < kChunk ? count - done : kChunk;
    chainFinite = computeChunk(run, input + done, out0 + done, out1 + done) && chainFinite;
  }

  // A filter, follower or envelope that has overflowed would hold its state
  // at infinity or NaN for good: an infinite band envelope, for one, turns its
  // band's gain to 0 while the channel signals stay finite. The output stage
  // keeps the outputs silent meanwhile; starting the chain afresh lets it
  // recover from the next block.
  if (!chainFinite) clearState();
}

bool mydsp::stagesFinite() const {
  return fInputFilters.stateFinite() && fLevelNormaliser.stateFinite() &&
         fEqualiser.stateFinite() && fDispersion.stateFinite() && fBands.stateFinite() &&
         fStereoWidth.stateFinite() && fExpanders.stateFinite() && fOutput.stateFinite();
}

bool mydsp::computeChunk(int count, const float* input, float* out0, float* out1) {
  // Every stage reads only its own state and the values its upstream stages
  // produced for the same sample, so running each stage over the whole run
  // before the next gives the same values as running the chain sample by
  // sample. The run's inputs are all read before any of its outputs is
  // written, so input 0 and output 0 may share a buffer.
  Scratch& s = fScratch;
  const std::uint32_t base = fSampleCounter;

  // The normaliser reads the band-limited history up to 221 samples back,
  // which the filters' 256-slot ring only holds if it is written sample by
  // sample between the normaliser's steps.
  fInputFilters.filterRun(input, s.filtered, count);
  for (int i = 0; i < count; ++i) {
    const std::uint32_t n = base + static_cast<std::uint32_t>(i);
    fInputFilters.recordFiltered(s.filtered[i], n);
    s.normalised[i] = fLevelNormaliser.process(fInputFilters.history(), n);
    s.corner[i] = fLevelNormaliser.secondCorner();
  }
  fEqualiser.processRun(s.normalised, s.equalised, count);
  fDispersion.processRun(s.equalised, s.dispersed, count, base);

  vardo::BandOutputs bands;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t n = base + static_cast<std::uint32_t>(i);
    fBands.process(s.equalised[i], s.dispersed[i], n, bands);
    float sumA = 0.0f;
    float sumB = 0.0f;
    fStereoWidth.process(bands, sumA, sumB);
    s.sumA[i] = sumA;
    s.sumB[i] = sumB;
  }
  fExpanders.process(s.sumA, s.sumB, s.expandedA, s.expandedB, count);

  // Anything that went non-finite anywhere upstream (a host sample so large
  // that a filter state overflows) reaches the channel signals here.
  bool finite = true;
  for (int i = 0; i < count; ++i) {
    finite = finite && std::isfinite(s.expandedA[i]) && std::isfinite(s.expandedB[i]);
  }
  fOutput.processRun(s.expandedA, s.expandedB, s.corner, base, out0, out1, count);
  fSampleCounter = base + static_cast<std::uint32_t>(count);
  // A state can overflow without the channel signals showing it; once per
  // run every stage is asked.
  return finite && stagesFinite();
}
