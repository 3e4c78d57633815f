#include "input_filters.h"

#include <cmath>

namespace vardo {

namespace {

// Sixth-order elliptic highpass, 0.2 dB ripple, 80 dB stop band, as three
// sections (n2 s^2 + n0) / (s^2 + d1 s + d0) normalised to the 40 Hz edge.
struct Prototype {
  float n2, n0, d1, d0;
};
constexpr Prototype kHighpass40[kEllipticSections] = {
    {0.0017661728f, 0.0004076782f, 3.1897273f, 4.0767817f},
    {11.0520525f, 1.4500711f, 0.74313045f, 1.4500711f},
    {50.06381f, 0.9351402f, 0.15748216f, 0.9351402f},
};
constexpr float kHighpassCorner = 40.0f;

// The lowpass counterpart (signal order L1, L2, L3): numerator n2 s^2 + n0
// and denominator s^2 + d1 s + d0 of each section.
constexpr float kL1n2 = 1e-4f, kL1n0 = 0.0004332272f, kL1d1 = 0.78241307f, kL1d0 = 0.2452915f;
constexpr float kL2n0 = 7.6217313f, kL2d1 = 0.51247865f, kL2d0 = 0.6896214f;
constexpr float kL3n0 = 53.53615f, kL3d1 = 0.16840488f, kL3d0 = 1.0693583f;

template <class Cascade>
float runCascade(Cascade& states, const EllipticFilter& coeffs, float x) {
  for (int i = 0; i < kEllipticSections; ++i) x = zeroPairStep(states[i], x, coeffs[i]);
  return x;
}

}  // namespace

EllipticFilter designInputHighpass(const SampleRate& rate) {
  EllipticFilter h{};
  const float k = rate.kFixed(kHighpassCorner);
  for (int i = 0; i < kEllipticSections; ++i) {
    const Prototype& p = kHighpass40[i];
    h[i] = zeroPairSection(k, p.n2, p.n0, p.d1, p.d0);
  }
  return h;
}

EllipticFilter designInputLowpass(const ControlFields& controls, const SampleRate& rate) {
  // Written out from the tangent T0 of the corner: c0 = 1/T0 plays the role
  // of K, and E0 = 1/(T0 T0) that of K^2.
  const float t0 = rate.tanMoving(controls.lowpassFilter);
  const float c0 = 1.0f / t0;
  const float e0 = 1.0f / (t0 * t0);
  EllipticFilter l{};

  ZeroPairCoeffs& l1 = l[0];
  l1.poles.g = 1.0f / ((kL1d1 + c0) * c0 + kL1d0);
  l1.poles.a2 = (c0 - kL1d1) * c0 + kL1d0;
  l1.poles.a1 = (kL1d0 - e0) * 2.0f;
  l1.b0 = kL1n2 / (t0 * t0) + kL1n0;
  l1.b1 = (kL1n0 - kL1n2 / (t0 * t0)) * 2.0f;

  ZeroPairCoeffs& l2 = l[1];
  l2.poles.g = 1.0f / ((c0 + kL2d1) * c0 + kL2d0);
  l2.poles.a2 = (c0 - kL2d1) * c0 + kL2d0;
  l2.poles.a1 = (kL2d0 - e0) * 2.0f;
  l2.b0 = e0 + kL2n0;
  l2.b1 = (kL2n0 - e0) * 2.0f;

  ZeroPairCoeffs& l3 = l[2];
  l3.poles.g = 1.0f / ((c0 + kL3d1) * c0 + kL3d0);
  l3.poles.a2 = c0 * (c0 - kL3d1) + kL3d0;
  l3.poles.a1 = (kL3d0 - e0) * 2.0f;
  l3.b0 = e0 + kL3n0;
  l3.b1 = (kL3n0 - e0) * 2.0f;
  return l;
}

void InputFilters::processRun(const float* in, float* out, int count) {
  // Two cascades per pass over the run, so one sample's twelve sections are
  // not one dependency chain. One NaN or infinity from the host would
  // otherwise poison every filter state for the rest of the session.
  for (int i = 0; i < count; ++i) {
    const float x = in[i];
    const float y = runCascade(fState.highpass1, fHighpass, std::isfinite(x) ? x : 0.0f);
    out[i] = runCascade(fState.highpass2, fHighpass, y);
  }
  for (int i = 0; i < count; ++i) {
    const float y = runCascade(fState.lowpass1, fLowpass, out[i]);
    out[i] = runCascade(fState.lowpass2, fLowpass, y);
  }
}

}  // namespace vardo
