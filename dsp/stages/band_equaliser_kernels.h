// The band equaliser's per-sample step, written once for every lane type.
// Included only where a lane type is instantiated.
#pragma once

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "band_equaliser.h"
#include "primitives/primitives.h"
#include "simd/lanes.h"

namespace vardo {

// The maximum over a hold window of kWindow rows of kRow floats ending at
// lag0 (the newest): four running maxima (lags 4j, 4j + 1, 4j + 2, 4j + 3),
// joined pairwise at the end.
template <class V, int kWindow, int kRow>
[[gnu::always_inline]] inline V holdWindowMaximum(const float* lag0) {
  static_assert(kWindow % 4 == 0, "the window is read four taps at a time");
  V m0 = load<V>(lag0);
  V m1 = load<V>(lag0 - 1 * kRow);
  V m2 = load<V>(lag0 - 2 * kRow);
  V m3 = load<V>(lag0 - 3 * kRow);
  for (int lag = 4; lag < kWindow; lag += 4) {
    m0 = laneMax(m0, load<V>(lag0 - lag * kRow));
    m1 = laneMax(m1, load<V>(lag0 - (lag + 1) * kRow));
    m2 = laneMax(m2, load<V>(lag0 - (lag + 2) * kRow));
    m3 = laneMax(m3, load<V>(lag0 - (lag + 3) * kRow));
  }
  return laneMax(laneMax(m0, m1), laneMax(m2, m3));
}

template <class V>
void BandEqualiser<V>::clear() {
  // The state is hundreds of kilobytes of floats: zero it in place.
  static_assert(std::is_trivially_copyable_v<State>);
  std::memset(&fState, 0, sizeof fState);
}

template <class V>
bool BandEqualiser<V>::stateFinite() const {
  return stateFinite(V{});
}

// The rings and delay lines only pass values on; whatever they hold that is
// not finite came from, or reaches, the recursions asked here. The padding
// lanes are left out. One value at a time:
template <class V>
template <class W>
bool BandEqualiser<V>::stateFinite(W) const {
  const State& st = fState;
  const auto components = [](const float* lanes) {
    return floatsFinite(lanes, kBandCount) && floatsFinite(lanes + kDiffLane, kBandCount);
  };
  bool finite = true;
  for (int row = 0; row < 2; ++row) {
    for (int section = 0; section < kSections; ++section)
      finite = finite && components(st.filterW[row][section]);
    for (int node = 0; node < QuadratureLanes<kLanes>::kNodes; ++node)
      finite = finite && components(st.pairs.a[row][node]) && components(st.pairs.b[row][node]);
  }
  for (const float* followers : {st.followerRelease, st.followerPeak, st.followerEnvelope})
    finite = finite && components(followers);
  for (const float* band : {st.numeratorPeak, st.numerator, st.gain, st.peakMagnitude,
                            st.heldLevel})
    finite = finite && floatsFinite(band, kBandCount);
  return finite;
}

// Wide lanes ask whole rows at once, the padding masked.
template <class V>
template <class W>
  requires(kLaneWidth<W> > 1)
bool BandEqualiser<V>::stateFinite(W) const {
  const State& st = fState;
  constexpr int kNodes = QuadratureLanes<kLanes>::kNodes;
  const float* components = kComponentLanesInUse.data();
  bool finite = lanesFinite<V>(&st.filterW[0][0][0], components, kLanes, 2 * kSections) &
                lanesFinite<V>(&st.pairs.a[0][0][0], components, kLanes, 2 * kNodes) &
                lanesFinite<V>(&st.pairs.b[0][0][0], components, kLanes, 2 * kNodes);
  for (const float* followers : {st.followerRelease, st.followerPeak, st.followerEnvelope})
    finite = finite & lanesFinite<V>(followers, components, kLanes);
  for (const float* band : {st.numeratorPeak, st.numerator, st.gain, st.peakMagnitude,
                            st.heldLevel})
    finite = finite & lanesFinite<V>(band, kBandLanesInUse.data(), kBandLanes);
  return finite;
}

template <class V>
void BandEqualiser<V>::processRun(int count, std::uint32_t n, const float* x, const float* d,
                                  BandOutputs* out) {
  for (int done = 0; done < count; done += kPiece) {
    const int piece = count - done < kPiece ? count - done : kPiece;
    processPiece(piece, n + static_cast<std::uint32_t>(done), x + done, d + done, out + done);
  }
}

// A piece of the run goes through the stage in passes, each over every
// sample of the piece before the next begins: band filters, quadrature
// magnitudes, peaks and hold, then envelopes and gains with the gained
// bands. Every pass carries only its own recursions from sample to sample,
// so the processor overlaps the samples of a pass; each value is computed
// as before.
template <class V>
void BandEqualiser<V>::processPiece(int count, std::uint32_t n, const float* x, const float* d,
                                    BandOutputs* out) {
  alignas(kLaneAlign) LaneRows bandValue;
  alignas(kLaneAlign) LaneRows magnitude;
  alignas(kLaneAlign) LevelRows levels;
  // The quadrature pairs step with the parity the piece starts with.
  const unsigned parity = filterBands(count, n, x, d, bandValue);
  quadratureMagnitudes(count, bandValue, magnitude);
  peakAndHold(count, n, magnitude, levels);
  fState.parity = parity;
  envelopesAndGains(count, n, levels, out);
}

template <class V>
struct BandEqualiser<V>::EdgeSections {
  V lowA1, lowA2, lowG, kSq, minusTwoKSq;  // the two highpass sections
  V highA1, highA2, highG;                 // the two lowpass sections
};

// Each component lane takes its band's edge sections, each follower lane
// its follower's constants.
template <class V>
void BandEqualiser<V>::spreadOverLanes() {
  ComponentSections& s = fSections;
  FollowerConstants& f = fFollowers;
  const BandRateDesign& rc = fRate;
  for (int lane = 0; lane < kLanes; ++lane) {
    const bool fast = lane < kDiffLane;
    f.releaseInput[lane] = fast ? rc.riseDecay.input : rc.slowRiseDecay.input;
    f.releasePole[lane] = fast ? rc.riseDecay.pole : rc.slowRiseDecay.pole;
    f.smoothInput[lane] = fast ? rc.fastSmooth.input : rc.riseDecay.input;
    f.smoothPole[lane] = fast ? rc.fastSmooth.pole : rc.riseDecay.pole;
    f.release.set(lane, fast ? rc.fastRelease : rc.slowRelease);
    const int band = fast ? lane : lane - kDiffLane;
    const bool inUse = band < kBandCount;
    s.lowA1[lane] = inUse ? rc.lowA1[band] : 0.0f;
    s.lowA2[lane] = inUse ? rc.lowA2[band] : 0.0f;
    s.lowG[lane] = inUse ? rc.lowG[band] : 0.0f;
    s.lowKSquared[lane] = inUse ? rc.lowKSquared[band] : 0.0f;
    s.lowMinusTwoKSquared[lane] = inUse ? rc.lowMinusTwoKSquared[band] : 0.0f;
    s.highA1[lane] = inUse ? rc.highA1[band] : 0.0f;
    s.highA2[lane] = inUse ? rc.highA2[band] : 0.0f;
    s.highG[lane] = inUse ? rc.highG[band] : 0.0f;
  }
}

// Band filters and band rings: every component lane group per step, the sum
// lanes fed with x + d and the difference lanes with x - d. Gives the parity
// after the piece.
template <class V>
[[gnu::always_inline]] inline unsigned BandEqualiser<V>::filterBands(int count, std::uint32_t n,
                                                                     const float* x, const float* d,
                                                                     LaneRows& bandValue) {
  State& st = fState;
  const ComponentSections& s = fSections;
  unsigned parity = st.parity;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t at = n + static_cast<std::uint32_t>(i);
    const V sum = splat<V>(x[i] + d[i]);
    const V diff = splat<V>(x[i] - d[i]);
    float* ringNow = st.bandRing.row(at);
    float(&older)[kSections][kLanes] = st.filterW[parity];            // w2, then w
    const float(&newer)[kSections][kLanes] = st.filterW[parity ^ 1];  // w1
    for (int lane = 0; lane < kLanes; lane += kStep) {
      const EdgeSections c{load<V>(s.lowA1 + lane),       load<V>(s.lowA2 + lane),
                           load<V>(s.lowG + lane),        load<V>(s.lowKSquared + lane),
                           load<V>(s.lowMinusTwoKSquared + lane), load<V>(s.highA1 + lane),
                           load<V>(s.highA2 + lane),      load<V>(s.highG + lane)};
      const V input = lane + kStep <= kDiffLane ? sum
                      : lane >= kDiffLane       ? diff
                                                : select(differenceLanes(lane), diff, sum);
      const V u = filterComponents(input, c, older, newer, lane);
      store(ringNow + lane, u);
      // The negated, normalised band value, for the quadrature pair.
      store(bandValue[i] + lane, -(c.highG * u));
    }
    parity ^= 1;
  }
  return parity;
}

