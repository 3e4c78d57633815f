// The quick exponential and tangent on eight AVX lanes and sixteen AVX-512
// lanes, each from a unit compiled for its instruction set, for the sweeps
// that hold them to the library. Call a form only where the processor has
// its instruction set (wideQuickAvailable).
#pragma once

namespace vardo::test {

// y[0 ... lanes - 1] from x[0 ... lanes - 1].
using QuickLanes = void (*)(const float* x, float* y);
// The same, answering whether every lane took the single-precision path.
using ClearLanes = bool (*)(const float* x, float* y);

struct WideQuick {
  int lanes;
  QuickLanes exp;
  QuickLanes tan;
  ClearLanes expClearly;
};

// The eight-lane and the sixteen-lane forms, or null members where this
// build has no such unit.
WideQuick wideQuickAvx();
WideQuick wideQuickAvx512();

}  // namespace vardo::test
