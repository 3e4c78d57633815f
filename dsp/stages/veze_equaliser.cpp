#include "veze_equaliser.h"

#include "veze_equaliser_kernels.h"

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

// Peaking section from the stored products pi B (numerator and denominator
// bandwidth terms, one of them carrying the gain), divided by fs sin(2 pi f0 / fs).
PeakingSection designPeak(const SampleRate& rate, float centre, float piBNumerator,
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
  d.dip4500 = designPeak(rate, 4500.0f, piTimes(1000.0), 6268.3013f);       // -6 dB, 1 kHz wide
  d.dip7500 = designPeak(rate, 7500.0f, piTimes(4000.0), 22346.518f);       // -5 dB, 4 kHz wide
  d.bass75 = designShelf<1>(rate, 75.0f, kOrder3, 1.7782794f, false);       // +5 dB
  d.bass50 = designShelf<1>(rate, 50.0f, kOrder3, 1.9952623f, false);       // +6 dB
  d.presence3200 = designPeak(rate, 3200.0f, 5586.6294f, piTimes(1000.0));  // +5 dB, 1 kHz wide
  return d;
}

void VezeEqualiser::processRun(int count, std::uint32_t, const float* in, float* out) {
  processRunIn<Float4>(count, in, out);
}

template void VezeEqualiser::processRunIn<Float4>(int, const float*, float*);

}  // namespace vardo
