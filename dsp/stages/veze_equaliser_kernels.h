// The fixed equaliser's passes, on four lanes whatever the chain's lane type:
// each chain's unit compiles them with its own instruction set's encoding
// (three-operand forms where it has them, which spare the register copies),
// and the arithmetic, and so every bit, stays the same.
#pragma once

#include "primitives/section_front.h"
#include "primitives/sections.h"
#include "simd/float4.h"
#include "veze_equaliser.h"

namespace vardo {
namespace veze_detail {

// Everything here is inlined into processRunIn, so no unit defines a copy
// that another could take.
// Lanes {a, b, b, b}: a half-pair's lowpass value in lane 0 and its
// highpass value in the others.
[[gnu::always_inline]] inline Float4 lanesABBB(float low, float high) {
  alignas(16) const float v[4] = {low, high, high, high};
  return load4(v);
}

// A first-order split at one corner on both halves at once: lane 0 the
// lowpass y = (x1 - y1 (1 - K) + x) (1 / (K + 1)), the other lanes the
// highpass y = x1 (-1 / (1 + T)) + (x K - (1 - K) y1) (1 / (K + 1)).
struct FirstOrderHalves {
  Float4 oneMinusK, invKPlusOne, k, highpassB1;  // the terms in every lane
  Float4 x1, y1;

  [[gnu::always_inline]] FirstOrderHalves(const FirstOrderCoeffs& c, const FirstOrderSection& low,
                   const FirstOrderSection& high)
      : oneMinusK(splat4(c.oneMinusK)),
        invKPlusOne(splat4(c.invKPlusOne)),
        k(splat4(c.k)),
        highpassB1(splat4(c.highpassB1)),
        x1(lanesABBB(low.x1, high.x1)),
        y1(lanesABBB(low.y1, high.y1)) {}
  [[gnu::always_inline]] void save(FirstOrderSection& low, FirstOrderSection& high) const {
    low = {lane0Of4(x1), lane0Of4(y1)};
    high = {lane1Of4(x1), lane1Of4(y1)};
  }
  [[gnu::always_inline]] Float4 step(Float4 x) {
    const Float4 feedback = y1 * oneMinusK;  // (1 - K) y1 in either order
    const Float4 low = (x1 - feedback + x) * invKPlusOne;
    const Float4 high = x1 * highpassB1 + (x * k - feedback) * invKPlusOne;
    const Float4 y = lane0From4(low, high);
    x1 = x;
    y1 = y;
    return y;
  }
};

// A shelf's second-order sections as a wavefront, two sections to a group
// of four lanes: lanes 0 and 1 the lowpass and highpass halves of section
// 2k, lanes 2 and 3 those of section 2k + 1 (with an odd count the last
// group's upper pair idles on zero coefficients). At step t the first-order
// split takes sample t and section j sample t - 1 - j, on its predecessor's
// output of the step before, so one step's recursions do not wait on each
// other; each section still sees its own samples in order with its own
// arithmetic. Both halves take the same input, and each pair of sections
// shares its poles; the last section's numerators are mixed with the shelf
// gain and normalised once.
template <int Sections>
struct ShelfFront {
  static constexpr int kGroups = (Sections + 1) / 2;
  static constexpr int kLastGroup = (Sections - 1) / 2;

  FirstOrderHalves first;
  float lastG, gain;
  bool highShelf;
  Float4 kSquared, minusTwoKSquared;
  Mask4 lowLanes;          // lanes 0 and 2
  SectionPoles<Float4> poles[kGroups];
  BilinearSection<Float4> sections[kGroups];
  Float4 lag[kGroups];     // the samples by which each lane's section trails the split
  Float4 split{};          // the split's latest output
  Float4 latest[kGroups];  // each section's latest normalised output

  // get(j, high) for the lanes of section j's half, 0 past the last section.
  template <class Get>
  [[gnu::always_inline]] static Float4 perLane(int k, Get get) {
    alignas(16) float v[4];
    for (int l = 0; l < 4; ++l) {
      const int j = 2 * k + l / 2;
      v[l] = j < Sections ? get(j, l % 2 == 1) : 0.0f;
    }
    return load4(v);
  }

