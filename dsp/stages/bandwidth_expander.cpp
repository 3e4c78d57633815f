#include "bandwidth_expander.h"

#include <algorithm>
#include <cmath>

namespace vardo {

namespace {
constexpr float kSqrt2 = 1.4142135f;
// The analytic magnitude never falls below this, so the envelope divisor stays positive.
constexpr float kMagnitudeFloor = 1.0001152f;
}  // namespace

void BandwidthExpander::setRate(const SampleRate& rate) {
  const float k5 = rate.kFixed(5000.0f);
  fBandHighpass = butterworthPoles(k5, kSqrt2);
  fBandHighpassK2 = k5 * k5;
  fBandHighpassMinus2K2 = -2.0f * fBandHighpassK2;

  const float k100 = rate.kFixed(100.0f);
  fEnvelopeLowpass = butterworthPoles(k100, kSqrt2);
  fEnvelopeA0 = (k100 + kSqrt2) * k100 + 1.0f;

  fPeakBandwidthDen = 12566.371f * rate.r;
  fPeakBandwidthNum = 25073.205f * rate.r;
}

void BandwidthExpander::prepareBlock(const ControlFields& controls, const SampleRate& rate) {
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
  for (int k = 0; k < kOrder12Sections; ++k) {
    const float d = kDampings[k];
    fCornerLowpass[k].g = 1.0f / ((c1 + d) * c1 + 1.0f);
    fCornerLowpass[k].a2 = (c1 - d) * c1 + 1.0f;
    fCornerLowpass[k].a1 = a1Low;
    fCornerHighpass[k].g = 1.0f / ((c2 + d) * c2 + 1.0f);
    fCornerHighpass[k].a2 = (c2 - d) * c2 + 1.0f;
    fCornerHighpass[k].a1 = a1High;
  }
  fCornerHighpassK2 = k2High;
  fCornerHighpassMinus2K2 = -(2.0f / (t2 * t2));

  const float bd = fPeakBandwidthDen / s1;
  const float bn = fPeakBandwidthNum / s1;
  fLift.g = 1.0f / ((bd + c1) * c1 + 1.0f);
  fLift.a1 = a1Low;
  fLift.a2 = (c1 - bd) * c1 + 1.0f;
  fLiftB0 = (bn + c1) * c1 + 1.0f;
  fLiftB2 = c1 * (c1 - bn) + 1.0f;

  fExpansionGain = dbToLinear(controls.bandwidthExpansionLevel) * fEnvelopeA0;
}

void BandwidthExpander::clear() { fState = {}; }

float BandwidthExpander::process(float s) {
  State& st = fState;

  // Isolate the band between 5 kHz and the corner + 400 Hz.
  const float wHigh = st.bandHighpass.feed(s, fBandHighpass);
  float u = st.bandHighpass.highpassNumerator(wHigh, fBandHighpassK2, fBandHighpassMinus2K2) *
            fBandHighpass.g;
  st.bandHighpass.shift(wHigh);
  for (int k = 0; k < kOrder12Sections; ++k) {
    SectionState& sec = st.cornerLowpass[k];
    const float w = sec.feed(u, fCornerLowpass[k]);
    u = sec.lowpassNumerator(w) * fCornerLowpass[k].g;
    sec.shift(w);
  }

  // Analytic signal: branch A one sample late is the real part, branch B the imaginary.
  float aLate = 0.0f;
  float bNow = 0.0f;
  st.quadrature.process(u, aLate, bNow);
  const float aNow = st.quadrature.a.outputBack(1);  // just written: A[n]

  const float m = std::max(std::sqrt(bNow * bNow + aLate * aLate), kMagnitudeFloor);
  const float peak =
      std::max(std::max(std::max(st.magnitude[2], st.magnitude[1]),
                        std::max(st.magnitude[0], st.magnitude[3])),
               m);

  // Smoothed envelope: the raw numerator of the 100 Hz lowpass, i.e. a0 times its output.
  const float wEnv = st.envelope.feed(peak, fEnvelopeLowpass);
  const float envelope = st.envelope.lowpassNumerator(wEnv);
  st.envelope.shift(wEnv);

  // Real part of the squared analytic signal, centred on the five-sample peak window,
  // normalised by the envelope and scaled by the expansion level (which carries a0).
  const float a3 = st.branchA[2];
  const float b2 = st.branchB[1];
  float e = (a3 * a3 - b2 * b2) / envelope * fExpansionGain;

  // Keep only what the squaring put above the corner.
  for (int k = 0; k < kOrder12Sections; ++k) {
    SectionState& sec = st.cornerHighpass[k];
    const float w = sec.feed(e, fCornerHighpass[k]);
    e = sec.highpassNumerator(w, fCornerHighpassK2, fCornerHighpassMinus2K2) *
        fCornerHighpass[k].g;
    sec.shift(w);
  }

  // +6 dB lift around the corner + 400 Hz.
  SectionState& lift = st.lift;
  const float wLift = lift.feed(e, fLift);
  const float y = (lift.w2 * fLiftB2 + lift.w1 * fLift.a1 + wLift * fLiftB0) * fLift.g;
  lift.shift(wLift);

  const float x = y + st.sum[1];

  // Histories move on by one sample.
  st.branchA[2] = st.branchA[1];
  st.branchA[1] = st.branchA[0];
  st.branchA[0] = aNow;
  st.branchB[1] = st.branchB[0];
  st.branchB[0] = bNow;
  st.magnitude[3] = st.magnitude[2];
  st.magnitude[2] = st.magnitude[1];
  st.magnitude[1] = st.magnitude[0];
  st.magnitude[0] = m;
  st.sum[1] = st.sum[0];
  st.sum[0] = s;
  return x;
}

}  // namespace vardo
