// Input band-limiting: two copies of a sixth-order elliptic highpass at 40 Hz
// and two copies of a sixth-order elliptic lowpass at the "Lowpass Filter"
// corner, feeding a 256-sample history ring.
#pragma once

#include <array>
#include <cstdint>

#include "../controls.h"
#include "../primitives.h"
#include "../sample_rate.h"

namespace vardo {

class InputFilters {
 public:
  static constexpr int kSectionsPerFilter = 3;

  void setRate(const SampleRate& rate);
  void prepareBlock(const ControlFields& controls, const SampleRate& rate);
  void clear();
  // False once any value of the signal state is infinite or NaN.
  bool stateFinite() const { return floatsFinite(fState); }
  // Filters one input sample into the history ring at slot n. A sample that
  // is not finite enters the filters as 0.
  void process(float x, std::uint32_t n);
  const Ring<256>& history() const { return fHistory; }

  // process() in two steps for a run of samples: the filters over the whole
  // run (two cascades per pass, so one sample's twelve sections are no
  // longer one dependency chain), then each filtered sample into the history
  // ring with recordFiltered, sample by sample as the ring's reader needs it.
  void filterRun(const float* in, float* out, int count);
  void recordFiltered(float y, std::uint32_t n) { fHistory.write(n, y); }

 private:
  // Constants: the 40 Hz highpass (set with the rate) and the lowpass at the
  // control's corner (set per block).
  std::array<ZeroPairCoeffs, kSectionsPerFilter> fHighpass{};
  std::array<ZeroPairCoeffs, kSectionsPerFilter> fLowpass{};

  // Signal state: each filter runs twice in series with its own states.
  struct State {
    std::array<SectionState, kSectionsPerFilter> highpass1{};
    std::array<SectionState, kSectionsPerFilter> highpass2{};
    std::array<SectionState, kSectionsPerFilter> lowpass1{};
    std::array<SectionState, kSectionsPerFilter> lowpass2{};
  };
  State fState;
  Ring<256> fHistory;
};

}  // namespace vardo
