#include "output_agc.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "simd/float4.h"

namespace vardo {

namespace {
// The threshold follower glides to the threshold level with this pole per
// sample, whatever the rate; the per-block target carries its input weight.
constexpr float kThresholdGlidePole = 0.999f;
constexpr float kThresholdGlideInput = 0.001f;
}  // namespace

AgcRateDesign designAgcRate(const SampleRate& rate) {
  return {rate.poleFactor(20.0f)};
}

float agcTarget(const ControlFields& controls) {
  return dbToLinear(controls.outputAgcThreshold) * kThresholdGlideInput;
}

void OutputAgc::processRun(int count, std::uint32_t n, const float* xA, const float* xB,
                           const SecondCorner* corner, float* out0, float* out1) {
  for (int done = 0; done < count; done += kPiece) {
    const int piece = count - done < kPiece ? count - done : kPiece;
    processPiece(xA + done, xB + done, corner + done, n + static_cast<std::uint32_t>(done),
                 out0 + done, out1 + done, piece);
  }
}

namespace {

// Samples by which the window maximum and the gain follow the lowpass in
// the run's loop.
constexpr int kOutputLag = 8;

// The maximum of a window of `size` peaks ending at its newest entry, as the
// fold m = std::max(m, older entry) from the newest entry on gives it. Once m
// is a number it never becomes NaN, so the fold gives a NaN newest entry, or
// else the largest of the numbers in the window. Which of several equal
// numbers it keeps cannot show: a peak is never -0 (it is a magnitude or the
// threshold glide, a sum of non-negative terms). Four partial maxima started
// at -infinity skip NaN the same way and give that largest number.
template <int size>
[[gnu::always_inline]] inline float windowMaximum(const float* window) {
  static_assert(size % 4 == 0, "the window is taken four entries at a time");
  const float newest = window[size - 1];
  Float4 m = splat4(-std::numeric_limits<float>::infinity());
  for (int j = 0; j < size; j += 4) m = max4(m, load4(window + j));
  alignas(16) float lanes[4];
  store4(lanes, m);
  const float largest = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
  return std::isnan(newest) ? newest : largest;
}

// First-order lowpass at the second noise-reduction corner. A non-finite
// value must not settle in the recursion, the rings or the gain envelope,
// where it would hold the outputs at NaN or silence for good: it is replaced
// by silence and the stage recovers as soon as its input is finite.
[[gnu::always_inline]] inline float finiteLowpass(float previousIn, float previousOut, float in,
                                                  const SecondCorner& k) {
  const float y = (previousIn - k.oneMinusK * previousOut + in) / k.kPlusOne;
  return std::isfinite(y) ? y : 0.0f;
}

}  // namespace

void OutputAgc::processPiece(const float* xA, const float* xB, const SecondCorner* corner,
                             std::uint32_t n, float* out0, float* out1, int count) {
  State& st = fState;
  constexpr int older = kPeakWindow - 1;
  // The peaks in time order: the window's older entries from the ring, then
  // the run's own; the peak of run sample i sits at older + i.
  alignas(16) float peaks[older + kPiece];
  alignas(16) float delayedA[kPiece];
  alignas(16) float delayedB[kPiece];
  for (int lag = 1; lag <= older; ++lag) {
    peaks[older - lag] = st.peaks.read(n, static_cast<std::uint32_t>(lag));
  }

  // The gain envelope with instant attack and 50 ms release, never below
  // the peaks of the window: the delayed samples are part of the window, so
  // |d / gain| <= 1.
  const float pole = fRate.release.pole;
  const float input = fRate.release.input;
  float gain = st.gain;
  auto output = [&](int i) {
    const float windowPeak = windowMaximum<kPeakWindow>(peaks + i);
    gain = std::max(pole * gain + input * windowPeak, windowPeak);
    out0[i] = kCeiling * (delayedA[i] / gain);
    out1[i] = kCeiling * (delayedB[i] / gain);
  };

  // The lowpass, the look-ahead delay and the peak, with the recursions in
  // locals through the run. The division holds each sample's lowpass up;
  // meanwhile the outputs of the sample kOutputLag steps older are worked
  // out, whose window was stored long enough before to be read back whole.
  const float target = fTarget;
  float previousInA = st.previousInA;
  float previousInB = st.previousInB;
  float previousOutA = st.lowpassA.read(n, 1);
  float previousOutB = st.lowpassB.read(n, 1);
  float threshold = st.threshold;
  auto lowpassAndPeak = [&](int i) {
    const std::uint32_t at = n + static_cast<std::uint32_t>(i);
    const SecondCorner& k = corner[i];
    const float inA = xA[i];
    const float inB = xB[i];
    const float yA = finiteLowpass(previousInA, previousOutA, inA, k);
    const float yB = finiteLowpass(previousInB, previousOutB, inB, k);
    st.lowpassA.write(at, yA);
    st.lowpassB.write(at, yB);

    const float dA = st.lowpassA.read(at, kLookAhead);
    const float dB = st.lowpassB.read(at, kLookAhead);
    delayedA[i] = dA;
    delayedB[i] = dB;

    // The threshold glides to its level and floors the peak, so quiet
    // passages are raised until the threshold level reaches the ceiling.
    threshold = kThresholdGlidePole * threshold + target;
    const float peak = std::max(threshold, std::max(std::max(std::fabs(yA), std::fabs(yB)),
                                                    std::max(std::fabs(dA), std::fabs(dB))));
    st.peaks.write(at, peak);
    peaks[older + i] = peak;

    previousInA = inA;
    previousInB = inB;
    previousOutA = yA;
    previousOutB = yB;
  };
  leadLagLoop<kOutputLag>(
      count, lowpassAndPeak,
      [&](int i) {
        lowpassAndPeak(i);
        output(i - kOutputLag);
      },
      output);
  st.previousInA = previousInA;
  st.previousInB = previousInB;
  st.threshold = threshold;
  st.gain = gain;
}

}  // namespace vardo
