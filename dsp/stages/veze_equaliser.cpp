#include "veze_equaliser.h"

#include "../float4.h"

namespace vardo {

namespace {

// Dampings 2 sin((2k - 1) pi / 2N) of the second-order sections of an
// odd-order Butterworth filter, in the order the chain runs them.
constexpr std::array<float, 1> kOrder3 = {1.0f};
constexpr std::array<float, 2> kOrder5 = {1.618034f, 0.618034f};
constexpr std::array<float, 3> kOrder7 = {1.8019377f, 1.2469796f, 0.44504187f};

template <int Sections>
ShelfCoeffs<Sections> designShelf(const SampleRate& rate, float corner,
                                  const std::array<float, Sections>& dampings, float gain,
                                  bool highShelf) {
  ShelfCoeffs<Sections> c;
  c.first = firstOrderSection(rate.tanFixed(corner));
  const float k = c.first.k;
  for (int i = 0; i < Sections; ++i) c.poles[i] = butterworthPoles(k, dampings[i]);
  c.kSquared = k * k;
  c.minusTwoKSquared = -2.0f * c.kSquared;
  c.gain = gain;
  c.highShelf = highShelf;
  return c;
}

// Lanes {a, b, b, b}: a half-pair's lowpass value in lane 0 and its
// highpass value in the others.
inline Float4 halves(float low, float high) {
  alignas(16) const float v[4] = {low, high, high, high};
  return load4(v);
}

// A first-order split at one corner on both halves at once: lane 0 the
// lowpass y = (x1 - y1 (1 - K) + x) (1 / (K + 1)), the other lanes the
// highpass y = x1 (-1 / (1 + T)) + (x K - (1 - K) y1) (1 / (K + 1)).
struct FirstOrderHalves {
  Float4 oneMinusK, invKPlusOne, k, highpassB1;  // the terms in every lane
  Float4 x1, y1;

