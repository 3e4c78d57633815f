// The chain's block and run loops, for every lane type. Included only where
// a lane type is instantiated.
#pragma once

#include <cmath>

#include "chain/chain.h"

namespace vardo {

template <class V>
Chain<V>::Chain(OnFreshPages on) : fBands(on), fStereoWidth(on), fExpanders(on) {}

template <class V>
void Chain<V>::setRate(const SampleRate& rate) {
  fRate = rate;
  fInputFilters.setRate(rate);
  fLevelNormaliser.setRate(rate);
  fEqualiser.setRate(rate);
  fBands.setRate(rate);
  fStereoWidth.setRate(rate);
  fExpanders.setRate(rate);
  fOutput.setRate(rate);
}

template <class V>
void Chain<V>::clear() {
  // Nothing has moved the state off zero: clearing it again would only write
  // every page of it (the voices of an effect never play).
  if (!fPlayed) return;
  fPlayed = false;
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

template <class V>
void Chain<V>::processBlock(const ControlFields& controls, int count, const float* input,
                            float* out0, float* out1, int runLength) {
  fInputFilters.prepareBlock(controls, fRate);
  fLevelNormaliser.prepareBlock(controls, fRate);
  fEqualiser.prepareBlock(controls, fRate);
  fBands.prepareBlock(controls, fRate);
  fStereoWidth.prepareBlock(controls, fRate);
  fExpanders.prepareBlock(controls, fRate);
  fOutput.prepareBlock(controls, fRate);
  if (count < 1) return;
  fPlayed = true;

  bool chainFinite = true;
  for (int done = 0; done < count; done += runLength) {
    const int run = count - done < runLength ? count - done : runLength;
    chainFinite = processRun(run, input + done, out0 + done, out1 + done) && chainFinite;
  }

  // A filter, follower or envelope that has overflowed would hold its state
  // at infinity or NaN for good: an infinite band envelope, for one, turns its
  // band's gain to 0 while the channel signals stay finite. The output stage
  // keeps the outputs silent meanwhile; starting the chain afresh lets it
  // recover from the next block.
  if (!chainFinite) clear();
}

template <class V>
bool Chain<V>::stagesFinite() const {
  return fInputFilters.stateFinite() && fLevelNormaliser.stateFinite() &&
         fEqualiser.stateFinite() && fDispersion.stateFinite() && fBands.stateFinite() &&
         fStereoWidth.stateFinite() && fExpanders.stateFinite() && fOutput.stateFinite();
}

template <class V>
bool Chain<V>::processRun(int count, const float* input, float* out0, float* out1) {
  // Every stage reads only its own state and the values its upstream stages
  // produced for the same sample, so running each stage over the whole run
  // before the next gives the same values as running the chain sample by
  // sample.
  Scratch& s = fScratch.values;
  const std::uint32_t n = fSampleCounter;

  fInputFilters.processRun(count, n, input, s.filtered);
  fLevelNormaliser.processRun(count, n, s.filtered, s.normalised, s.corner);
  fEqualiser.processRunIn<typename VezeUnit<V>::type>(count, s.normalised, s.equalised);
  fDispersion.processRun(count, n, s.equalised, s.dispersed);
  fBands.processRun(count, n, s.equalised, s.dispersed, s.bands);
  fStereoWidth.processRun(count, n, s.bands, s.sumA, s.sumB);
  fExpanders.processRun(count, n, s.sumA, s.sumB, s.expandedA, s.expandedB);
  // Anything that went non-finite anywhere upstream (a host sample so large
  // that a filter state overflows) reaches the channel signals here.
  bool finite = true;
  for (int i = 0; i < count; ++i) {
    finite = finite && std::isfinite(s.expandedA[i]) && std::isfinite(s.expandedB[i]);
  }
  fOutput.processRun(count, n, s.expandedA, s.expandedB, s.corner, out0, out1);

  fSampleCounter = n + static_cast<std::uint32_t>(count);
  // A state can overflow without the channel signals showing it; once per
  // run every stage is asked.
  return finite && stagesFinite();
}

}  // namespace vardo
