// Drives a chain instantiation as the DSP drives its own: control fields
// snapshot once per block, the block in runs. The reference is the
// plain-float instantiation run one sample per run, so that it also checks
// that cutting a block into runs changes nothing.
#pragma once

#include <memory>

#include "chain/chain.h"
#include "controls.h"
#include "primitives/sample_rate.h"

namespace vardo::test {

template <class V>
class ChainDriver {
 public:
  explicit ChainDriver(int runLength = kRunLength) : fRunLength(runLength) {}

  void initialize(int rate) {
    fChain->setRate(SampleRate::fromRate(rate));
    resetControlFields(fControls);
    fChain->clear();
  }
  ControlFields& controls() { return fControls; }
  void process(int count, const float* input, float* out0, float* out1) {
    fChain->processBlock(snapshotControls(fControls), count, input, out0, out1, fRunLength);
  }

 private:
  int fRunLength;
  ControlFields fControls{};
  std::unique_ptr<Chain<V>> fChain = std::make_unique<Chain<V>>();
};

class ReferenceChain : public ChainDriver<float> {
 public:
  ReferenceChain() : ChainDriver<float>(1) {}
};

}  // namespace vardo::test