  FirstOrderHalves(const FirstOrderCoeffs& c, const FirstOrderState& low,
                   const FirstOrderState& high)
      : oneMinusK(splat4(c.oneMinusK)),
        invKPlusOne(splat4(c.invKPlusOne)),
        k(splat4(c.k)),
        highpassB1(splat4(c.highpassB1)),
        x1(halves(low.x1, high.x1)),
        y1(halves(low.y1, high.y1)) {}
  void save(FirstOrderState& low, FirstOrderState& high) const {
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

// A shelf with its two halves side by side (lane 0 the lowpass half, the
// other lanes the highpass half), held in locals for a pass over the run.
// Both halves take the same input, and each pair of second-order sections
// shares its poles, so the feedback of both is one lane operation; the last
// sections' numerators are mixed with the shelf gain and normalised once.
template <int Sections>
struct ShelfHalves {
  FirstOrderHalves first;
  float lastG, gain;
  bool highShelf;
  Float4 g[Sections], a1[Sections], a2[Sections];
  Float4 kSquared, minusTwoKSquared, two;
  Float4 w1[Sections], w2[Sections];

  ShelfHalves(const ShelfCoeffs<Sections>& coeffs, const ShelfState<Sections>& s)
      : first(coeffs.first, s.lowFirst, s.highFirst),
        lastG(coeffs.poles[Sections - 1].g),
        gain(coeffs.gain),
        highShelf(coeffs.highShelf),
        kSquared(splat4(coeffs.kSquared)),
        minusTwoKSquared(splat4(coeffs.minusTwoKSquared)),
        two(splat4(2.0f)) {
    for (int i = 0; i < Sections; ++i) {
      g[i] = splat4(coeffs.poles[i].g);
      a1[i] = splat4(coeffs.poles[i].a1);
      a2[i] = splat4(coeffs.poles[i].a2);
      w1[i] = halves(s.low[i].w1, s.high[i].w1);
      w2[i] = halves(s.low[i].w2, s.high[i].w2);
    }
  }
  void save(ShelfState<Sections>& s) const {
    first.save(s.lowFirst, s.highFirst);
    for (int i = 0; i < Sections; ++i) {
      s.low[i] = {lane0Of4(w1[i]), lane0Of4(w2[i])};
      s.high[i] = {lane1Of4(w1[i]), lane1Of4(w2[i])};
    }
  }
  // The raw numerators of section i: lowpass in lane 0, highpass in the others.
  [[gnu::always_inline]] Float4 numerators(int i, Float4 x) {
    const Float4 w = sectionFeed(x, w1[i], w2[i], a1[i], a2[i], g[i]);
    const Float4 low = w + two * w1[i] + w2[i];
    const Float4 high = (w + w2[i]) * kSquared + w1[i] * minusTwoKSquared;
    w2[i] = w1[i];
    w1[i] = w;
    return lane0From4(low, high);
  }
  [[gnu::always_inline]] float step(float x) {
    Float4 u = first.step(splat4(x));
    for (int i = 0; i < Sections - 1; ++i) u = numerators(i, u) * g[i];
    const Float4 last = numerators(Sections - 1, u);
    const float lowNumerator = lane0Of4(last);
    const float highNumerator = lane1Of4(last);
    return highShelf ? lastG * (lowNumerator + gain * highNumerator)
                     : lastG * (gain * lowNumerator + highNumerator);
  }
};

// Peaking section from the stored products pi B (numerator and denominator
// bandwidth terms, one of them carrying the gain), divided by fs sin(2 pi f0 / fs).
PeakingCoeffs designPeak(const SampleRate& rate, float centre, float piBNumerator,
                         float piBDenominator) {
  const float fsSin = rate.fs * rate.sinFixed(centre);
  return peakingSection(rate.kFixed(centre), piBNumerator / fsSin, piBDenominator / fsSin);
}

}  // namespace

VezeRateDesign designVezeRate(const SampleRate& rate) {
  VezeRateDesign d;
  d.boost5000 = designShelf<3>(rate, 5000.0f, kOrder7, 6.3095737f, true);   // +16 dB
  d.cut3500First = firstOrderSection(rate.tanFixed(3500.0f));
  d.cut3500Gain = 0.056234132f;                                             // -25 dB
  d.cut3500 = designShelf<2>(rate, 3500.0f, kOrder5, 0.70794576f, true);    // -3 dB
  d.cut4500 = designShelf<1>(rate, 4500.0f, kOrder3, 0.70794576f, true);    // -3 dB
  d.cut2000 = designShelf<1>(rate, 2000.0f, kOrder3, 0.39810717f, true);    // -8 dB
  d.dip4500 = designPeak(rate, 4500.0f, 3141.5928f, 6268.3013f);            // -6 dB, 1 kHz wide
  d.dip7500 = designPeak(rate, 7500.0f, 12566.371f, 22346.518f);            // -5 dB, 4 kHz wide
  d.bass75 = designShelf<1>(rate, 75.0f, kOrder3, 1.7782794f, false);       // +5 dB
  d.bass50 = designShelf<1>(rate, 50.0f, kOrder3, 1.9952623f, false);       // +6 dB
  d.presence3200 = designPeak(rate, 3200.0f, 5586.6294f, 3141.5928f);       // +5 dB, 1 kHz wide
  return d;
}

void VezeEqualiser::processRun(int count, std::uint32_t, const float* in, float* out) {
  // Each pass takes its filters' states and coefficients into locals and
  // writes the states back after it, so the recursions stay in registers
  // instead of going through memory (and cannot alias the run's samples).
  // Every filter runs whether or not the bypass is on, so switching is
  // immediate and the states are warm either way. The equalised run is built
  // in y; the input stays for the bypass.
  float y[kMaxRun];
  for (int done = 0; done < count; done += kMaxRun) {
    const int run = count - done < kMaxRun ? count - done : kMaxRun;
    const float* o = in + done;
    {
      ShelfHalves<3> shelf(fRate.boost5000, fState.boost5000);
      for (int i = 0; i < run; ++i) y[i] = shelf.step(o[i]);
      shelf.save(fState.boost5000);
    }
    {
      FirstOrderHalves split(fRate.cut3500First, fState.cut3500FirstLow, fState.cut3500FirstHigh);
      const float gain = fRate.cut3500Gain;
      ShelfHalves<2> shelf(fRate.cut3500, fState.cut3500);
      for (int i = 0; i < run; ++i) {
        const Float4 halvesOut = split.step(splat4(y[i]));
        y[i] = shelf.step(lane0Of4(halvesOut) + gain * lane1Of4(halvesOut));
      }
      split.save(fState.cut3500FirstLow, fState.cut3500FirstHigh);
      shelf.save(fState.cut3500);
    }
    {
      ShelfHalves<1> s4500(fRate.cut4500, fState.cut4500);
      ShelfHalves<1> s2000(fRate.cut2000, fState.cut2000);
      for (int i = 0; i < run; ++i) y[i] = s2000.step(s4500.step(y[i]));
      s4500.save(fState.cut4500);
      s2000.save(fState.cut2000);
    }
    {
      const PeakingCoeffs c4500 = fRate.dip4500;
      const PeakingCoeffs c7500 = fRate.dip7500;
      SectionState s4500 = fState.dip4500;
      SectionState s7500 = fState.dip7500;
      for (int i = 0; i < run; ++i) y[i] = peakingStep(s7500, peakingStep(s4500, y[i], c4500), c7500);
      fState.dip4500 = s4500;
      fState.dip7500 = s7500;
    }
    {
      ShelfHalves<1> s75(fRate.bass75, fState.bass75);
      ShelfHalves<1> s50(fRate.bass50, fState.bass50);
      const PeakingCoeffs c3200 = fRate.presence3200;
      SectionState s3200 = fState.presence3200;
      const bool bypassed = fBypassed;
      float* result = out + done;
      for (int i = 0; i < run; ++i) {
        const float equalised = peakingStep(s3200, s50.step(s75.step(y[i])), c3200);
        result[i] = bypassed ? o[i] : equalised;
      }
      s75.save(fState.bass75);
      s50.save(fState.bass50);
      fState.presence3200 = s3200;
    }
  }
}

}  // namespace vardo
