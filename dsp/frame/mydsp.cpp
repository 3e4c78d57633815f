#include "frame/mydsp.h"

void mydsp::declareControls(UI* builder) { declareControlFields(builder, fControls); }

void mydsp::declareMetadata(MetaTable* collector) { declareMetadataPairs(collector); }

void mydsp::initializeInstance(int rate) {
  computeRateConstants(rate);
  resetControls();
  clearState();
}

void mydsp::computeRateConstants(int rate) {
  fSampleRate = rate;
  fChain->setRate(vardo::SampleRate::fromRate(rate));
}

void mydsp::resetControls() { resetControlFields(fControls); }

void mydsp::clearState() { fChain->clear(); }

void mydsp::computeBlock(int count, float** inputs, float** outputs) {
  // Controls are read once per block; a change made during a block is seen at the next.
  const ControlFields controls = snapshotControls(fControls);
  if (count < 1) {
    fChain->processBlock(controls, 0, nullptr, nullptr, nullptr);  // the per-block values only
    return;
  }
  fChain->processBlock(controls, count, inputs[0], outputs[0], outputs[1]);
}
