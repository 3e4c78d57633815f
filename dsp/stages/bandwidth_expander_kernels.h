// The bandwidth expansion's per-sample step, written once for every lane
// type. Included only where a lane type is instantiated.
#pragma once

#include "../lanes.h"
#include "../primitives.h"
#include "bandwidth_expander.h"

namespace vardo {

namespace expander_kernel {

// The analytic magnitude never falls below this, so the envelope divisor stays positive.
constexpr float kMagnitudeFloor = 1.0001152f;

template <class V>
struct Poles {
  V g, a1, a2;
  explicit Poles(const SectionCoeffs& c) : g(splat<V>(c.g)), a1(splat<V>(c.a1)), a2(splat<V>(c.a2)) {}
};

// A section's recursion values held in locals for a pass over the run.
template <class V>
struct Section {
  V w1, w2;
  template <class S>
  Section(const S& s, int lane) : w1(load<V>(s.w1 + lane)), w2(load<V>(s.w2 + lane)) {}
  template <class S>
  void save(S& s, int lane) const {
    store(s.w1 + lane, w1);
    store(s.w2 + lane, w2);
  }
  // w = x - (a1 w1 + a2 w2) g
  V feed(V x, const Poles<V>& p) const { return sectionFeed(x, w1, w2, p.a1, p.a2, p.g); }
  void shift(V w) {
    w2 = w1;
    w1 = w;
  }
  // Butterworth lowpass: y = (w + 2 w1 + w2) g.
  V lowpass(V x, const Poles<V>& p) {
    const V w = feed(x, p);
    const V y = lowpassNumerator(w, w1, w2) * p.g;
    shift(w);
    return y;
  }
  // Butterworth highpass: y = ((w + w2) K^2 + w1 (-2 K^2)) g.
  V highpass(V x, const Poles<V>& p, V kSquared, V minusTwoKSquared) {
    const V w = feed(x, p);
    const V y = highpassNumerator(w, w1, w2, kSquared, minusTwoKSquared) * p.g;
    shift(w);
    return y;
  }
};

// A four-section allpass chain's node histories in locals: y = (x + y'') a - x''.
template <class V>
struct Chain : AllpassHistories<V> {
  template <class C>
  Chain(const C& c, int lane) {
    for (int k = 0; k < 5; ++k) {
      this->one[k] = load<V>(c.one[k] + lane);
      this->two[k] = load<V>(c.two[k] + lane);
    }
  }
  template <class C>
  void save(C& c, int lane) const {
    for (int k = 0; k < 5; ++k) {
      store(c.one[k] + lane, this->one[k]);
      store(c.two[k] + lane, this->two[k]);
    }
  }
};

}  // namespace expander_kernel

template <class V>
void BandwidthExpander<V>::clear() {
  fState = State{};
}

template <class V>
void BandwidthExpander<V>::processRun(int count, std::uint32_t, const float* sumA,
                                      const float* sumB, float* outA, float* outB) {
  for (int done = 0; done < count; done += kMaxRun) {
    const int run = count - done < kMaxRun ? count - done : kMaxRun;
    processPiece(sumA + done, sumB + done, outA + done, outB + done, run);
  }
}

// The per-sample step cut into five passes over the run, each a few sections
// deep, with the state of the pass in locals. One sample's trip through all
// of them is a long chain of dependent operations; a pass short enough lets
// the processor work on several samples at once, limited only by each
// section's own feedback.
template <class V>
void BandwidthExpander<V>::processPiece(const float* sumA, const float* sumB, float* outA,
                                        float* outB, int count) {
  using expander_kernel::Chain;
  using expander_kernel::Poles;
  using Section = expander_kernel::Section<V>;
  const ExpanderBlockDesign& c = fBlock;
  State& st = fState;

  for (int i = 0; i < count; ++i) {
    fIn[i][0] = sumA[i];
    fIn[i][1] = sumB[i];
    for (int lane = kChannels; lane < kLanes; ++lane) fIn[i][lane] = 0.0f;
  }

  for (int lane = 0; lane < kChannels; lane += kStep) {
    // Isolate the band between 5 kHz and the corner + 400 Hz.
    {
      const Poles<V> highPoles(fRate.bandHighpass);
      const V k2 = splat<V>(fRate.bandHighpassK2);
      const V minus2K2 = splat<V>(fRate.bandHighpassMinus2K2);
      const Poles<V> low0(c.cornerLowpass[0]);
      const Poles<V> low1(c.cornerLowpass[1]);
      Section high(st.bandHighpass, lane);
      Section s0(st.cornerLowpass[0], lane);
      Section s1(st.cornerLowpass[1], lane);
      for (int i = 0; i < count; ++i) {
        V u = high.highpass(load<V>(fIn[i] + lane), highPoles, k2, minus2K2);
        u = s0.lowpass(u, low0);
        store(fValue[i] + lane, s1.lowpass(u, low1));
      }
      high.save(st.bandHighpass, lane);
      s0.save(st.cornerLowpass[0], lane);
      s1.save(st.cornerLowpass[1], lane);
    }
    {
      const Poles<V> p2(c.cornerLowpass[2]), p3(c.cornerLowpass[3]), p4(c.cornerLowpass[4]),
          p5(c.cornerLowpass[5]);
      Section s2(st.cornerLowpass[2], lane), s3(st.cornerLowpass[3], lane),
          s4(st.cornerLowpass[4], lane), s5(st.cornerLowpass[5], lane);
      for (int i = 0; i < count; ++i) {
        V u = load<V>(fValue[i] + lane);
        u = s2.lowpass(u, p2);
        u = s3.lowpass(u, p3);
        u = s4.lowpass(u, p4);
        store(fValue[i] + lane, s5.lowpass(u, p5));
      }
      s2.save(st.cornerLowpass[2], lane);
      s3.save(st.cornerLowpass[3], lane);
      s4.save(st.cornerLowpass[4], lane);
      s5.save(st.cornerLowpass[5], lane);
    }

    // The analytic signal: the two allpass branches, one pass each so that
    // their node histories stay in registers. fBranch takes the outputs of
    // branch A (one sample late, the real part) and branch B (the imaginary part).
    {
      Chain<V> chainA(st.quadratureA, lane);
      for (int i = 0; i < count; ++i) {
        store(fBranch[i][0] + lane, chainA.process(load<V>(fValue[i] + lane), kQuadratureA));
      }
      chainA.save(st.quadratureA, lane);
    }
    {
      Chain<V> chainB(st.quadratureB, lane);
      for (int i = 0; i < count; ++i) {
        store(fBranch[i][1] + lane, chainB.process(load<V>(fValue[i] + lane), kQuadratureB));
      }
      chainB.save(st.quadratureB, lane);
    }

    // Its magnitude and envelope, and the normalised square.
    {
      const V floor = splat<V>(expander_kernel::kMagnitudeFloor);
      const V gain = splat<V>(c.expansionGain);
      const Poles<V> envPoles(fRate.envelopeLowpass);
      Section env(st.envelope, lane);
      V a1 = load<V>(st.branchA[0] + lane), a2 = load<V>(st.branchA[1] + lane),
        a3 = load<V>(st.branchA[2] + lane);
      V b1 = load<V>(st.branchB[0] + lane), b2 = load<V>(st.branchB[1] + lane);
      V m1 = load<V>(st.magnitude[0] + lane), m2 = load<V>(st.magnitude[1] + lane),
        m3 = load<V>(st.magnitude[2] + lane), m4 = load<V>(st.magnitude[3] + lane);
      for (int i = 0; i < count; ++i) {
        // Branch A one sample late is the real part, branch B the imaginary.
        const V aLate = a1;
        const V aNow = load<V>(fBranch[i][0] + lane);
        const V bNow = load<V>(fBranch[i][1] + lane);

        // Magnitude, floored, and its peak over five samples.
        const V m = laneMax(laneSqrt(bNow * bNow + aLate * aLate), floor);
        const V peak = laneMax(laneMax(laneMax(m3, m2), laneMax(m1, m4)), m);

        // The raw numerator of the 100 Hz lowpass, i.e. a0 times its output.
        const V wEnv = env.feed(peak, envPoles);
        const V envelope = lowpassNumerator(wEnv, env.w1, env.w2);
        env.shift(wEnv);

        // Real part of the squared analytic signal, centred on the five-sample
        // peak window, over the envelope, scaled by the level (which carries a0).
        store(fValue[i] + lane, (a3 * a3 - b2 * b2) / envelope * gain);

        a3 = a2;
        a2 = a1;
        a1 = aNow;
        b2 = b1;
        b1 = bNow;
        m4 = m3;
        m3 = m2;
        m2 = m1;
        m1 = m;
      }
      env.save(st.envelope, lane);
      store(st.branchA[0] + lane, a1);
      store(st.branchA[1] + lane, a2);
      store(st.branchA[2] + lane, a3);
      store(st.branchB[0] + lane, b1);
      store(st.branchB[1] + lane, b2);
      store(st.magnitude[0] + lane, m1);
      store(st.magnitude[1] + lane, m2);
      store(st.magnitude[2] + lane, m3);
      store(st.magnitude[3] + lane, m4);
    }

    // Keep only what the squaring put above the corner.
    const V k2 = splat<V>(c.cornerHighpassK2);
    const V minus2K2 = splat<V>(c.cornerHighpassMinus2K2);
    {
      const Poles<V> p0(c.cornerHighpass[0]), p1(c.cornerHighpass[1]), p2(c.cornerHighpass[2]);
      Section s0(st.cornerHighpass[0], lane), s1(st.cornerHighpass[1], lane),
          s2(st.cornerHighpass[2], lane);
      for (int i = 0; i < count; ++i) {
        V e = load<V>(fValue[i] + lane);
        e = s0.highpass(e, p0, k2, minus2K2);
        e = s1.highpass(e, p1, k2, minus2K2);
        store(fValue[i] + lane, s2.highpass(e, p2, k2, minus2K2));
      }
      s0.save(st.cornerHighpass[0], lane);
      s1.save(st.cornerHighpass[1], lane);
      s2.save(st.cornerHighpass[2], lane);
    }

    // The rest of the highpass, the +6 dB lift around the corner + 400 Hz,
    // and the channel sum two samples late.
    {
      const Poles<V> p3(c.cornerHighpass[3]), p4(c.cornerHighpass[4]), p5(c.cornerHighpass[5]);
      Section s3(st.cornerHighpass[3], lane), s4(st.cornerHighpass[4], lane),
          s5(st.cornerHighpass[5], lane);
      const Poles<V> liftPoles(c.lift);
      const V liftB0 = splat<V>(c.liftB0);
      const V liftB2 = splat<V>(c.liftB2);
      Section lift(st.lift, lane);
      V sum1 = load<V>(st.sum[0] + lane);
      V sum2 = load<V>(st.sum[1] + lane);
      for (int i = 0; i < count; ++i) {
        V e = load<V>(fValue[i] + lane);
        e = s3.highpass(e, p3, k2, minus2K2);
        e = s4.highpass(e, p4, k2, minus2K2);
        e = s5.highpass(e, p5, k2, minus2K2);

        const V wLift = lift.feed(e, liftPoles);
        const V y = (lift.w2 * liftB2 + lift.w1 * liftPoles.a1 + wLift * liftB0) * liftPoles.g;
        lift.shift(wLift);

        store(fValue[i] + lane, y + sum2);
        sum2 = sum1;
        sum1 = load<V>(fIn[i] + lane);
      }
      s3.save(st.cornerHighpass[3], lane);
      s4.save(st.cornerHighpass[4], lane);
      s5.save(st.cornerHighpass[5], lane);
      lift.save(st.lift, lane);
      store(st.sum[0] + lane, sum1);
      store(st.sum[1] + lane, sum2);
    }
  }

  for (int i = 0; i < count; ++i) {
    outA[i] = fValue[i][0];
    outB[i] = fValue[i][1];
  }
}

}  // namespace vardo
