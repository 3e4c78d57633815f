// The clamped sample rate and the helpers every stage uses to turn corner
// frequencies and time constants into coefficients.
#pragma once

#include <algorithm>

#include "math/float_math.h"
#include "math/quick_transcendentals.h"

namespace vardo {

// Pole p = exp(-k / fs) of a one-pole smoother or follower, and the weight
// 1 - p of its input.
struct PoleFactor {
  float pole = 0.0f;
  float input = 0.0f;
};

struct SampleRate {
  float fs = 1.0f;           // clamped to 1 ... 192000
  float r = 1.0f;            // 1 / fs
  float piOverFs = 0.0f;     // pi / fs, for corners that move per block or per sample
  float twoPiOverFs = 0.0f;  // 2 pi / fs
  float maxCorner = 0.0f;    // highest usable corner: just under fs / 2

  static SampleRate fromRate(int rate) {
    SampleRate s;
    const float f = static_cast<float>(rate);
    s.fs = f > 1.0f ? (f < 192000.0f ? f : 192000.0f) : 1.0f;
    s.r = 1.0f / s.fs;
    s.piOverFs = piTimes(1.0) * s.r;
    s.twoPiOverFs = piTimes(2.0) * s.r;
    // Filters designed by the bilinear transform are only stable with their
    // corners below fs / 2. At 44100 Hz and above no corner of the chain
    // comes near this limit, so it never changes a value there.
    s.maxCorner = 0.499f * s.fs;
    return s;
  }

  // A corner frequency kept below the Nyquist frequency.
  float limitCorner(float f) const { return std::min(f, maxCorner); }

  // tan(pi f / fs) for a fixed corner: the angle is (pi f rounded to float) / fs.
  float tanFixed(float f) const {
    const float piF = static_cast<float>(kPi * static_cast<double>(limitCorner(f)));
    return ftan(piF * r);
  }
  // 1 / tan(pi f / fs) for a fixed corner.
  float kFixed(float f) const { return 1.0f / tanFixed(f); }

  // sin(2 pi f / fs) for a fixed centre frequency: the angle is
  // (2 pi f rounded to float) / fs, kept below pi so the sine stays positive.
  float sinFixed(float f) const {
    const float twoPiF =
        static_cast<float>(2.0 * kPi * static_cast<double>(limitCorner(f)));
    return fsin(twoPiF * r);
  }

  // tan(pi f / fs) for a corner that moves per block or per sample.
  float tanMoving(float f) const { return quickTan(limitCorner(f) * piOverFs); }
  // The same for four corners.
  Float4 tanMoving(Float4 f) const {
    return quickTan(min4(f, splat4(maxCorner)) * splat4(piOverFs));
  }

  // Pole factor exp(-k / fs) of a one-pole smoother with time constant 1/k s.
  float pole(float k) const { return fexp(-(k * r)); }
  PoleFactor poleFactor(float k) const {
    const float p = pole(k);
    return {p, 1.0f - p};
  }
};

}  // namespace vardo
