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

// One section of the corner lowpass cascade: w = x - (a1 w1 + a2 w2) g,
// y = (w + 2 w1 + w2) g.
inline Float4 lowpassStep(BandwidthExpanderPair::Section4& sec,
                          const BandwidthExpanderPair::Poles4& p, Float4 x) {
  const Float4 w = feed(x, sec.w1, sec.w2, p.a1, p.a2, p.g);
  const Float4 y = (w + splat4(2.0f) * sec.w1 + sec.w2) * p.g;
  sec.w2 = sec.w1;
  sec.w1 = w;
  return y;
}

// One highpass section: y = ((w + w2) K^2 + w1 (-2 K^2)) g.
inline Float4 highpassStep(BandwidthExpanderPair::Section4& sec,
                           const BandwidthExpanderPair::Poles4& p, Float4 x, Float4 kSquared,
                           Float4 minusTwoKSquared) {
  const Float4 w = feed(x, sec.w1, sec.w2, p.a1, p.a2, p.g);
  const Float4 y = ((w + sec.w2) * kSquared + sec.w1 * minusTwoKSquared) * p.g;
  sec.w2 = sec.w1;
  sec.w1 = w;
  return y;
}

void BandwidthExpanderPair::process(const float* sumA, const float* sumB, float* outA,
                                    float* outB, int count) {
  for (int done = 0; done < count; done += kMaxRun) {
    const int run = count - done < kMaxRun ? count - done : kMaxRun;
    processRun(sumA + done, sumB + done, outA + done, outB + done, run);
  }
}

// The per-sample step cut into five passes over the run, each a few sections
// deep. One sample's trip through all of them is a long chain of dependent
// operations; a pass short enough lets the processor work on several samples
// at once, limited only by each section's own feedback.
void BandwidthExpanderPair::processRun(const float* sumA, const float* sumB, float* outA,
                                       float* outB, int count) {
  const Coefficients& c = fCoeffs;
  State& st = fState;
  Float4* const in = fRun.in;
  Float4* const v = fRun.value;

  // Isolate the band between 5 kHz and the corner + 400 Hz.
  for (int i = 0; i < count; ++i) {
    alignas(16) float lanes[4] = {sumA[i], sumB[i], 0.0f, 0.0f};
    const Float4 s = load4(lanes);
    in[i] = s;
    Float4 u = highpassStep(st.bandHighpass, c.bandHighpass, s, c.bandHighpassK2,
                            c.bandHighpassMinus2K2);
    u = lowpassStep(st.cornerLowpass[0], c.cornerLowpass[0], u);
    v[i] = lowpassStep(st.cornerLowpass[1], c.cornerLowpass[1], u);
  }
  for (int i = 0; i < count; ++i) {
    Float4 u = v[i];
    for (int k = 2; k < kSections; ++k) u = lowpassStep(st.cornerLowpass[k], c.cornerLowpass[k], u);
    v[i] = u;
  }

  // Analytic signal, its magnitude and envelope, and the normalised square.
  const Float4 two = splat4(2.0f);
  const Float4 floor = splat4(kMagnitudeFloor);
  for (int i = 0; i < count; ++i) {
    const Float4 u = v[i];
    // Branch A one sample late is the real part, branch B the imaginary.
    const Float4 aLate = st.quadratureA.one[4];
    const Float4 aNow = allpassChain(st.quadratureA, u, kQuadratureA);
    const Float4 bNow = allpassChain(st.quadratureB, u, kQuadratureB);

    const Float4 m = max4(sqrt4(bNow * bNow + aLate * aLate), floor);
    const Float4* mag = st.magnitude;
    const Float4 peak = max4(max4(max4(mag[2], mag[1]), max4(mag[0], mag[3])), m);

    // The raw numerator of the 100 Hz lowpass, i.e. a0 times its output.
    Section4& env = st.envelope;
    const Poles4& ec = c.envelopeLowpass;
    const Float4 wEnv = feed(peak, env.w1, env.w2, ec.a1, ec.a2, ec.g);
    const Float4 envelope = wEnv + two * env.w1 + env.w2;
    env.w2 = env.w1;
    env.w1 = wEnv;

    const Float4 a3 = st.branchA[2];
    const Float4 b2 = st.branchB[1];
    v[i] = (a3 * a3 - b2 * b2) / envelope * c.expansionGain;

    st.branchA[2] = st.branchA[1];
    st.branchA[1] = st.branchA[0];
    st.branchA[0] = aNow;
    st.branchB[1] = st.branchB[0];
    st.branchB[0] = bNow;
    st.magnitude[3] = st.magnitude[2];
    st.magnitude[2] = st.magnitude[1];
    st.magnitude[1] = st.magnitude[0];
    st.magnitude[0] = m;
  }

  // Keep only what the squaring put above the corner.
  const Float4 k2 = c.cornerHighpassK2;
  const Float4 minus2K2 = c.cornerHighpassMinus2K2;
  for (int i = 0; i < count; ++i) {
    Float4 e = v[i];
    for (int k = 0; k < 3; ++k) e = highpassStep(st.cornerHighpass[k], c.cornerHighpass[k], e, k2, minus2K2);
    v[i] = e;
  }

  // The rest of the highpass, the +6 dB lift around the corner + 400 Hz, and
  // the channel sum two samples late.
  for (int i = 0; i < count; ++i) {
    Float4 e = v[i];
    for (int k = 3; k < kSections; ++k) e = highpassStep(st.cornerHighpass[k], c.cornerHighpass[k], e, k2, minus2K2);

    Section4& lift = st.lift;
    const Poles4& lc = c.lift;
    const Float4 wLift = feed(e, lift.w1, lift.w2, lc.a1, lc.a2, lc.g);
    const Float4 y = (lift.w2 * c.liftB2 + lift.w1 * lc.a1 + wLift * c.liftB0) * lc.g;
    lift.w2 = lift.w1;
    lift.w1 = wLift;

    alignas(16) float lanes[4];
    store4(lanes, y + st.sum[1]);
    outA[i] = lanes[0];
    outB[i] = lanes[1];
    st.sum[1] = st.sum[0];
    st.sum[0] = in[i];
  }
}

}  // namespace vardo
