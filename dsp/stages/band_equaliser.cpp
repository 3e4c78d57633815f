#include "band_equaliser.h"

#include "band_equaliser_kernels.h"
#include "primitives/primitives.h"

namespace vardo {

BandRateDesign designBandRate(const SampleRate& rate) {
  BandRateDesign d;
  // Band edges are fixed corners; kFixed keeps each one below fs / 2, so the
  // upper bands stay stable (if nearly silent) at low sample rates.
  SectionCoeffs poles[kBandEdgeCount];
  float kSquared[kBandEdgeCount];
  for (int e = 0; e < kBandEdgeCount; ++e) {
    const float k = rate.kFixed(kBandEdgeHz[e]);
    poles[e] = butterworthPoles(k, kBandEdgeDamping);
    kSquared[e] = k * k;
  }
  for (int m = 0; m < kBandCount; ++m) {
    d.lowA1[m] = poles[m].a1;
    d.lowA2[m] = poles[m].a2;
    d.lowG[m] = poles[m].g;
    d.lowKSquared[m] = kSquared[m];
    d.lowMinusTwoKSquared[m] = -(2.0f * kSquared[m]);
    d.highA1[m] = poles[m + 1].a1;
    d.highA2[m] = poles[m + 1].a2;
    d.highG[m] = poles[m + 1].g;
    d.numeratorPole[m] = rate.pole(kNumeratorRate[m]);
    d.numeratorInput[m] = 1.0f - d.numeratorPole[m];
    d.signedWeight[m] = bandSign(m) * (kBandWeight[m] * poles[m + 1].g);
  }
  static_cast<BandPoles&>(d) = bandPoles(rate);
  d.fastRelease.setRate(rate.r, 0.25f);
  d.slowRelease.setRate(rate.r, 5.0f);
  return d;
}

template class BandEqualiser<Float4>;

}  // namespace vardo
