// The bandwidth expansion's per-sample step, written once for every lane
// type. Included only where a lane type is instantiated.
#pragma once

#include <type_traits>

#include "bandwidth_expander.h"
#include "primitives/primitives.h"
#include "primitives/section_front.h"
#include "simd/lanes.h"

namespace vardo {

namespace expander_kernel {

// The analytic magnitude never falls below this, so the envelope divisor stays positive.
constexpr float kMagnitudeFloor = 1.0001152f;

template <class V>
using Poles = SectionPoles<V>;
template <class V>
using Section = BilinearSection<V>;

// A section's recursion values from the lanes at `lane` of its state, and back.
template <class V, class S>
Section<V> loadSection(const S& s, int lane) {
  return {load<V>(s.w1 + lane), load<V>(s.w2 + lane)};
}
template <class V, class S>
void saveSection(S& s, int lane, const Section<V>& section) {
  store(s.w1 + lane, section.w1);
  store(s.w2 + lane, section.w2);
}

// N consecutive sections of a cascade in locals for a pass over a run, from
// the lanes at `lane` of their states, and back.
template <class V, int N>
struct LocalCascade {
  Poles<V> poles[N];
  Section<V> sections[N];

  template <class S>
  LocalCascade(const SectionCoeffs* coeffs, const S* states, int lane) {
    for (int k = 0; k < N; ++k) {
      poles[k] = splatPoles<V>(coeffs[k]);
      sections[k] = loadSection<V>(states[k], lane);
    }
  }
  template <class S>
  void save(S* states, int lane) const {
    for (int k = 0; k < N; ++k) saveSection(states[k], lane, sections[k]);
  }
  V lowpass(V x) {
    for (int k = 0; k < N; ++k) x = sections[k].lowpass(x, poles[k]);
    return x;
  }
  V highpass(V x, V kSquared, V minusTwoKSquared) {
    for (int k = 0; k < N; ++k) x = sections[k].highpass(x, poles[k], kSquared, minusTwoKSquared);
    return x;
  }
};

// A quadrature branch's node histories in locals: y = (x + y'') a - x''.
template <class V>
struct BranchHistories : AllpassChain<V> {
  template <class C>
  BranchHistories(const C& c, int lane) {
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

// Four lanes as two pairs: {first, first, second, second}.
inline Float4 lanesAABB(float first, float second) {
  alignas(16) const float v[4] = {first, first, second, second};
  return load4(v);
}

// Two sections of a cascade on the two channels, side by side in four
// lanes: lanes 0 and 1 the channels of the first, lanes 2 and 3 those of the
// second. A pair may end a cascade with a second that only passes its input
// on (lanes 2 and 3 then keep no state of their own).
struct SectionPair {
  Poles<Float4> poles;
  Section<Float4> section;

  template <class S>
  SectionPair(const SectionCoeffs& c1, const SectionCoeffs& c2, const S& s1, const S& s2)
      : poles{lanesAABB(c1.g, c2.g), lanesAABB(c1.a1, c2.a1), lanesAABB(c1.a2, c2.a2)},
        section{lowPairs4(load4(s1.w1), load4(s2.w1)), lowPairs4(load4(s1.w2), load4(s2.w2))} {}
  // Back into the channels' lanes of the sections' states (their other
  // lanes are left as they are).
  template <class S>
  void saveFirst(S& s1) const {
    store4(s1.w1, lowPairFrom4(section.w1, load4(s1.w1)));
    store4(s1.w2, lowPairFrom4(section.w2, load4(s1.w2)));
  }
  template <class S>
  void save(S& s1, S& s2) const {
    saveFirst(s1);
    store4(s2.w1, lowPairFrom4(highPairOf4(section.w1), load4(s2.w1)));
    store4(s2.w2, lowPairFrom4(highPairOf4(section.w2), load4(s2.w2)));
  }
};

// A cascade of eight sections on the two channels, given by each section's
// coefficients and state, run as four pairs on a wavefront (runFront). A
// last section that repeats the one before only passes its input on.
// step(j, pair, x) runs pair j on its input x and returns its outputs, with
// the pair's recursion still to move on; fresh and done as for runFront.
template <class S>
struct PairedCascade {
  SectionPair pairs[4];
  S* states[8];

  PairedCascade(const SectionCoeffs* const (&c)[8], S* const (&s)[8])
      : pairs{{*c[0], *c[1], *s[0], *s[1]},
              {*c[2], *c[3], *s[2], *s[3]},
              {*c[4], *c[5], *s[4], *s[5]},
              {*c[6], *c[7], *s[6], *s[7]}},
        states{s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]} {}

  template <class Fresh, class Step, class Done>
  [[gnu::always_inline]] void run(int count, Fresh fresh, Step step, Done done) {
    runFront<2, 4>(
        count, fresh,
        [&]<bool kAll>(int j, Float4 x, Mask4 active) {
          Section<Float4>& pair = pairs[j].section;
          const Float4 w = pair.feed(x, pairs[j].poles);
          const Float4 y = step(j, pairs[j], x, w);
          pair.template shift<kAll>(w, active);
          return y;
        },
        done);
    for (int j = 0; j < 4; ++j) {
      if (states[2 * j + 1] == states[2 * j]) {
        pairs[j].saveFirst(*states[2 * j]);
      } else {
        pairs[j].save(*states[2 * j], *states[2 * j + 1]);
      }
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
  for (int done = 0; done < count; done += kPiece) {
    const int piece = count - done < kPiece ? count - done : kPiece;
    processPiece(sumA + done, sumB + done, outA + done, outB + done, piece);
  }
}

// The per-sample step cut into passes over the run, each a few sections
// deep, with the state of the pass in locals. One sample's trip through all
// of them is a long chain of dependent operations; a pass short enough lets
// the processor work on several samples at once, limited only by each
// section's own feedback. On four lanes the filter cascades run as
// wavefronts two sections at a time, and both allpass branches in one pass.
template <class V>
void BandwidthExpander<V>::processPiece(const float* sumA, const float* sumB, float* outA,
                                        float* outB, int count) {
  takeChannels(sumA, sumB, count);
  for (int lane = 0; lane < kChannels; lane += kStep) {
    isolateBand(lane, count, V{});
    analyticSignal(lane, count, V{});
    normalisedSquare(lane, count);
    liftAboveCorner(lane, count, V{});
  }
  giveChannels(outA, outB, count);
}

// The channel sums into the lanes of the first two, zero in the others.
template <class V>
void BandwidthExpander<V>::takeChannels(const float* sumA, const float* sumB, int count) {
  for (int i = 0; i < count; ++i) {
    fIn[i][0] = sumA[i];
    fIn[i][1] = sumB[i];
    for (int lane = kChannels; lane < kLanes; ++lane) fIn[i][lane] = 0.0f;
  }
}

// The channels' values out of their lanes.
template <class V>
void BandwidthExpander<V>::giveChannels(float* outA, float* outB, int count) const {
  for (int i = 0; i < count; ++i) {
    outA[i] = fValue[i][0];
    outB[i] = fValue[i][1];
  }
}

// Isolates the band between 5 kHz and the corner + 400 Hz, section by section.
template <class V>
template <class W>
void BandwidthExpander<V>::isolateBand(int lane, int count, W) {
  using expander_kernel::LocalCascade;
  const ExpanderBlockDesign& c = fBlock;
  State& st = fState;
  {
    LocalCascade<V, 1> high(&fRate.bandHighpass, &st.bandHighpass, lane);
    LocalCascade<V, 2> low(c.cornerLowpass, st.cornerLowpass, lane);
    const V k2 = splat<V>(fRate.bandHighpassK2);
    const V minus2K2 = splat<V>(fRate.bandHighpassMinus2K2);
    for (int i = 0; i < count; ++i) {
      const V u = high.highpass(load<V>(fIn[i] + lane), k2, minus2K2);
      store(fValue[i] + lane, low.lowpass(u));
    }
    high.save(&st.bandHighpass, lane);
    low.save(st.cornerLowpass, lane);
  }
  {
    LocalCascade<V, 4> low(c.cornerLowpass + 2, st.cornerLowpass + 2, lane);
    for (int i = 0; i < count; ++i) store(fValue[i] + lane, low.lowpass(load<V>(fValue[i] + lane)));
    low.save(st.cornerLowpass + 2, lane);
  }
}

// The same on four lanes, where the two channels fill two: the sections run
// two at a time, as a wavefront (the band's highpass with the first lowpass,
// then the lowpasses in pairs, the last beside nothing).
template <class V>
template <class>
void BandwidthExpander<V>::isolateBand(int, int count, Float4) {
  const ExpanderBlockDesign& c = fBlock;
  State& st = fState;
  using expander_kernel::lanesAABB;
  expander_kernel::PairedCascade<Section> cascade(
      {&fRate.bandHighpass, &c.cornerLowpass[0], &c.cornerLowpass[1], &c.cornerLowpass[2],
       &c.cornerLowpass[3], &c.cornerLowpass[4], &c.cornerLowpass[5], &c.cornerLowpass[5]},
      {&st.bandHighpass, &st.cornerLowpass[0], &st.cornerLowpass[1], &st.cornerLowpass[2],
       &st.cornerLowpass[3], &st.cornerLowpass[4], &st.cornerLowpass[5], &st.cornerLowpass[5]});
  const Float4 k2 = lanesAABB(fRate.bandHighpassK2, 0.0f);
  const Float4 minus2K2 = lanesAABB(fRate.bandHighpassMinus2K2, 0.0f);
  cascade.run(
      count, [&](int i) { return load4(fIn[i]); },
      [&](int j, const expander_kernel::SectionPair& pair, Float4 x, Float4 w) {
        const Float4 low = pair.section.lowpassNumerator(w) * pair.poles.g;
        if (j == 0) {
          const Float4 high = pair.section.highpassNumerator(w, k2, minus2K2) * pair.poles.g;
          return lowPairFrom4(high, low);
        }
        // The last lowpass, then its output passed on.
        return j == 3 ? lowPairFrom4(low, x) : low;
      },
      [&](int i, Float4 y) { store4(fValue[i], lowPairFrom4(highPairOf4(y), splat4(0.0f))); });
}

// The analytic signal: the two allpass branches; fBranch takes the outputs of
// branch A (one sample late, the real part) and branch B (the imaginary part).
template <class V>
template <class W>
void BandwidthExpander<V>::analyticSignal(int lane, int count, W) {
  using expander_kernel::BranchHistories;
  State& st = fState;
  {
    BranchHistories<V> chainA(st.quadratureA, lane);
    for (int i = 0; i < count; ++i) {
      store(fBranch[i][0] + lane, chainA.process(load<V>(fValue[i] + lane), kQuadratureA));
    }
    chainA.save(st.quadratureA, lane);
  }
  {
    BranchHistories<V> chainB(st.quadratureB, lane);
    for (int i = 0; i < count; ++i) {
      store(fBranch[i][1] + lane, chainB.process(load<V>(fValue[i] + lane), kQuadratureB));
    }
    chainB.save(st.quadratureB, lane);
  }
}

// The same on four lanes: both branches at once, A in the channels' lanes,
// B in the other two.
template <class V>
template <class>
void BandwidthExpander<V>::analyticSignal(int, int count, Float4) {
  State& st = fState;
  using expander_kernel::lanesAABB;
  AllpassChain<Float4> both;
  for (int k = 0; k < 5; ++k) {
    both.one[k] = lowPairs4(load4(st.quadratureA.one[k]), load4(st.quadratureB.one[k]));
    both.two[k] = lowPairs4(load4(st.quadratureA.two[k]), load4(st.quadratureB.two[k]));
  }
  Float4 coeffs[4];
  for (int k = 0; k < 4; ++k) coeffs[k] = lanesAABB(kQuadratureA[k], kQuadratureB[k]);
  const Float4 zero = splat4(0.0f);
  for (int i = 0; i < count; ++i) {
    const Float4 x = load4(fValue[i]);
    const Float4 y = both.processLanes(lowPairs4(x, x), coeffs);
    store4(fBranch[i][0], lowPairFrom4(y, zero));
    store4(fBranch[i][1], lowPairFrom4(highPairOf4(y), zero));
  }
  for (int k = 0; k < 5; ++k) {
    store4(st.quadratureA.one[k], lowPairFrom4(both.one[k], load4(st.quadratureA.one[k])));
    store4(st.quadratureA.two[k], lowPairFrom4(both.two[k], load4(st.quadratureA.two[k])));
    store4(st.quadratureB.one[k],
           lowPairFrom4(highPairOf4(both.one[k]), load4(st.quadratureB.one[k])));
    store4(st.quadratureB.two[k],
           lowPairFrom4(highPairOf4(both.two[k]), load4(st.quadratureB.two[k])));
  }
}

// The magnitude of the analytic signal and its envelope, and the normalised
// square.
template <class V>
void BandwidthExpander<V>::normalisedSquare(int lane, int count) {
  using Section = expander_kernel::Section<V>;
  using expander_kernel::loadSection;
  using expander_kernel::saveSection;
  using expander_kernel::Poles;
  const ExpanderBlockDesign& c = fBlock;
  State& st = fState;
  const V floor = splat<V>(expander_kernel::kMagnitudeFloor);
  const V gain = splat<V>(c.expansionGain);
  const Poles<V> envPoles = splatPoles<V>(fRate.envelopeLowpass);
  Section env = loadSection<V>(st.envelope, lane);
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
  saveSection(st.envelope, lane, env);
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

// Keeps only what the squaring put above the corner, lifts it by 6 dB around
// the corner + 400 Hz, and adds the channel sum two samples late.
template <class V>
template <class W>
void BandwidthExpander<V>::liftAboveCorner(int lane, int count, W) {
  using Section = expander_kernel::Section<V>;
  using expander_kernel::LocalCascade;
  using expander_kernel::loadSection;
  using expander_kernel::saveSection;
  using expander_kernel::Poles;
  const ExpanderBlockDesign& c = fBlock;
  State& st = fState;
  const V k2 = splat<V>(c.cornerHighpassK2);
  const V minus2K2 = splat<V>(c.cornerHighpassMinus2K2);
  {
    LocalCascade<V, 3> high(c.cornerHighpass, st.cornerHighpass, lane);
    for (int i = 0; i < count; ++i) {
      store(fValue[i] + lane, high.highpass(load<V>(fValue[i] + lane), k2, minus2K2));
    }
    high.save(st.cornerHighpass, lane);
  }

  // The rest of the highpass, the +6 dB lift around the corner + 400 Hz,
  // and the channel sum two samples late.
  {
    LocalCascade<V, 3> high(c.cornerHighpass + 3, st.cornerHighpass + 3, lane);
    const Poles<V> liftPoles = splatPoles<V>(c.lift);
    const V liftB0 = splat<V>(c.liftB0);
    const V liftB2 = splat<V>(c.liftB2);
    Section lift = loadSection<V>(st.lift, lane);
    V sum1 = load<V>(st.sum[0] + lane);
    V sum2 = load<V>(st.sum[1] + lane);
    for (int i = 0; i < count; ++i) {
      const V e = high.highpass(load<V>(fValue[i] + lane), k2, minus2K2);
      const V y = peakingStep<FeedbackOrder::kNearFirst>(lift, e, liftPoles, liftB0, liftB2);
      store(fValue[i] + lane, y + sum2);
      sum2 = sum1;
      sum1 = load<V>(fIn[i] + lane);
    }
    high.save(st.cornerHighpass + 3, lane);
    saveSection(st.lift, lane, lift);
    store(st.sum[0] + lane, sum1);
    store(st.sum[1] + lane, sum2);
  }
}

// The same on four lanes: the highpasses in pairs, then the lift beside nothing.
template <class V>
template <class>
void BandwidthExpander<V>::liftAboveCorner(int, int count, Float4) {
  const ExpanderBlockDesign& c = fBlock;
  State& st = fState;
  expander_kernel::PairedCascade<Section> cascade(
      {&c.cornerHighpass[0], &c.cornerHighpass[1], &c.cornerHighpass[2], &c.cornerHighpass[3],
       &c.cornerHighpass[4], &c.cornerHighpass[5], &c.lift, &c.lift},
      {&st.cornerHighpass[0], &st.cornerHighpass[1], &st.cornerHighpass[2], &st.cornerHighpass[3],
       &st.cornerHighpass[4], &st.cornerHighpass[5], &st.lift, &st.lift});
  const Float4 k2 = splat4(c.cornerHighpassK2);
  const Float4 minus2K2 = splat4(c.cornerHighpassMinus2K2);
  const Float4 liftB0 = splat4(c.liftB0);
  const Float4 liftB2 = splat4(c.liftB2);
  Float4 sum1 = load4(st.sum[0]);
  Float4 sum2 = load4(st.sum[1]);
  cascade.run(
      count, [&](int i) { return load4(fValue[i]); },
      [&](int j, const expander_kernel::SectionPair& pair, Float4 x, Float4 w) {
        const expander_kernel::Section<Float4>& s = pair.section;
        if (j < 3) return s.highpassNumerator(w, k2, minus2K2) * pair.poles.g;
        // The lift (b1 = a1), then its output passed on.
        const Float4 lift = peakingNumerator(w, s.w1, s.w2, liftB0, pair.poles.a1, liftB2);
        return lowPairFrom4(lift * pair.poles.g, x);
      },
      [&](int i, Float4 y) {
        store4(fValue[i], lowPairFrom4(highPairOf4(y), splat4(0.0f)) + sum2);
        sum2 = sum1;
        sum1 = load4(fIn[i]);
      });
  store4(st.sum[0], sum1);
  store4(st.sum[1], sum2);
}

}  // namespace vardo
