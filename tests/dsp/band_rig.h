// Drives the band equaliser and the stereo width stage sample by sample (in
// runs of one), for the band tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#if defined(__x86_64__) || defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "chain/chain.h"
#include "controls.h"
#include "math/float_math.h"
#include "primitives/sample_rate.h"

namespace band_test {

constexpr double kPi = 3.14159265358979323846;

// Flush-to-zero and denormals-are-zero while a rig lives, as on the audio thread.
struct FlushDenormals {
#if defined(__x86_64__) || defined(__SSE__)
  FlushDenormals() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040u); }
  ~FlushDenormals() { _mm_setcsr(saved); }
  unsigned saved;
#endif
};

struct BandRig {
  explicit BandRig(int rateHz = 44100) : rate(vardo::SampleRate::fromRate(rateHz)) {
    resetControlFields(controls);
    bands->setRate(rate);
    width->setRate(rate);
    bands->clear();
    width->clear();
    applyControls();
  }
  void applyControls() {
    bands->prepareBlock(controls, rate);
    width->prepareBlock(controls, rate);
  }
  void setWidth(float trimDb, float percent, float offset) {
    controls.expanderGainTrim = trimDb;
    controls.expanderLimitPercent = percent;
    controls.expanderOffset = offset;
    applyControls();
  }
  // Both stages on x and d, or the bands alone where only they are measured.
  void step(float x, float d, bool withWidth = true) {
    bands->processRun(1, n, &x, &d, &out);
    if (withWidth) width->processRun(1, n, &out, &sumA, &sumB);
    ++n;
  }
  // x = a sine at `hz` (continuing its phase), d = 0, bands alone.
  void runSine(double hz, float amplitude, int samples) {
    for (int i = 0; i < samples; ++i, ++phase) {
      step(amplitude * static_cast<float>(std::sin(2.0 * kPi * hz * phase / rate.fs)), 0.0f, false);
    }
  }
  // The width stage alone: every band 2 ... 11 gets a 1 kHz sine of amplitude
  // `sumLevel` as a_m and of `diffLevel` as b_m, and read-outs P_m = p, Q'_m = q.
  void runWidthTones(float sumLevel, float diffLevel, float p, float q, int samples) {
    for (int i = 0; i < samples; ++i, ++phase) {
      const float s = static_cast<float>(std::sin(2.0 * kPi * 1000.0 * phase / rate.fs));
      for (int m = vardo::kMonoBandCount; m < vardo::kBandCount; ++m) {
        out.gained[m] = sumLevel * s;
        out.gainedDiff[m] = diffLevel * s;
        out.sumOut[m] = p;
        out.diffOut[m] = q;
      }
      width->processRun(1, n, &out, &sumA, &sumB);
    }
  }

  FlushDenormals flush;
  vardo::SampleRate rate;
  ControlFields controls{};
  using Bands = vardo::BandEqualiser<vardo::ShippingLane>;
  using Width = vardo::StereoWidth<vardo::ShippingLane>;
  std::unique_ptr<Bands> bands = std::make_unique<Bands>();
  std::unique_ptr<Width> width = std::make_unique<Width>();
  vardo::BandOutputs out;
  float sumA = 0.0f;
  float sumB = 0.0f;
  std::uint32_t n = 0;
  std::uint64_t phase = 0;
};

}  // namespace band_test
