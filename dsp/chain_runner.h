// The chain behind one interface, built on the widest lane type the
// processor runs: sixteen AVX-512 lanes where the processor has AVX-512,
// eight AVX lanes where it has AVX, four SSE2 lanes (every x86-64 processor)
// otherwise. Both give the same bits; the
// choice is made when a chain is built, never during processing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>

#include "chain.h"
#include "controls.h"
#include "fresh_pages.h"
#include "sample_rate.h"

namespace vardo {

// The lane sets a chain can be built on.
enum class LaneSet { kFour, kEightAvx, kSixteenAvx512 };

class ChainRunner {
 public:
  virtual ~ChainRunner();
  virtual void setRate(const SampleRate& rate) = 0;
  virtual void clear() = 0;
  virtual void processBlock(const ControlFields& controls, int count, const float* input,
                            float* out0, float* out1) = 0;
  virtual const SampleRate& rate() const = 0;
  virtual std::uint32_t sampleCounter() const = 0;
};

// A Chain<V> as a ChainRunner, always on fresh zero pages of its own: a
// chain that never plays (a voice of an effect) costs address space only,
// since neither building nor clearing it writes its state.
template <class V>
class ChainOn final : public ChainRunner {
 public:
  static std::unique_ptr<ChainRunner> make() { return std::unique_ptr<ChainRunner>(new ChainOn()); }

  static void* operator new(std::size_t bytes) { return allocateFreshPages(bytes); }
  static void* operator new(std::size_t bytes, std::align_val_t) {
    return allocateFreshPages(bytes);  // page-aligned
  }
  static void operator delete(void* chain, std::size_t bytes) noexcept {
    releaseFreshPages(chain, bytes);
  }
  static void operator delete(void* chain, std::size_t bytes, std::align_val_t) noexcept {
    releaseFreshPages(chain, bytes);
  }

  void setRate(const SampleRate& rate) override { fChain.setRate(rate); }
  void clear() override { fChain.clear(); }
  void processBlock(const ControlFields& controls, int count, const float* input, float* out0,
                    float* out1) override {
    fChain.processBlock(controls, count, input, out0, out1);
  }
  const SampleRate& rate() const override { return fChain.rate(); }
  std::uint32_t sampleCounter() const override { return fChain.sampleCounter(); }

 private:
  ChainOn() : fChain(OnFreshPages{}) {}
  Chain<V> fChain;
};

// Whether this build and this processor can run the lane set.
bool laneSetAvailable(LaneSet set);
// The lane set new chains are built on: the widest available one, unless a
// test has chosen another.
LaneSet chosenLaneSet();
// "sse2" (or "four plain lanes"), "avx" and "avx512", for reports.
const char* laneSetName(LaneSet set);
// A new chain on `set`; null when the lane set is not available.
std::unique_ptr<ChainRunner> makeChain(LaneSet set);

// For tests: build every new chain on `set` (when it is available), or,
// given nothing, return to the automatic choice.
void chooseLaneSetForTesting(std::optional<LaneSet> set);

}  // namespace vardo