// One lane group through the band's four sections: the new w of each into
// the older row, and the second lowpass's raw numerator u as the result.
template <class V>
[[gnu::always_inline]] inline V BandEqualiser<V>::filterComponents(
    V y, const EdgeSections& c, float (&older)[kSections][kLanes],
    const float (&newer)[kSections][kLanes], int lane) {
  // Two highpass sections at the lower edge.
  for (int k = 0; k < 2; ++k) {
    const V w1 = load<V>(newer[k] + lane);
    const V w2 = load<V>(older[k] + lane);
    const V w = sectionFeed(y, w1, w2, c.lowA1, c.lowA2, c.lowG);
    y = highpassNumerator(w, w1, w2, c.kSq, c.minusTwoKSq) * c.lowG;
    store(older[k] + lane, w);
  }
  // Lowpass at the upper edge, then the second one's raw numerator.
  {
    const V w1 = load<V>(newer[2] + lane);
    const V w2 = load<V>(older[2] + lane);
    const V w = sectionFeed(y, w1, w2, c.highA1, c.highA2, c.highG);
    y = lowpassNumerator(w, w1, w2) * c.highG;
    store(older[2] + lane, w);
  }
  const V w1 = load<V>(newer[3] + lane);
  const V w2 = load<V>(older[3] + lane);
  const V w = sectionFeed(y, w1, w2, c.highA1, c.highA2, c.highG);
  const V u = lowpassNumerator(w, w1, w2);
  store(older[3] + lane, w);
  return u;
}

