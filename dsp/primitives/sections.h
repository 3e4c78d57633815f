// Second-order sections: one direct-form-II recursion on any lane type, with
// the coefficients from free design functions and the numerator of each
// filter family as a small function of the recursion values.
#pragma once

#include "simd/lanes.h"

namespace vardo {

// The order in which the two feedback products add up decides the last bit
// of every output, so each filter keeps the order it was built with.
enum class FeedbackOrder {
  kNearFirst,  // a1 w1 + a2 w2
  kFarFirst,   // a2 w2 + a1 w1
};

template <FeedbackOrder kOrder, class V>
[[gnu::always_inline]] inline V feedbackSum(V w1, V w2, V a1, V a2) {
  if constexpr (kOrder == FeedbackOrder::kNearFirst) {
    return a1 * w1 + a2 * w2;
  } else {
    return a2 * w2 + a1 * w1;
  }
}

// The feedback half of a section normalised by g = 1/a0, with w1 and w2 its
// recursion values one and two samples back: w = x - (a1 w1 + a2 w2) g.
template <FeedbackOrder kOrder = FeedbackOrder::kNearFirst, class V>
[[gnu::always_inline]] inline V sectionFeed(V x, V w1, V w2, V a1, V a2, V g) {
  return x - feedbackSum<kOrder>(w1, w2, a1, a2) * g;
}

// The numerators (a0 times the output) of the section families:
// Butterworth lowpass w + 2 w1 + w2,
template <class V>
[[gnu::always_inline]] inline V lowpassNumerator(V w, V w1, V w2) {
  return w + splat<V>(2.0f) * w1 + w2;
}
// Butterworth highpass (w + w2) K^2 + w1 (-2 K^2),
template <class V>
[[gnu::always_inline]] inline V highpassNumerator(V w, V w1, V w2, V kSquared,
                                                  V minusTwoKSquared) {
  return (w + w2) * kSquared + w1 * minusTwoKSquared;
}
// a pair of zeros on the unit circle (b0 = b2) (w + w2) b0 + w1 b1,
template <class V>
[[gnu::always_inline]] inline V zeroPairNumerator(V w, V w1, V w2, V b0, V b1) {
  return (w + w2) * b0 + w1 * b1;
}
// and a peaking section (b1 = a1) b2 w2 + a1 w1 + b0 w.
template <class V>
[[gnu::always_inline]] inline V peakingNumerator(V w, V w1, V w2, V b0, V a1, V b2) {
  return b2 * w2 + a1 * w1 + b0 * w;
}

// The feedback coefficients of a section, normalised by g = 1/a0.
template <class V>
struct SectionPoles {
  V g{};
  V a1{};
  V a2{};
};
using SectionCoeffs = SectionPoles<float>;

// The same on every lane.
template <class V>
SectionPoles<V> splatPoles(const SectionCoeffs& c) {
  return {splat<V>(c.g), splat<V>(c.a1), splat<V>(c.a2)};
}

// Butterworth-style pole pair: g = 1/((K + d)K + 1), a1 = 2(1 - K^2), a2 = (K - d)K + 1.
inline SectionCoeffs butterworthPoles(float k, float damping) {
  SectionCoeffs c;
  c.g = 1.0f / ((k + damping) * k + 1.0f);
  c.a1 = 2.0f * (1.0f - k * k);
  c.a2 = (k - damping) * k + 1.0f;
  return c;
}

// A second-order section's recursion values one and two samples back, on
// any lane type; in a stage's state, or in locals for a pass over a run.
template <class V = float>
struct BilinearSection {
  V w1{};
  V w2{};

