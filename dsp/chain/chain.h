// The restoration chain: every stage in signal order, run stage by stage over
// runs of up to kRunLength samples. Every stage takes a run the same way,
// processRun(count, n, its inputs..., its outputs...), n being the sample
// counter of the run's first sample. The lane-parallel stages take the chain's
// lane type V; the plug-in runs the widest type built, and the plain-float
// instantiation, one lane at a time, is the reference the tests hold it to.
#pragma once

#include <cstdint>

#include "primitives/control_fields.h"
#include "primitives/fresh_pages.h"
#include "primitives/sample_rate.h"
#include "simd/lane_types.h"
#include "simd/lanes.h"
#include "stages/allpass_dispersion.h"
#include "stages/band_equaliser.h"
#include "stages/bandwidth_expander.h"
#include "stages/input_filters.h"
#include "stages/level_normaliser.h"
#include "stages/output_agc.h"
#include "stages/stereo_width.h"
#include "stages/veze_equaliser.h"

namespace vardo {

// Longest run of samples each stage processes before the next stage takes it.
constexpr int kRunLength = 128;

// The fixed delays along the direct signal path, in samples, whatever the rate.
constexpr int kSignalPathDelay = LevelNormaliser::kLookAhead + LevelNormaliser::kLowpassLag +
                                 kBandLookAhead + kBandLineDelay + kExpanderDelay +
                                 OutputAgc::kLookAhead;
static_assert(kSignalPathDelay == 2660);

template <class V>
class Chain {
 public:
  // Silent: every state value zero once value-initialised (make_unique).
  Chain() = default;
  // On fresh zero pages (see fresh_pages.h): the stages' signal state and the
  // run scratch are left unwritten, so they take no resident memory until the
  // chain plays.
  explicit Chain(OnFreshPages on);

  void setRate(const SampleRate& rate);
  // Silences the chain. One that has not processed a sample since it was
  // built or last cleared holds zeros only, and is left untouched.
  void clear();
  // One block: the stages' per-block values from `controls`, then the block
  // in runs of at most runLength (1 ... kRunLength) samples. The block's input
  // samples are read before its outputs are written, run by run, so input
  // and out0 may share a buffer.
  void processBlock(const ControlFields& controls, int count, const float* input, float* out0,
                    float* out1, int runLength = kRunLength);

  const SampleRate& rate() const { return fRate; }
  std::uint32_t sampleCounter() const { return fSampleCounter; }

 private:
  // Runs the chain over count (1 ... kRunLength) samples; returns false if a
  // channel signal or a stage's state went non-finite.
  bool processRun(int count, const float* input, float* out0, float* out1);
  // False once any stage holds an infinite or NaN state value.
  bool stagesFinite() const;

  SampleRate fRate;
  std::uint32_t fSampleCounter = 0;
  // Whether a sample has been processed since the chain was built or last cleared.
  bool fPlayed = false;

  // The stages, in signal order.
  InputFilters fInputFilters;
  LevelNormaliser fLevelNormaliser;
  VezeEqualiser fEqualiser;
  AllpassDispersion fDispersion;
  BandEqualiser<V> fBands;
  StereoWidth<V> fStereoWidth;
  BandwidthExpander<NarrowLane<V>> fExpanders;  // two channels: four lanes at most
  OutputAgc fOutput;

  // Per-sample values handed from stage to stage within a run.
  struct Scratch {
    float filtered[kRunLength];              // band-limited input
    float normalised[kRunLength];            // level normaliser output
    SecondCorner corner[kRunLength];         // second noise-reduction corner at each sample
    float equalised[kRunLength];             // x
    float dispersed[kRunLength];             // d
    BandOutputs bands[kRunLength];           // band read-outs and gained components
    float sumA[kRunLength];                  // channel A sum
    float sumB[kRunLength];                  // channel B sum
    float expandedA[kRunLength];
    float expandedB[kRunLength];
  };
  static_assert(kRunLength <= AllpassDispersion::kMaxRun);
  // Every run writes what it reads of the scratch, so no constructor writes it.
  union ScratchSpace {
    ScratchSpace() {}
    Scratch values;
  };
  ScratchSpace fScratch;
};

#define VARDO_DECLARE_CHAIN(V) extern template class Chain<V>;
VARDO_LANE_TYPES(VARDO_DECLARE_CHAIN)
#undef VARDO_DECLARE_CHAIN

// The lane type every x86-64 processor runs (see chain_runner.h for the wider one).
using ShippingLane = Float4;

}  // namespace vardo