// The quadrature pairs' magnitudes, each lane group over the piece.
template <class V>
[[gnu::always_inline]] inline void BandEqualiser<V>::quadratureMagnitudes(int count,
                                                                          const LaneRows& bandValue,
                                                                          LaneRows& magnitude) {
  for (int lane = 0; lane < kLanes; lane += kStep) {
    fState.pairs.template magnitudes<V>(
        count, lane, fState.parity, [&](int i) { return load<V>(bandValue[i] + lane); },
        [&](int i) { return magnitude[i] + lane; });
  }
  for (int i = 0; i < count; ++i) {
    for (int lane = kLanes; lane < kRowLanes; lane += kStep) {
      store(magnitude[i] + lane, splat<V>(0.0f));
    }
  }
}

// The peak of each band's two magnitudes and its hold: the maximum over the
// hold window of the peak, raised to the threshold.
template <class V>
[[gnu::always_inline]] inline void BandEqualiser<V>::peakAndHold(int count, std::uint32_t n,
                                                                 const LaneRows& magnitude,
                                                                 LevelRows& levels) {
  State& st = fState;
  // Vector stores may alias anything, so the threshold is taken into a local.
  const V threshold = splat<V>(fBlock.threshold);
  HoldCount hold{st.holdPosition, st.holdNumbers, true};
  for (int i = 0; i < count; ++i) {
    const std::uint32_t at = n + static_cast<std::uint32_t>(i);
    // Each hold entry is written twice, so that the 44 newest rows always lie
    // in one run of the table, ending at the newest.
    static_assert(kHoldWindow <= decltype(st.hold)::kMask + 1);
    float* holdNow = st.hold.upper(at);
    float* holdNowLow = st.hold.lower(at);
    hold.numbersNow = true;
    for (int b = 0; b < kBandLanes; b += kStep) {
      const V peak = laneMax(load<V>(magnitude[i] + b), load<V>(magnitude[i] + kDiffLane + b));
      store(levels[i] + kBandLanes + b, peak);
      store(st.peakMagnitude + b, peak);
      const V entry = laneMax(peak, threshold);
      store(holdNow + b, entry);
      store(holdNowLow + b, entry);

      const V h = heldMaximum(b, entry, holdNow, hold, V{});
      store(levels[i] + b, h);
      store(st.heldLevel + b, h);
    }
    countHold(hold, V{});
  }
  st.holdPosition = hold.position;
  st.holdNumbers = hold.numbers;
}