  [[gnu::always_inline]] ShelfFront(const ShelfCoeffs<Sections>& c, const ShelfState<Sections>& s)
      : first(c.first, s.lowFirst, s.highFirst),
        lastG(c.poles[Sections - 1].g),
        gain(c.gain),
        highShelf(c.highShelf),
        kSquared(splat4(c.kSquared)),
        minusTwoKSquared(splat4(c.minusTwoKSquared)),
        lowLanes(equal4(pairs4(1.0f, 0.0f), splat4(1.0f))) {
    const auto& low = s.low;
    const auto& high = s.high;
    for (int k = 0; k < kGroups; ++k) {
      poles[k].g = perLane(k, [&](int j, bool) { return c.poles[j].g; });
      poles[k].a1 = perLane(k, [&](int j, bool) { return c.poles[j].a1; });
      poles[k].a2 = perLane(k, [&](int j, bool) { return c.poles[j].a2; });
      sections[k].w1 = perLane(k, [&](int j, bool h) { return h ? high[j].w1 : low[j].w1; });
      sections[k].w2 = perLane(k, [&](int j, bool h) { return h ? high[j].w2 : low[j].w2; });
      lag[k] = perLane(k, [](int j, bool) { return static_cast<float>(j + 1); });
      latest[k] = splat4(0.0f);
    }
  }
  [[gnu::always_inline]] void save(ShelfState<Sections>& s) const {
    first.save(s.lowFirst, s.highFirst);
    for (int k = 0; k < kGroups; ++k) {
      alignas(16) float v1[4], v2[4];
      store4(v1, sections[k].w1);
      store4(v2, sections[k].w2);
      for (int l = 0; l < 4 && 2 * k + l / 2 < Sections; ++l) {
        (l % 2 ? s.high : s.low)[2 * k + l / 2] = {v1[l], v2[l]};
      }
    }
  }

  // Group k on its input x: the raw numerators, lowpass in lanes 0 and 2,
  // highpass in lanes 1 and 3; only the lanes marked active move on unless
  // all do (kAll).
  template <bool kAll>
  [[gnu::always_inline]] Float4 numerators(int k, Float4 x, Mask4 active) {
    BilinearSection<Float4>& s = sections[k];
    const Float4 w = s.feed(x, poles[k]);
    const Float4 low = s.lowpassNumerator(w);
    const Float4 high = s.highpassNumerator(w, kSquared, minusTwoKSquared);
    s.template shift<kAll>(w, active);
    return select4(lowLanes, low, high);
  }
  // The shelf's output from the last section's numerators.
  [[gnu::always_inline]] float mix(Float4 last) const {
    const Float4 pair = Sections % 2 == 1 ? last : highPairOf4(last);
    const float lowNumerator = lane0Of4(pair);
    const float highNumerator = lane1Of4(pair);
    return highShelf ? lastG * (lowNumerator + gain * highNumerator)
                     : lastG * (gain * lowNumerator + highNumerator);
  }
  // One step t of a run of count samples: in(t) gives sample t's input,
  // out(i, y) takes sample i's output once its last section has run.
  template <bool kAll, class In, class Out>
  [[gnu::always_inline]] void at(int t, int count, In& in, Out& out) {
    Float4 carried = split;
    if (kAll || t < count) split = first.step(splat4(in(t)));
    Float4 last{};
    for (int k = 0; k < kGroups; ++k) {
      const Float4 x = frontInput<2>(carried, latest[k], k == 0);
      carried = latest[k];
      Mask4 active{};
      if constexpr (!kAll) {
        const Float4 sample = splat4(static_cast<float>(t)) - lag[k];
        active = and4(greaterEqual4(sample, splat4(0.0f)),
                      less4(sample, splat4(static_cast<float>(count))));
      }
      const Float4 n = numerators<kAll>(k, x, active);
      latest[k] = n * poles[k].g;
      if (k == kLastGroup) last = n;
    }
    const int i = t - Sections;
    if (i >= 0) out(i, mix(last));
  }
  // count samples (at least one) through the front, which starts and ends empty.
  template <class In, class Out>
  [[gnu::always_inline]] void run(int count, In in, Out out) {
    int t = 0;
    for (; t < Sections; ++t) at<false>(t, count, in, out);
    for (; t < count; ++t) at<true>(t, count, in, out);
    for (; t < count + Sections; ++t) at<false>(t, count, in, out);
  }
};

// Samples by which the second shelf of a pair runs behind the first: enough
// for the first one's whole step to finish between.
constexpr int kPairLag = 4;

// Two one-section shelves of one kind in series, side by side in four lanes:
// lanes 0 and 2 the first shelf's lowpass and highpass halves, lanes 1 and 3
// the second's. The second runs a few samples behind, on the first one's
// output of a few steps before, so the two recursions overlap; a run starts
// with steps of the first alone and ends with steps of the second alone.
struct ShelfPair {
  // Each shelf's terms in its lanes.
  Float4 oneMinusK, invKPlusOne, k, highpassB1;
  SectionPoles<Float4> poles;
  Float4 kSquared, minusTwoKSquared;
  Float4 gain;
  bool highShelf;
  Mask4 first;  // the first shelf's lanes
  // First-order sections' previous input and output, and the second-order
  // sections' recursion values.
  Float4 x1, y1;
  BilinearSection<Float4> section;

