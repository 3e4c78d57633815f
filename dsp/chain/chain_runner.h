// The chain behind one interface, built on one of the lane sets of
// lane_sets.h: the widest the processor runs, unless a test chooses. Every
// lane set gives the same bits; the choice is made when a chain is built,
// never during processing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>

#include "chain/chain.h"
#include "primitives/control_fields.h"
#include "primitives/fresh_pages.h"
#include "primitives/sample_rate.h"

namespace vardo {

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

}  // namespace vardo
