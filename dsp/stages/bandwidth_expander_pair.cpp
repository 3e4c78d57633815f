#include "bandwidth_expander_pair.h"

#include "../primitives.h"

namespace vardo {

namespace {

constexpr float kMagnitudeFloor = 1.0001152f;

Float4 feed(const Float4& x, const Float4& w1, const Float4& w2, const Float4& a1,
            const Float4& a2, const Float4& g) {
  return x - (a1 * w1 + a2 * w2) * g;
}

// y = (x + y'') a - x'' through four sections, as AllpassChain<4>::process.
template <typename Chain>
Float4 allpassChain(Chain& c, Float4 in, const float (&coeffs)[4]) {
  Float4 x = in;
  for (int k = 0; k < 4; ++k) {
    const Float4 y = (x + c.two[k + 1]) * splat4(coeffs[k]) - c.two[k];
    c.two[k] = c.one[k];
    c.one[k] = x;
    x = y;
  }
  c.two[4] = c.one[4];
  c.one[4] = x;
  return x;
}

}  // namespace

void BandwidthExpanderPair::setRate(const SampleRate& rate) {
  fDesign.setRate(rate);
  loadCoefficients();
}

void BandwidthExpanderPair::prepareBlock(const ControlFields& controls, const SampleRate& rate) {
  fDesign.prepareBlock(controls, rate);
  loadCoefficients();
}

void BandwidthExpanderPair::loadCoefficients() {
  const BandwidthExpander& d = fDesign;
  const auto poles = [](const SectionCoeffs& c) {
    return Poles4{splat4(c.g), splat4(c.a1), splat4(c.a2)};
  };
  Coefficients& c = fCoeffs;
  c.bandHighpass = poles(d.fBandHighpass);
  c.bandHighpassK2 = splat4(d.fBandHighpassK2);
  c.bandHighpassMinus2K2 = splat4(d.fBandHighpassMinus2K2);
  for (int k = 0; k < kSections; ++k) {
    c.cornerLowpass[k] = poles(d.fCornerLowpass[k]);
    c.cornerHighpass[k] = poles(d.fCornerHighpass[k]);
  }
  c.envelopeLowpass = poles(d.fEnvelopeLowpass);
  c.expansionGain = splat4(d.fExpansionGain);
  c.cornerHighpassK2 = splat4(d.fCornerHighpassK2);
  c.cornerHighpassMinus2K2 = splat4(d.fCornerHighpassMinus2K2);
  c.lift = poles(d.fLift);
  c.liftB0 = splat4(d.fLiftB0);
  c.liftB2 = splat4(d.fLiftB2);
}

void BandwidthExpanderPair::clear() { fState = State{}; }

void BandwidthExpanderPair::process(const float* sumA, const float* sumB, float* outA,
                                    float* outB, int count) {
  const Coefficients& c = fCoeffs;
  State& st = fState;
  const Float4 two = splat4(2.0f);
  const Float4 floor = splat4(kMagnitudeFloor);
  for (int i = 0; i < count; ++i) {
    alignas(16) float lanes[4] = {sumA[i], sumB[i], 0.0f, 0.0f};
    const Float4 s = load4(lanes);

    // Isolate the band between 5 kHz and the corner + 400 Hz.
    Section4& hp = st.bandHighpass;
    const Poles4& hpc = c.bandHighpass;
    const Float4 wHigh = feed(s, hp.w1, hp.w2, hpc.a1, hpc.a2, hpc.g);
    Float4 u = ((wHigh + hp.w2) * c.bandHighpassK2 + hp.w1 * c.bandHighpassMinus2K2) * hpc.g;
    hp.w2 = hp.w1;
    hp.w1 = wHigh;
    for (int k = 0; k < kSections; ++k) {
      Section4& sec = st.cornerLowpass[k];
      const Poles4& p = c.cornerLowpass[k];
      const Float4 w = feed(u, sec.w1, sec.w2, p.a1, p.a2, p.g);
      u = (w + two * sec.w1 + sec.w2) * p.g;
      sec.w2 = sec.w1;
      sec.w1 = w;
    }

    // Analytic signal: branch A one sample late is the real part, branch B the imaginary.
    const Float4 aLate = st.quadratureA.one[4];
    const Float4 aNow = allpassChain(st.quadratureA, u, kQuadratureA);
    const Float4 bNow = allpassChain(st.quadratureB, u, kQuadratureB);

    const Float4 m = max4(sqrt4(bNow * bNow + aLate * aLate), floor);
    const Float4* mag = st.magnitude;
    const Float4 peak = max4(max4(max4(mag[2], mag[1]), max4(mag[0], mag[3])), m);

    Section4& env = st.envelope;
    const Poles4& ec = c.envelopeLowpass;
    const Float4 wEnv = feed(peak, env.w1, env.w2, ec.a1, ec.a2, ec.g);
    const Float4 envelope = wEnv + two * env.w1 + env.w2;
    env.w2 = env.w1;
    env.w1 = wEnv;

    const Float4 a3 = st.branchA[2];
    const Float4 b2 = st.branchB[1];
    Float4 e = (a3 * a3 - b2 * b2) / envelope * c.expansionGain;

    for (int k = 0; k < kSections; ++k) {
      Section4& sec = st.cornerHighpass[k];
      const Poles4& p = c.cornerHighpass[k];
      const Float4 w = feed(e, sec.w1, sec.w2, p.a1, p.a2, p.g);
      e = ((w + sec.w2) * c.cornerHighpassK2 + sec.w1 * c.cornerHighpassMinus2K2) * p.g;
      sec.w2 = sec.w1;
      sec.w1 = w;
    }

    Section4& lift = st.lift;
    const Poles4& lc = c.lift;
    const Float4 wLift = feed(e, lift.w1, lift.w2, lc.a1, lc.a2, lc.g);
    const Float4 y = (lift.w2 * c.liftB2 + lift.w1 * lc.a1 + wLift * c.liftB0) * lc.g;
    lift.w2 = lift.w1;
    lift.w1 = wLift;

    store4(lanes, y + st.sum[1]);
    outA[i] = lanes[0];
    outB[i] = lanes[1];

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
  }
}

}  // namespace vardo
