#include "effect_block.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "dsp.h"

namespace vardo {

void enableFlushToZero() {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
  _mm_setcsr(_mm_getcsr() | 0x8040u);
#elif defined(__aarch64__)
  std::uint64_t fpcr;
  __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
  fpcr |= (std::uint64_t{1} << 24);  // FZ: flushes denormal inputs and results alike
  __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr));
#endif
  // Other processors keep their default mode; the DSP needs no denormal
  // guard for correctness, only for speed.
}

bool effectBuffersUsable(dsp& effect, float** inputs, float** outputs, int frames) {
  if (frames <= 0) return true;
  const int outputCount = effect.outputCount();
  if (outputs == nullptr) return false;
  for (int c = 0; c < outputCount; ++c)
    if (outputs[c] == nullptr) return false;
  if (inputs == nullptr || inputs[0] == nullptr) {
    for (int c = 0; c < outputCount; ++c)
      std::memset(outputs[c], 0, sizeof(float) * static_cast<std::size_t>(frames));
    return false;
  }
  return true;
}

}  // namespace vardo