// The window maximum over lags 0 ... 43, entry by entry.
template <class V>
template <class W>
[[gnu::always_inline]] inline V BandEqualiser<V>::heldMaximum(int b, V, const float* holdNow,
                                                              HoldCount&, W) {
  return holdWindowMaximum<V, kHoldWindow, kBandLanes>(holdNow + b);
}

// Wide lanes take it from the blocks, once the window has been free of NaN
// for as long as it is.
template <class V>
template <class W>
  requires(kLaneWidth<W> > 1)
[[gnu::always_inline]] inline V BandEqualiser<V>::heldMaximum(int b, V entry,
                                                              const float* holdNow,
                                                              HoldCount& hold, W) {
  const V h = holdBlocksMaximum(b, hold.position, entry, holdNow);
  hold.numbersNow = hold.numbersNow && allLanes(equal(entry, entry));
  if (!hold.numbersNow || hold.numbers < kHoldWindow - 1) {
    return holdWindowMaximum<V, kHoldWindow, kBandLanes>(holdNow + b);
  }
  return h;
}

// After a sample: one lane keeps no count.
template <class V>
template <class W>
[[gnu::always_inline]] inline void BandEqualiser<V>::countHold(HoldCount&, W) {}

template <class V>
template <class W>
  requires(kLaneWidth<W> > 1)
[[gnu::always_inline]] inline void BandEqualiser<V>::countHold(HoldCount& hold, W) {
  hold.position = hold.position == kHoldWindow - 1 ? 0 : hold.position + 1;
  hold.numbers = !hold.numbersNow                 ? 0
                 : hold.numbers < kHoldWindow ? hold.numbers + 1
                                              : hold.numbers;
}

// Wide lanes keep the hold window in blocks of its own length: it is the
// current block from its start and the last block from the position after
// this one on, so it is the larger of the block's maximum so far and the
// kept maximum of that tail. Without NaN in the window that is exactly the
// maximum taken entry by entry; with one, the order of the comparisons
// decides, and the window is read.
template <class V>
[[gnu::always_inline]] inline V BandEqualiser<V>::holdBlocksMaximum(int b, int position, V entry,
                                                                    const float* holdNow) {
  State& st = fState;
  const V head = position == 0 ? entry : laneMax(load<V>(st.holdBlockHead + b), entry);
  store(st.holdBlockHead + b, head);
  const V h = laneMax(load<V>(st.holdBlockTail[position + 1] + b), head);
  if (position == kHoldWindow - 1) {
    // The block is whole: its tails' maxima, for the next block.
    V tail = entry;
    store(st.holdBlockTail[kHoldWindow - 1] + b, tail);
    for (int j = kHoldWindow - 2; j >= 0; --j) {
      tail = laneMax(load<V>(holdNow + b - (kHoldWindow - 1 - j) * kBandLanes), tail);
      store(st.holdBlockTail[j] + b, tail);
    }
  }
  return h;
}

template <class V>
struct BandEqualiser<V>::GainConstants {
  // Vector stores may alias anything, so every constant the loops use is
  // taken into a local first.
  V one, densityLimit, numeratorSmoothInput, numeratorSmoothPole;
};

// The fast envelope of the held level (adaptive release, then 15 ms
// smoothing) and the slow envelope of the unheld peak (adaptive release,
// then 0.5 s smoothing), side by side; the numerator and the gain; with
// them the gained bands into the band delay lines.
template <class V>
[[gnu::always_inline]] inline void BandEqualiser<V>::envelopesAndGains(int count, std::uint32_t n,
                                                                       const LevelRows& levels,
                                                                       BandOutputs* out) {
  State& st = fState;
  const FollowerConstants& f = fFollowers;
  const GainConstants k{splat<V>(1.0f), splat<V>(fBlock.densityLimit),
                        splat<V>(fRate.numeratorSmooth.input),
                        splat<V>(fRate.numeratorSmooth.pole)};
  constexpr int kVectors = kLanes / kStep;
  ReleaseStep<V> step[kVectors];
  for (int v = 0, lane = 0; v < kVectors; ++v, lane += kStep) {
    step[v].start(releaseFactors(lane, V{}), load<V>(f.releaseInput + lane),
                  load<V>(f.releasePole + lane), load<V>(st.followerRelease + lane));
  }
  alignas(kLaneAlign) float gainRow[kPiece][kBandLanes];
  for (int i = 0; i < count; ++i) {
    followers(levels[i], step, k);
    for (int b = 0; b < kBandLanes; b += kStep) {
      const V gain = bandGain(b, load<V>(levels[i] + kBandLanes + b), k);
      store(gainRow[i] + b, gain);
      store(st.gain + b, gain);
    }
    // The gained bands in the same loop: their loads and stores fill the
    // time the followers' recursions leave.
    delayGainedBands(n + static_cast<std::uint32_t>(i), gainRow[i], out[i]);
  }
}

