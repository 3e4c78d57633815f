#include "chain/lane_sets.h"

#include <atomic>
#include <iterator>

namespace vardo {

ChainRunner::~ChainRunner() = default;

namespace {

bool everyProcessor() { return true; }

#if VARDO_AVX_CHAIN
// Each check also asks whether the operating system saves the registers.
bool processorHasAvx() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx");
}

bool processorHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

bool processorHasAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
}
#endif

template <class V>
std::unique_ptr<ChainRunner> chainOn() {
  return ChainOn<V>::make();
}

constexpr LaneSetRow kLaneSets[] = {
#if VARDO_FLOAT4_SSE2
    {LaneSet::kFour, "sse2", nullptr, "Float4", everyProcessor, chainOn<ShippingLane>},
#elif VARDO_FLOAT4_NEON
    {LaneSet::kFour, "neon", nullptr, "Float4", everyProcessor, chainOn<ShippingLane>},
#else
    {LaneSet::kFour, "four plain lanes", nullptr, "Float4", everyProcessor, chainOn<ShippingLane>},
#endif
#if VARDO_AVX_CHAIN
    {LaneSet::kEightAvx, "avx", "lanes_avx.cpp", "vardo::avx::", processorHasAvx, chainOn<Avx8>},
    {LaneSet::kEightAvx2, "avx2", "lanes_avx2.cpp", "vardo::avx2::", processorHasAvx2,
     chainOn<Avx2x8>},
    {LaneSet::kSixteenAvx512, "avx512", "lanes_avx512.cpp", "vardo::avx512::",
     processorHasAvx512, chainOn<Avx16>},
#endif
};

const LaneSetRow* rowOf(LaneSet set) {
  for (const LaneSetRow& row : kLaneSets) {
    if (row.set == set) return &row;
  }
  return nullptr;
}

// -1: automatic; else the LaneSet a test chose.
std::atomic<int> gChosenForTesting{-1};

}  // namespace

std::span<const LaneSetRow> laneSets() { return kLaneSets; }

bool laneSetAvailable(LaneSet set) {
  const LaneSetRow* row = rowOf(set);
  return row != nullptr && row->processorRuns();
}

LaneSet chosenLaneSet() {
  const int chosen = gChosenForTesting.load();
  if (chosen >= 0 && laneSetAvailable(static_cast<LaneSet>(chosen))) {
    return static_cast<LaneSet>(chosen);
  }
  for (auto row = std::rbegin(kLaneSets); row != std::rend(kLaneSets); ++row) {
    if (row->processorRuns()) return row->set;
  }
  return LaneSet::kFour;
}

const char* laneSetName(LaneSet set) {
  const LaneSetRow* row = rowOf(set);
  return row != nullptr ? row->name : "?";
}

std::unique_ptr<ChainRunner> makeChain(LaneSet set) {
  return laneSetAvailable(set) ? rowOf(set)->makeChain() : nullptr;
}

void chooseLaneSetForTesting(std::optional<LaneSet> set) {
  gChosenForTesting.store(set ? static_cast<int>(*set) : -1);
}

}  // namespace vardo
