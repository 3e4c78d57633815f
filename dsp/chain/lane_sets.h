// The lane sets a chain can be built on, in one table: for each, the
// processor check that must pass before its code runs, the factory of its
// chains and the unit compiled for its instruction set. Everything that
// picks, names, builds or checks a lane set reads the table.
//
// A new lane set is its enumerator, its row in lane_sets.cpp and its unit
// (chain/lanes_<set>.cpp, which instantiates the band and width stages on its
// lane type, listed with its instruction set in dsp/CMakeLists.txt).
#pragma once

#include <memory>
#include <optional>
#include <span>

#include "chain/chain_runner.h"

namespace vardo {

enum class LaneSet { kFour, kEightAvx, kEightAvx2, kSixteenAvx512 };

struct LaneSetRow {
  LaneSet set;
  const char* name;  // for reports
  // The unit compiled for the set's instruction set (its object file carries
  // this name), or null for a set built from baseline code alone.
  const char* unit;
  const char* laneType;  // the name every symbol of that unit carries
  // Whether this processor, and the system that saves its registers, runs the set.
  bool (*processorRuns)();
  std::unique_ptr<ChainRunner> (*makeChain)();
};

// The lane sets of this build, narrowest first.
std::span<const LaneSetRow> laneSets();

// Whether this build and this processor can run the lane set.
bool laneSetAvailable(LaneSet set);
// The lane set new chains are built on: the widest available one, unless a
// test has chosen another.
LaneSet chosenLaneSet();
// "sse2" (or "neon", or "four plain lanes"), "avx", "avx2", "avx512", for reports.
const char* laneSetName(LaneSet set);
// A new chain on `set`; null when the lane set is not available.
std::unique_ptr<ChainRunner> makeChain(LaneSet set);

// For tests: build every new chain on `set` (when it is available), or,
// given nothing, return to the automatic choice.
void chooseLaneSetForTesting(std::optional<LaneSet> set);

}  // namespace vardo
