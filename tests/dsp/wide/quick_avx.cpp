// The eight-lane quick functions (compiled for AVX).
#include "../../../dsp/math/avx8_transcendentals.h"
#include "../../../dsp/math/lane_transcendentals.h"
#include "wide_quick.h"

namespace vardo::test {

namespace {
using namespace vardo::avx;
void exp8(const float* x, float* y) { store(y, quickExp(load<Avx8>(x))); }
void tan8(const float* x, float* y) { store(y, quickTan(load<Avx8>(x))); }
bool expClearly8(const float* x, float* y) {
  Avx8 r;
  const bool clear = quickExpClearly(load<Avx8>(x), r);
  store(y, r);
  return clear;
}
}  // namespace

WideQuick wideQuickAvx() { return {8, exp8, tan8, expClearly8}; }

}  // namespace vardo::test