  template <FeedbackOrder kOrder = FeedbackOrder::kNearFirst>
  [[gnu::always_inline]] V feed(V x, const SectionPoles<V>& p) const {
    return sectionFeed<kOrder>(x, w1, w2, p.a1, p.a2, p.g);
  }
  [[gnu::always_inline]] void shift(V w) {
    w2 = w1;
    w1 = w;
  }
  // The same only in the lanes marked active, unless all are (kAll).
  template <bool kAll, class Mask>
  [[gnu::always_inline]] void shift(V w, Mask active) {
    if constexpr (kAll) {
      shift(w);
    } else {
      w2 = select(active, w1, w2);
      w1 = select(active, w, w1);
    }
  }
  // One sample: w from the feedback half, y = numerator(w, w1, w2) g, and
  // the recursion moved on.
  template <FeedbackOrder kOrder, class Numerator>
  [[gnu::always_inline]] V step(V x, const SectionPoles<V>& p, Numerator numerator) {
    const V w = feed<kOrder>(x, p);
    const V y = numerator(w, w1, w2) * p.g;
    shift(w);
    return y;
  }
  [[gnu::always_inline]] V lowpass(V x, const SectionPoles<V>& p) {
    return step<FeedbackOrder::kNearFirst>(x, p, [](V w, V w1, V w2) {
      return vardo::lowpassNumerator(w, w1, w2);
    });
  }
  [[gnu::always_inline]] V highpass(V x, const SectionPoles<V>& p, V kSquared,
                                    V minusTwoKSquared) {
    return step<FeedbackOrder::kNearFirst>(x, p, [&](V w, V w1, V w2) {
      return vardo::highpassNumerator(w, w1, w2, kSquared, minusTwoKSquared);
    });
  }
  // The numerators on the section's own recursion values.
  V lowpassNumerator(V w) const { return vardo::lowpassNumerator(w, w1, w2); }
  V highpassNumerator(V w, V kSquared, V minusTwoKSquared) const {
    return vardo::highpassNumerator(w, w1, w2, kSquared, minusTwoKSquared);
  }
};
using SectionState = BilinearSection<float>;

// A section with a pair of zeros on the unit circle (prototype numerator
// n2 s^2 + n0, no s term), so b0 = b2. Used by the elliptic filters.
struct ZeroPairCoeffs {
  SectionCoeffs poles;
  float b0 = 0.0f;  // = b2
  float b1 = 0.0f;
};

// Bilinear design of (n2 s^2 + n0) / (s^2 + d1 s + d0) with K = 1 / tan(pi f / fs):
// a0 = (K + d1)K + d0, a1 = 2(d0 - K^2), a2 = (K - d1)K + d0,
// b0 = b2 = n2 K^2 + n0, b1 = 2(n0 - n2 K^2).
inline ZeroPairCoeffs zeroPairSection(float k, float n2, float n0, float d1, float d0) {
  const float kSquared = k * k;
  ZeroPairCoeffs c;
  c.poles.g = 1.0f / ((k + d1) * k + d0);
  c.poles.a1 = 2.0f * (d0 - kSquared);
  c.poles.a2 = (k - d1) * k + d0;
  c.b0 = n2 * kSquared + n0;
  c.b1 = 2.0f * (n0 - n2 * kSquared);
  return c;
}

// One step of a zero-pair section: w = x - (a2 w2 + a1 w1) g,
// y = ((w + w2) b0 + w1 b1) g.
template <class V>
[[gnu::always_inline]] inline V zeroPairStep(BilinearSection<V>& s, V x,
                                              const SectionPoles<V>& poles, V b0, V b1) {
  return s.template step<FeedbackOrder::kFarFirst>(
      x, poles, [&](V w, V w1, V w2) { return zeroPairNumerator(w, w1, w2, b0, b1); });
}
inline float zeroPairStep(SectionState& s, float x, const ZeroPairCoeffs& c) {
  return zeroPairStep(s, x, c.poles, c.b0, c.b1);
}

// Peaking equaliser section: prototype (s^2 + bn s + 1) / (s^2 + bd s + 1).
// Its b1 equals a1.
struct PeakingSection {
  SectionCoeffs poles;
  float b0 = 0.0f;
  float b2 = 0.0f;
};

// g = 1/((bd + K)K + 1), a1 = 2(1 - K^2), a2 = (K - bd)K + 1,
// b0 = (bn + K)K + 1, b2 = (K - bn)K + 1.
inline PeakingSection peakingSection(float k, float bn, float bd) {
  PeakingSection c;
  c.poles.g = 1.0f / ((bd + k) * k + 1.0f);
  c.poles.a1 = 2.0f * (1.0f - k * k);
  c.poles.a2 = (k - bd) * k + 1.0f;
  c.b0 = (bn + k) * k + 1.0f;
  c.b2 = (k - bn) * k + 1.0f;
  return c;
}

// One step of a peaking section, with the feedback in either order:
// w = x - (a2 w2 + a1 w1) g (or near first); y = (b2 w2 + a1 w1 + b0 w) g.
template <FeedbackOrder kOrder = FeedbackOrder::kFarFirst, class V>
[[gnu::always_inline]] inline V peakingStep(BilinearSection<V>& s, V x,
                                            const SectionPoles<V>& poles, V b0, V b2) {
  return s.template step<kOrder>(x, poles, [&](V w, V w1, V w2) {
    return peakingNumerator(w, w1, w2, b0, poles.a1, b2);
  });
}
inline float peakingStep(SectionState& s, float x, const PeakingSection& c) {
  return peakingStep(s, x, c.poles, c.b0, c.b2);
}

}  // namespace vardo