  [[gnu::always_inline]] static Float4 lanes(float low1, float low2, float high1, float high2) {
    alignas(16) const float v[4] = {low1, low2, high1, high2};
    return load4(v);
  }

  [[gnu::always_inline]] ShelfPair(const ShelfCoeffs<1>& c1, const ShelfState<1>& s1, const ShelfCoeffs<1>& c2,
            const ShelfState<1>& s2)
      : oneMinusK(pairs4(c1.first.oneMinusK, c2.first.oneMinusK)),
        invKPlusOne(pairs4(c1.first.invKPlusOne, c2.first.invKPlusOne)),
        k(pairs4(c1.first.k, c2.first.k)),
        highpassB1(pairs4(c1.first.highpassB1, c2.first.highpassB1)),
        poles{pairs4(c1.poles[0].g, c2.poles[0].g), pairs4(c1.poles[0].a1, c2.poles[0].a1),
              pairs4(c1.poles[0].a2, c2.poles[0].a2)},
        kSquared(pairs4(c1.kSquared, c2.kSquared)),
        minusTwoKSquared(pairs4(c1.minusTwoKSquared, c2.minusTwoKSquared)),
        gain(pairs4(c1.gain, c2.gain)),
        highShelf(c1.highShelf),
        first(equal4(pairs4(1.0f, 0.0f), splat4(1.0f))),
        x1(lanes(s1.lowFirst.x1, s2.lowFirst.x1, s1.highFirst.x1, s2.highFirst.x1)),
        y1(lanes(s1.lowFirst.y1, s2.lowFirst.y1, s1.highFirst.y1, s2.highFirst.y1)),
        section{lanes(s1.low[0].w1, s2.low[0].w1, s1.high[0].w1, s2.high[0].w1),
                lanes(s1.low[0].w2, s2.low[0].w2, s1.high[0].w2, s2.high[0].w2)} {}

  [[gnu::always_inline]] void save(ShelfState<1>& s1, ShelfState<1>& s2) const {
    alignas(16) float x[4], y[4], v1[4], v2[4];
    store4(x, x1);
    store4(y, y1);
    store4(v1, section.w1);
    store4(v2, section.w2);
    s1.lowFirst = {x[0], y[0]};
    s2.lowFirst = {x[1], y[1]};
    s1.highFirst = {x[2], y[2]};
    s2.highFirst = {x[3], y[3]};
    s1.low[0] = {v1[0], v2[0]};
    s2.low[0] = {v1[1], v2[1]};
    s1.high[0] = {v1[2], v2[2]};
    s2.high[0] = {v1[3], v2[3]};
  }

