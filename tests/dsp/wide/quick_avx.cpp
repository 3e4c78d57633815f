// The eight-lane quick functions (compiled for AVX).
#include "../../../dsp/math/avx8_transcendentals.h"
#include "../../../dsp/math/lane_transcendentals.h"
#include "wide_quick.h"

namespace vardo::test {

namespace {
using namespace vardo::avx;
void exp8(const float* x, float* y) { store8(y, quickExp(load8(x))); }
void tan8(const float* x, float* y) { store8(y, quickTan(load8(x))); }
bool expClearly8(const float* x, float* y) {
  Avx8 r;
  const bool clear = quickExpClearly(load8(x), r);
  store8(y, r);
  return clear;
}
}  // namespace

WideQuick wideQuickAvx() { return {8, exp8, tan8, expClearly8}; }

}  // namespace vardo::test
