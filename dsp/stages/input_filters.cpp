#include "input_filters.h"

#include <cmath>

#include "primitives/section_front.h"
#include "simd/float4.h"

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

// The twelve sections in signal order (highpass, highpass again, lowpass,
// lowpass again) as three groups of four lanes: lane s is section s.
constexpr int kSectionLanes = 4 * kEllipticSections;
constexpr int kGroups = kSectionLanes / 4;

template <class Cascade>
float runCascade(Cascade& states, const EllipticFilter& coeffs, float x) {
  for (int i = 0; i < kEllipticSections; ++i) x = zeroPairStep(states[i], x, coeffs[i]);
  return x;
}

struct LaneCoeffs {
  SectionPoles<Float4> poles[kGroups];
  Float4 b0[kGroups], b1[kGroups];
};

LaneCoeffs laneCoeffs(const EllipticFilter& highpass, const EllipticFilter& lowpass) {
  alignas(16) float g[kSectionLanes], a1[kSectionLanes], a2[kSectionLanes], b0[kSectionLanes],
      b1[kSectionLanes];
  for (int s = 0; s < kSectionLanes; ++s) {
    const ZeroPairCoeffs& c = (s < 2 * kEllipticSections ? highpass : lowpass)[s % kEllipticSections];
    g[s] = c.poles.g;
    a1[s] = c.poles.a1;
    a2[s] = c.poles.a2;
    b0[s] = c.b0;
    b1[s] = c.b1;
  }
  LaneCoeffs l;
  for (int k = 0; k < kGroups; ++k) {
    l.poles[k] = {load4(g + 4 * k), load4(a1 + 4 * k), load4(a2 + 4 * k)};
    l.b0[k] = load4(b0 + 4 * k);
    l.b1[k] = load4(b1 + 4 * k);
  }
  return l;
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

void InputFilters::processRun(int count, std::uint32_t, const float* in, float* out) {
  // The twelve sections as a wavefront: at step t, lane s runs section s on
  // sample t - s, taking its input from lane s - 1 of the step before. Each
  // section still sees its samples in order with the same arithmetic
  // (zeroPairStep), but the twelve run side by side instead of one after
  // the other. Lanes whose sample lies outside the run (while the front
  // fills and drains) leave their state alone. A sample that is not finite
  // enters as 0: one NaN or infinity from the host would otherwise poison
  // every filter state for the rest of the session.
  if (count < kSectionLanes) {
    // Too short a run to fill the front: section after section.
    for (int i = 0; i < count; ++i) {
      const float x = std::isfinite(in[i]) ? in[i] : 0.0f;
      const float h = runCascade(fState.highpass1, fHighpass, x);
      const float y = runCascade(fState.highpass2, fHighpass, h);
      const float l = runCascade(fState.lowpass1, fLowpass, y);
      out[i] = runCascade(fState.lowpass2, fLowpass, l);
    }
    return;
  }
  Cascade* cascades[4] = {&fState.highpass1, &fState.highpass2, &fState.lowpass1,
                          &fState.lowpass2};
  alignas(16) float w1s[kSectionLanes], w2s[kSectionLanes];
  for (int s = 0; s < kSectionLanes; ++s) {
    const SectionState& st = (*cascades[s / kEllipticSections])[s % kEllipticSections];
    w1s[s] = st.w1;
    w2s[s] = st.w2;
  }
  const LaneCoeffs c = laneCoeffs(fHighpass, fLowpass);
  BilinearSection<Float4> sections[kGroups];
  for (int k = 0; k < kGroups; ++k) sections[k] = {load4(w1s + 4 * k), load4(w2s + 4 * k)};

  runFront<1, kGroups>(
      count, [&](int t) { return splat4(std::isfinite(in[t]) ? in[t] : 0.0f); },
      [&]<bool kAll>(int k, Float4 x, Mask4 active) {
        const Float4 w = sections[k].feed<FeedbackOrder::kFarFirst>(x, c.poles[k]);
        const Float4 y = zeroPairNumerator(w, sections[k].w1, sections[k].w2, c.b0[k], c.b1[k]) *
                         c.poles[k].g;
        sections[k].shift<kAll>(w, active);
        return y;
      },
      [&](int i, Float4 y) { out[i] = lane3Of4(y); });

  for (int k = 0; k < kGroups; ++k) {
    store4(w1s + 4 * k, sections[k].w1);
    store4(w2s + 4 * k, sections[k].w2);
  }
  for (int s = 0; s < kSectionLanes; ++s) {
    SectionState& st = (*cascades[s / kEllipticSections])[s % kEllipticSections];
    st.w1 = w1s[s];
    st.w2 = w2s[s];
  }
}

}  // namespace vardo
