// The eight-lane quick functions (compiled for AVX).
#include "../../../dsp/avx8.h"
#include "wide_quick.h"

namespace vardo::test {

namespace {
void exp8(const float* x, float* y) { store8(y, quickExp(load8(x))); }
void tan8(const float* x, float* y) { store8(y, quickTan(load8(x))); }
}  // namespace

WideQuick wideQuickAvx() { return {8, exp8, tan8}; }

}  // namespace vardo::test
