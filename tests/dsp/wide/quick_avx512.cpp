// The sixteen-lane quick functions (compiled for AVX-512).
#include "../../../dsp/math/avx16_transcendentals.h"
#include "../../../dsp/math/lane_transcendentals.h"
#include "wide_quick.h"

namespace vardo::test {

namespace {
void exp16(const float* x, float* y) { store(y, quickExp(load<Avx16>(x))); }
void tan16(const float* x, float* y) { store(y, quickTan(load<Avx16>(x))); }
bool expClearly16(const float* x, float* y) {
  Avx16 r;
  const bool clear = quickExpClearly(load<Avx16>(x), r);
  store(y, r);
  return clear;
}
}  // namespace

WideQuick wideQuickAvx512() { return {16, exp16, tan16, expClearly16}; }

}  // namespace vardo::test