// One sample of the fast and slow followers: release states and their
// factors (0 in the padding), then the envelopes.
template <class V>
[[gnu::always_inline]] inline void BandEqualiser<V>::followers(const float* levels,
                                                                ReleaseStep<V>* step,
                                                                const GainConstants& k) {
  State& st = fState;
  const FollowerConstants& f = fFollowers;
  // Unrolled, so that the followers' steps stay in registers.
#pragma GCC unroll 8
  for (int v = 0, lane = 0; lane < kLanes; ++v, lane += kStep) {
    // The held levels in the fast lanes, the peaks in the slow ones.
    const V input = lanesOfHalves<V>(levels, kBandLanes, lane, kDiffLane,
                                     kDifferenceLanes.data());
    V release = load<V>(st.followerRelease + lane);
    V factor;
    step[v](releaseFactors(lane, V{}), load<V>(f.releaseInput + lane),
            load<V>(f.releasePole + lane), input, load<V>(st.followerEnvelope + lane), release,
            factor);
    store(st.followerRelease + lane, release);
    if (!lanesAllInUse(lane)) {
      factor = select(greater(load<V>(kComponentLanesInUse.data() + lane), splat<V>(0.0f)),
                      factor, splat<V>(0.0f));
    }
    followAndSmooth(laneAbs(input), k.one - factor, factor, st.followerPeak + lane,
                    load<V>(f.smoothInput + lane), load<V>(f.smoothPole + lane),
                    st.followerEnvelope + lane);
  }
}

// One lane group's gain from its peak and the followers' envelopes.
template <class V>
[[gnu::always_inline]] inline V BandEqualiser<V>::bandGain(int b, V peak,
                                                           const GainConstants& k) {
  State& st = fState;
  const BandRateDesign& rc = fRate;
  // Numerator: the ceiling times the level, capped at 1, with a band-rate
  // release and 30 ms smoothing.
  const V capped = laneMin(load<V>(fBlock.ceiling + b) * peak, k.one);
  const V numerator = followAndSmooth(
      capped, load<V>(rc.numeratorInput + b), load<V>(rc.numeratorPole + b), st.numeratorPeak + b,
      k.numeratorSmoothInput, k.numeratorSmoothPole, st.numerator + b);

  // Denominator: the fast envelope, or the limited slow envelope when that is
  // higher, floored at -90 dB (NaN included).
  const V fastEnvelope = load<V>(st.followerEnvelope + b);
  const V limitedSlow = k.densityLimit * load<V>(st.followerEnvelope + kDiffLane + b);
  V den = select(greaterEqual(fastEnvelope, limitedSlow), fastEnvelope, limitedSlow);
  const V floor = splat<V>(kFloor90dB);
  den = select(greater(den, floor), den, floor);
  return numerator / den;
}

// The gained band components of sample `at` from 132 samples back, into the
// band delay lines, and the delay lines' outputs.
template <class V>
[[gnu::always_inline]] inline void BandEqualiser<V>::delayGainedBands(std::uint32_t at,
                                                                      const float* gain,
                                                                      BandOutputs& o) {
  State& st = fState;
  float* lineNow = st.line.row(at);
  const float* lineOut = st.line.row(at - kBandLineDelay);
  const float* ringLate = st.bandRing.row(at - kBandLookAhead);
  for (int b = 0; b < kBandLanes; b += kStep) {
    const V weightedGain = load<V>(fRate.signedWeight + b) * load<V>(gain + b);
    const V a = weightedGain * load<V>(ringLate + b);
    const V bDiff = weightedGain * load<V>(ringLate + kDiffLane + b);
    store(o.gained + b, a);
    store(o.gainedDiff + b, bDiff);
    store(lineNow + b, a + bDiff);
    store(lineNow + kBandLanes + b, a - bDiff);
    store(o.sumOut + b, load<V>(lineOut + b));
    // (The mono bands' difference read-out goes unused.)
    store(o.diffOut + b, load<V>(lineOut + kBandLanes + b));
  }
  o.mono = o.sumOut[0] + o.sumOut[1];
}

}  // namespace vardo
