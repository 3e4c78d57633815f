#include "veze_equaliser.h"

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

// Both halves of the split run on the same input; the last sections'
// numerators are mixed with the shelf gain and normalised once. Inlined
// into the passes, whose loops keep the state in registers.
template <int Sections>
[[gnu::always_inline]] inline float runShelf(ShelfState<Sections>& s, const ShelfCoeffs<Sections>& c, float x) {
  float low = s.lowFirst.lowpass(x, c.first);
  float high = s.highFirst.highpass(x, c.first);
  for (int i = 0; i < Sections - 1; ++i) {
    const SectionCoeffs& p = c.poles[i];
    const float wl = s.low[i].feed(low, p);
    const float wh = s.high[i].feed(high, p);
    low = s.low[i].lowpassNumerator(wl) * p.g;
    high = s.high[i].highpassNumerator(wh, c.kSquared, c.minusTwoKSquared) * p.g;
    s.low[i].shift(wl);
    s.high[i].shift(wh);
  }
  constexpr int last = Sections - 1;
  const SectionCoeffs& p = c.poles[last];
  const float wl = s.low[last].feed(low, p);
  const float wh = s.high[last].feed(high, p);
  const float lowNumerator = s.low[last].lowpassNumerator(wl);
  const float highNumerator = s.high[last].highpassNumerator(wh, c.kSquared, c.minusTwoKSquared);
  s.low[last].shift(wl);
  s.high[last].shift(wh);
  return c.highShelf ? p.g * (lowNumerator + c.gain * highNumerator)
                     : p.g * (c.gain * lowNumerator + highNumerator);
}

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
      const ShelfCoeffs<3> c = fRate.boost5000;
      ShelfState<3> s = fState.boost5000;
      for (int i = 0; i < run; ++i) y[i] = runShelf(s, c, o[i]);
      fState.boost5000 = s;
    }
    {
      const FirstOrderCoeffs firstC = fRate.cut3500First;
      const float gain = fRate.cut3500Gain;
      const ShelfCoeffs<2> c = fRate.cut3500;
      FirstOrderState low = fState.cut3500FirstLow;
      FirstOrderState high = fState.cut3500FirstHigh;
      ShelfState<2> s = fState.cut3500;
      for (int i = 0; i < run; ++i) {
        const float x = low.lowpass(y[i], firstC) + gain * high.highpass(y[i], firstC);
        y[i] = runShelf(s, c, x);
      }
      fState.cut3500FirstLow = low;
      fState.cut3500FirstHigh = high;
      fState.cut3500 = s;
    }
    {
      const ShelfCoeffs<1> c4500 = fRate.cut4500;
      const ShelfCoeffs<1> c2000 = fRate.cut2000;
      ShelfState<1> s4500 = fState.cut4500;
      ShelfState<1> s2000 = fState.cut2000;
      for (int i = 0; i < run; ++i) y[i] = runShelf(s2000, c2000, runShelf(s4500, c4500, y[i]));
      fState.cut4500 = s4500;
      fState.cut2000 = s2000;
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
      const ShelfCoeffs<1> c75 = fRate.bass75;
      const ShelfCoeffs<1> c50 = fRate.bass50;
      const PeakingCoeffs c3200 = fRate.presence3200;
      ShelfState<1> s75 = fState.bass75;
      ShelfState<1> s50 = fState.bass50;
      SectionState s3200 = fState.presence3200;
      const bool bypassed = fBypassed;
      float* result = out + done;
      for (int i = 0; i < run; ++i) {
        const float equalised =
            peakingStep(s3200, runShelf(s50, c50, runShelf(s75, c75, y[i])), c3200);
        result[i] = bypassed ? o[i] : equalised;
      }
      fState.bass75 = s75;
      fState.bass50 = s50;
      fState.presence3200 = s3200;
    }
  }
}

}  // namespace vardo
