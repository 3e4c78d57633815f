#include "bandwidth_expander.h"

#include "bandwidth_expander_kernels.h"

namespace vardo {

namespace {
constexpr float kSqrt2 = 1.4142135f;
}  // namespace

ExpanderRateDesign designExpanderRate(const SampleRate& rate) {
  ExpanderRateDesign d;
  const float k5 = rate.kFixed(5000.0f);
  d.bandHighpass = butterworthPoles(k5, kSqrt2);
  d.bandHighpassK2 = k5 * k5;
  d.bandHighpassMinus2K2 = -2.0f * d.bandHighpassK2;

  const float k100 = rate.kFixed(100.0f);
  d.envelopeLowpass = butterworthPoles(k100, kSqrt2);
  d.envelopeA0 = (k100 + kSqrt2) * k100 + 1.0f;

  d.peakBandwidthDen = piTimes(4000.0) * rate.r;  // 4 kHz wide
  d.peakBandwidthNum = 25073.205f * rate.r;
  return d;
}

ExpanderBlockDesign designExpanderBlock(const ControlFields& controls, const SampleRate& rate,
                                        const ExpanderRateDesign& rateDesign) {
  ExpanderBlockDesign d;
  const float fc = controls.lowpassFilter;
  // Both corners are kept below the Nyquist frequency (a no-op from 44100 Hz up).
  const float liftCorner = rate.limitCorner(fc + 400.0f);
  const float t1 = rate.tanMoving(liftCorner);
  const float c1 = 1.0f / t1;
  const float t2 = rate.tanMoving(fc - 100.0f);
  const float c2 = 1.0f / t2;
  const float s1 = fsin(rate.twoPiOverFs * liftCorner);

  const float a1Low = 2.0f * (1.0f - 1.0f / (t1 * t1));
  const float k2High = 1.0f / (t2 * t2);
  const float a1High = 2.0f * (1.0f - k2High);
  for (int k = 0; k < kExpanderSections; ++k) {
    const float damping = kExpanderDampings[k];
    d.cornerLowpass[k].g = 1.0f / ((c1 + damping) * c1 + 1.0f);
    d.cornerLowpass[k].a2 = (c1 - damping) * c1 + 1.0f;
    d.cornerLowpass[k].a1 = a1Low;
    d.cornerHighpass[k].g = 1.0f / ((c2 + damping) * c2 + 1.0f);
    d.cornerHighpass[k].a2 = (c2 - damping) * c2 + 1.0f;
    d.cornerHighpass[k].a1 = a1High;
  }
  d.cornerHighpassK2 = k2High;
  d.cornerHighpassMinus2K2 = -(2.0f / (t2 * t2));

  const float bd = rateDesign.peakBandwidthDen / s1;
  const float bn = rateDesign.peakBandwidthNum / s1;
  d.lift.g = 1.0f / ((bd + c1) * c1 + 1.0f);
  d.lift.a1 = a1Low;
  d.lift.a2 = (c1 - bd) * c1 + 1.0f;
  d.liftB0 = (bn + c1) * c1 + 1.0f;
  d.liftB2 = c1 * (c1 - bn) + 1.0f;

  d.expansionGain = dbToLinear(controls.bandwidthExpansionLevel) * rateDesign.envelopeA0;
  return d;
}

template class BandwidthExpander<Float4>;

}  // namespace vardo
