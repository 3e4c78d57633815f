// The Vardo DSP: one mono input (input 1 is declared but never read), two
// outputs, thirteen controls, and the restoration chain run stage by stage
// over runs of up to kRunLength samples.
#pragma once

#include <cstdint>

#include <memory>

#include "chain/lane_sets.h"
#include "frame/controls.h"
#include "frame/dsp.h"
#include "primitives/sample_rate.h"

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
  const vardo::SampleRate& rate() const { return fChain->rate(); }
  std::uint32_t sampleCounter() const { return fChain->sampleCounter(); }

 private:
  int fSampleRate = 0;
  ControlFields fControls{};
  // On the widest lane set the processor runs, chosen when the DSP is made.
  std::unique_ptr<vardo::ChainRunner> fChain = vardo::makeChain(vardo::chosenLaneSet());
};