  // Both shelves on x = {first's input, second's input, the same again}: the
  // outputs in lanes 0 and 1, the new state values in the references.
  [[gnu::always_inline]] Float4 outputs(Float4 x, Float4& y, Float4& w) const {
    const Float4 feedback = y1 * oneMinusK;  // (1 - K) y1 in either order
    const Float4 low = (x1 - feedback + x) * invKPlusOne;
    const Float4 high = x1 * highpassB1 + (x * k - feedback) * invKPlusOne;
    y = lowPairFrom4(low, high);
    w = section.feed(y, poles);
    const Float4 lowNumerators = section.lowpassNumerator(w);
    const Float4 highNumerators = section.highpassNumerator(w, kSquared, minusTwoKSquared);
    const Float4 highPart = highPairOf4(highNumerators);
    return highShelf ? poles.g * (lowNumerators + gain * highPart)
                     : poles.g * (gain * lowNumerators + highPart);
  }
  // Both shelves, the first on x and the second on `previous`. Returns the
  // first's output in lane 0 and the second's in lane 1.
  [[gnu::always_inline]] Float4 step(float x, float previous) {
    const Float4 in = pairs4(x, previous);
    Float4 y, w;
    const Float4 out = outputs(in, y, w);
    x1 = in;
    y1 = y;
    section.shift(w);
    return out;
  }
  // One shelf alone, the other's lanes kept.
  [[gnu::always_inline]] Float4 stepOne(float x, float previous, Mask4 which) {
    const Float4 in = pairs4(x, previous);
    Float4 y, w;
    const Float4 out = outputs(in, y, w);
    x1 = select4(which, in, x1);
    y1 = select4(which, y, y1);
    section.shift<false>(w, which);
    return out;
  }
  // The first shelf's output for x, the second's lanes kept.
  [[gnu::always_inline]] float stepFirst(float x) { return lane0Of4(stepOne(x, 0.0f, first)); }
  // The second shelf's output for the first's output `previous`.
  [[gnu::always_inline]] float stepSecond(float previous) {
    const Mask4 second = equal4(pairs4(0.0f, 1.0f), splat4(1.0f));
    return lane1Of4(stepOne(0.0f, previous, second));
  }
};

}  // namespace veze_detail

template <class Tag>
void VezeEqualiser::processRunIn(int count, const float* in, float* out) {
  using namespace veze_detail;
  // Each pass takes its filters' states and coefficients into locals and
  // writes the states back after it, so the recursions stay in registers
  // instead of going through memory (and cannot alias the run's samples).
  // Every filter runs whether or not the bypass is on, so switching is
  // immediate and the states are warm either way. The equalised run is built
  // in y; the input stays for the bypass.
  float y[kPiece];
  float z[kPiece];
  for (int done = 0; done < count; done += kPiece) {
    const int piece = count - done < kPiece ? count - done : kPiece;
    const float* o = in + done;
    {
      ShelfFront<3> shelf(fRate.boost5000, fState.boost5000);
      shelf.run(piece, [&](int i) { return o[i]; }, [&](int i, float v) { y[i] = v; });
      shelf.save(fState.boost5000);
    }
    {
      FirstOrderHalves split(fRate.cut3500First, fState.cut3500FirstLow, fState.cut3500FirstHigh);
      const float gain = fRate.cut3500Gain;
      ShelfFront<2> shelf(fRate.cut3500, fState.cut3500);
      // The shelf writes sample i after reading sample i + 2, so y serves both.
      shelf.run(
          piece,
          [&](int i) {
            const Float4 halvesOut = split.step(splat4(y[i]));
            return lane0Of4(halvesOut) + gain * lane1Of4(halvesOut);
          },
          [&](int i, float v) { y[i] = v; });
      split.save(fState.cut3500FirstLow, fState.cut3500FirstHigh);
      shelf.save(fState.cut3500);
    }
    {
      // The second shelf runs kPairLag samples behind the first, on the
      // first one's outputs kept in z; the peaking sections take the
      // second's outputs in the same loop.
      ShelfPair cut(fRate.cut4500, fState.cut4500, fRate.cut2000, fState.cut2000);
      const PeakingSection c4500 = fRate.dip4500;
      const PeakingSection c7500 = fRate.dip7500;
      SectionState s4500 = fState.dip4500;
      SectionState s7500 = fState.dip7500;
      auto dips = [&](float x) { return peakingStep(s7500, peakingStep(s4500, x, c4500), c7500); };
      leadLagLoop<kPairLag>(
          piece, [&](int i) { z[i] = cut.stepFirst(y[i]); },
          [&](int i) {
            const Float4 both = cut.step(y[i], z[i - kPairLag]);
            z[i] = lane0Of4(both);
            y[i - kPairLag] = dips(lane1Of4(both));
          },
          [&](int i) { y[i] = dips(cut.stepSecond(z[i])); });
      cut.save(fState.cut4500, fState.cut2000);
      fState.dip4500 = s4500;
      fState.dip7500 = s7500;
    }
    {
      ShelfPair bass(fRate.bass75, fState.bass75, fRate.bass50, fState.bass50);
      const PeakingSection c3200 = fRate.presence3200;
      SectionState s3200 = fState.presence3200;
      const bool bypassed = fBypassed;
      float* result = out + done;
      auto finish = [&](int i, float x) {
        const float equalised = peakingStep(s3200, x, c3200);
        result[i] = bypassed ? o[i] : equalised;
      };
      leadLagLoop<kPairLag>(
          piece, [&](int i) { z[i] = bass.stepFirst(y[i]); },
          [&](int i) {
            const Float4 both = bass.step(y[i], z[i - kPairLag]);
            z[i] = lane0Of4(both);
            finish(i - kPairLag, lane1Of4(both));
          },
          [&](int i) { finish(i, bass.stepSecond(z[i])); });
      bass.save(fState.bass75, fState.bass50);
      fState.presence3200 = s3200;
    }
  }
}

}  // namespace vardo
