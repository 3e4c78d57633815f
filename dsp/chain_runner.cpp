#include "chain_runner.h"

#include <atomic>

namespace vardo {

namespace {

// -1: automatic; else the LaneSet a test chose.
std::atomic<int> gChosenForTesting{-1};

bool processorHasAvx() {
#if VARDO_AVX_CHAIN
  // Also checks that the operating system saves the AVX registers.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx");
#else
  return false;
#endif
}

bool processorHasAvx512() {
#if VARDO_AVX_CHAIN
  // Also checks that the operating system saves the AVX-512 registers.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
#else
  return false;
#endif
}

}  // namespace

ChainRunner::~ChainRunner() = default;

bool laneSetAvailable(LaneSet set) {
  switch (set) {
    case LaneSet::kFour:
      return true;
    case LaneSet::kEightAvx:
      return processorHasAvx();
    case LaneSet::kSixteenAvx512:
      return processorHasAvx512();
  }
  return false;
}

LaneSet chosenLaneSet() {
  const int chosen = gChosenForTesting.load();
  if (chosen >= 0 && laneSetAvailable(static_cast<LaneSet>(chosen))) {
    return static_cast<LaneSet>(chosen);
  }
  for (LaneSet widest : {LaneSet::kSixteenAvx512, LaneSet::kEightAvx}) {
    if (laneSetAvailable(widest)) return widest;
  }
  return LaneSet::kFour;
}

const char* laneSetName(LaneSet set) {
  switch (set) {
    case LaneSet::kFour:
#if VARDO_FLOAT4_SSE2
      return "sse2";
#else
      return "four plain lanes";
#endif
    case LaneSet::kEightAvx:
      return "avx";
    case LaneSet::kSixteenAvx512:
      return "avx512";
  }
  return "?";
}

std::unique_ptr<ChainRunner> makeChain(LaneSet set) {
  if (!laneSetAvailable(set)) return nullptr;
#if VARDO_AVX_CHAIN
  if (set == LaneSet::kSixteenAvx512) return ChainOn<Avx16>::make();
  if (set == LaneSet::kEightAvx) return ChainOn<Avx8>::make();
#endif
  return ChainOn<ShippingLane>::make();
}

void chooseLaneSetForTesting(std::optional<LaneSet> set) {
  gChosenForTesting.store(set ? static_cast<int>(*set) : -1);
}

}  // namespace vardo
