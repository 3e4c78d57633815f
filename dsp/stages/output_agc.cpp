#include "output_agc.h"

#include <algorithm>
#include <cmath>

namespace vardo {

void OutputAgc::setRate(const SampleRate& rate) {
  fRelease = rate.pole(20.0f);
  fReleaseComplement = 1.0f - fRelease;
}

void OutputAgc::prepareBlock(const ControlFields& controls, const SampleRate&) {
  fTarget = dbToLinear(controls.outputAgcThreshold) * 0.001f;
}

void OutputAgc::clear() { fState = {}; }

void OutputAgc::process(float xA, float xB, const SecondCorner& corner, std::uint32_t n,
                        float& out0, float& out1) {
  State& st = fState;

  // First-order lowpass at the second noise-reduction corner; its previous
  // output is the ring slot one sample back.
  float yA =
      (st.previousInA - corner.oneMinusK * st.lowpassA.read(n, 1) + xA) / corner.kPlusOne;
  float yB =
      (st.previousInB - corner.oneMinusK * st.lowpassB.read(n, 1) + xB) / corner.kPlusOne;
  // A non-finite value must not settle in the recursion, the rings or the gain
  // envelope, where it would hold the outputs at NaN or silence for good: it
  // is replaced by silence and the stage recovers as soon as its input is finite.
  if (!std::isfinite(yA)) yA = 0.0f;
  if (!std::isfinite(yB)) yB = 0.0f;
  st.lowpassA.write(n, yA);
  st.lowpassB.write(n, yB);

  const float dA = st.lowpassA.read(n, kLookAhead);
  const float dB = st.lowpassB.read(n, kLookAhead);

  // The threshold glides to its level and floors the peak, so quiet passages
  // are raised until the threshold level reaches the ceiling.
  const float threshold = 0.999f * st.threshold + fTarget;
  const float peak = std::max(threshold, std::max(std::max(std::fabs(yA), std::fabs(yB)),
                                                  std::max(std::fabs(dA), std::fabs(dB))));
  st.peaks.write(n, peak);
  const float windowPeak = st.peaks.windowMax(n, kPeakWindow);

  // Instant attack, 50 ms release, never below the peaks of the window: the
  // delayed samples are part of the window, so |d / gain| <= 1.
  const float gain =
      std::max(fRelease * st.gain + fReleaseComplement * windowPeak, windowPeak);

  out0 = kCeiling * (dA / gain);
  out1 = kCeiling * (dB / gain);

  st.previousInA = xA;
  st.previousInB = xB;
  st.threshold = threshold;
  st.gain = gain;
}

}  // namespace vardo
