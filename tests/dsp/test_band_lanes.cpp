// The band stages on every lane type against their plain-float instantiation:
// the same inputs must give the same outputs bit for bit, at every rate and
// control setting.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "band_rig.h"
#include "lane_types.h"
#include "simd/lanes.h"
#include "primitives/primitives.h"
#include "test_support.h"

namespace {

using vardo::BandOutputs;
using vardo::kBandCount;
using vardo::kMonoBandCount;

using vardo::test::bitsOf;

// --- The lane operations keep the scalar operand order -----------------------

template <class V>
class LaneOperations : public ::testing::Test {};
TYPED_TEST_SUITE(LaneOperations, vardo::test::WideLaneTypes);

TYPED_TEST(LaneOperations, MaxMinSelectAndSignsMatchTheScalarOperations) {
  using V = TypeParam;
  constexpr int kWidth = vardo::kLaneWidth<V>;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // Pairs where the order of operands decides the result: NaN on either
  // side, zeros of both signs, ties and plain values.
  const float values[] = {nan, -nan, 0.0f, -0.0f, 1.0f, -1.0f, 3.5e-5f, inf, -inf, 1e-40f};
  for (float a : values) {
    for (float b : values) {
      alignas(64) float r[6][kWidth];
      const V x = vardo::splat<V>(a);
      const V y = vardo::splat<V>(b);
      vardo::store(r[0], vardo::laneMax(x, y));
      vardo::store(r[1], vardo::laneMin(x, y));
      vardo::store(r[2], vardo::select(vardo::greater(x, y), x, y));
      vardo::store(r[3], vardo::select(vardo::greaterEqual(x, y), x, y));
      vardo::store(r[4], vardo::laneAbs(x));
      vardo::store(r[5], -y);
      const float expected[6] = {std::max(a, b), std::min(a, b), a > b ? a : b,
                                 a >= b ? a : b, std::fabs(a), -b};
      for (int op = 0; op < 6; ++op) {
        for (int lane = 0; lane < kWidth; ++lane) {
          ASSERT_EQ(bitsOf(r[op][lane]), bitsOf(expected[op]))
              << "operation " << op << " on " << a << ", " << b;
        }
      }
    }
  }
}

TYPED_TEST(LaneOperations, FiniteCheckSeesEveryLaneInUseAndNoOther) {
  // Two rows of 32 lanes, the lanes 3 and 20 of each unused: a value that is
  // not finite counts in every lane in use, in either row, and nowhere else.
  using V = TypeParam;
  constexpr int kRow = 32;
  alignas(64) float inUse[kRow];
  for (int lane = 0; lane < kRow; ++lane) inUse[lane] = lane == 3 || lane == 20 ? 0.0f : 1.0f;
  for (const float bad : {std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity()}) {
    for (int at = 0; at < 2 * kRow; ++at) {
      alignas(64) float rows[2 * kRow];
      for (int k = 0; k < 2 * kRow; ++k) rows[k] = k % 2 == 0 ? 3.0e38f : -1e-40f;
      rows[at] = bad;
      EXPECT_EQ(vardo::lanesFinite<V>(rows, inUse, kRow, 2), inUse[at % kRow] == 0.0f) << at;
    }
  }
}

// --- The plain-float and the lane instantiations side by side ----------------

struct Setting {
  const char* name;
  float noisegate, threshold, density, trim, limit, offset;
};

// The defaults and the extremes of every control the band stages read.
constexpr Setting kSettings[] = {
    {"defaults", 40.0f, -60.0f, -10.0f, 0.0f, 170.0f, 1.1f},
    {"all low", 0.0f, -90.0f, -30.0f, -12.0f, 0.0f, 0.0f},
    {"all high", 70.0f, 0.0f, 0.0f, 12.0f, 200.0f, 2.0f},
    {"wide open", 70.0f, -90.0f, 0.0f, 12.0f, 200.0f, 0.0f},
    {"gated", 0.0f, 0.0f, -30.0f, -12.0f, 200.0f, 2.0f},
};

template <class V>
struct SideBySide {
  BandOutputs plainOut, fastOut;
  float plainA = 0.0f, plainB = 0.0f, fastA = 0.0f, fastB = 0.0f;
  std::uint32_t n = 0;
  vardo::SampleRate rate;
  // "plain": the reference instantiation; "fast": the one on lane type V.
  std::unique_ptr<vardo::BandEqualiser<float>> plainBands =
      std::make_unique<vardo::BandEqualiser<float>>();
  std::unique_ptr<vardo::StereoWidth<float>> plainWidth =
      std::make_unique<vardo::StereoWidth<float>>();
  std::unique_ptr<vardo::BandEqualiser<V>> fastBands = std::make_unique<vardo::BandEqualiser<V>>();
  std::unique_ptr<vardo::StereoWidth<V>> fastWidth = std::make_unique<vardo::StereoWidth<V>>();

  // A rate change as the DSP does it: new constants, then all state cleared.
  void setRate(int hz) {
    rate = vardo::SampleRate::fromRate(hz);
    plainBands->setRate(rate);
    plainWidth->setRate(rate);
    fastBands->setRate(rate);
    fastWidth->setRate(rate);
    plainBands->clear();
    plainWidth->clear();
    fastBands->clear();
    fastWidth->clear();
    n = 0;
  }
  void apply(const Setting& s) {
    ControlFields c{};
    resetControlFields(c);
    c.noisegateGain = s.noisegate;
    c.autoEqThreshold = s.threshold;
    c.autoEqDensityLimit = s.density;
    c.expanderGainTrim = s.trim;
    c.expanderLimitPercent = s.limit;
    c.expanderOffset = s.offset;
    plainBands->prepareBlock(c, rate);
    plainWidth->prepareBlock(c, rate);
    fastBands->prepareBlock(c, rate);
    fastWidth->prepareBlock(c, rate);
  }
  void step(float x, float d) {
    plainBands->processRun(1, n, &x, &d, &plainOut);
    plainWidth->processRun(1, n, &plainOut, &plainA, &plainB);
    fastBands->processRun(1, n, &x, &d, &fastOut);
    fastWidth->processRun(1, n, &fastOut, &fastA, &fastB);
    ++n;
  }
  // Empty when every output and every per-band value agrees bit for bit;
  // otherwise names the first value that differs.
  std::string difference() const {
    if (bitsOf(plainA) != bitsOf(fastA)) return "channel A sum";
    if (bitsOf(plainB) != bitsOf(fastB)) return "channel B sum";
    if (bitsOf(plainOut.mono) != bitsOf(fastOut.mono)) return "mono read-out";
    for (int m = 0; m < kBandCount; ++m) {
      const char* what = bandDifference(m);
      if (what != nullptr) return std::string(what) + " of band " + std::to_string(m);
    }
    return {};
  }
  const char* bandDifference(int m) const {
    if (bitsOf(plainBands->gain(m)) != bitsOf(fastBands->gain(m))) return "gain";
    if (bitsOf(plainBands->level(m)) != bitsOf(fastBands->level(m))) return "level";
    if (bitsOf(plainBands->heldLevel(m)) != bitsOf(fastBands->heldLevel(m))) return "held level";
    if (bitsOf(plainOut.gained[m]) != bitsOf(fastOut.gained[m])) return "a";
    if (bitsOf(plainOut.gainedDiff[m]) != bitsOf(fastOut.gainedDiff[m])) return "b";
    if (bitsOf(plainOut.sumOut[m]) != bitsOf(fastOut.sumOut[m])) return "sum line";
    if (bitsOf(plainOut.diffOut[m]) != bitsOf(fastOut.diffOut[m])) return "difference line";
    if (m >= kMonoBandCount && bitsOf(plainWidth->sideGain(m)) != bitsOf(fastWidth->sideGain(m))) {
      return "side gain";
    }
    return nullptr;
  }
};

// Test programme of `length` samples at `fs`: pink-ish noise with level
// jumps, exact silence, a logarithmic sweep up to near fs / 2 and isolated
// clicks. d is mostly a late, scaled copy of x plus its own noise, and in
// places zero or equal to x (no difference signal).
struct Programme {
  std::vector<float> x, d;
};

Programme makeProgramme(int fs, int length, unsigned seed) {
  Programme p;
  p.x.resize(length);
  p.d.resize(length);
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  const int segment = length / 8;
  float low = 0.0f;
  double phase = 0.0;
  const double top = std::min(20000.0, 0.45 * fs);
  for (int i = 0; i < length; ++i) {
    const int part = i / segment;
    const int j = i % segment;
    low = 0.9f * low + 0.1f * noise(rng);  // a tilt towards the low bands
    const float n = low + 0.3f * noise(rng);
    float v = 0.0f;
    switch (part) {
      case 0: v = 0.5f * n; break;
      case 1: v = (j < segment / 2 ? 0.005f : 1.5f) * n; break;  // level jump up
      case 2: v = 0.0f; break;                                    // silence
      case 3: {                                                   // sweep
        const double hz = 20.0 * std::pow(top / 20.0, static_cast<double>(j) / segment);
        phase += 2.0 * band_test::kPi * hz / fs;
        v = 0.3f * static_cast<float>(std::sin(phase));
        break;
      }
      case 4: v = (j % 701 == 0) ? 1.0f : 0.0f; break;        // clicks
      case 5: v = (j < segment / 2 ? 2.0f : 1e-4f) * n; break;  // level jump down
      default: v = 0.2f * n; break;
    }
    p.x[i] = v;
    const float late = i >= 300 ? p.x[i - 300] : 0.0f;
    float dv = 0.7f * late + 0.05f * noise(rng);
    if (part == 6) dv = 0.0f;  // S = D
    if (part == 7) dv = v;     // D = 0
    p.d[i] = dv;
  }
  return p;
}

// Runs the programme in blocks of varying size, moving through the settings
// at block boundaries, and reports the first sample that differs.
template <class V>
void runProgramme(SideBySide<V>& rig, const Programme& p, int firstSetting, std::string& failure,
                  int& nonzeroOutputs) {
  std::mt19937 blocks(7);
  std::uniform_int_distribution<int> blockSize(1, 700);
  const int settingCount = static_cast<int>(std::size(kSettings));
  const int length = static_cast<int>(p.x.size());
  int i = 0;
  while (i < length) {
    // A new setting every eighth of the programme, applied at a block start.
    const int setting = (firstSetting + 8 * i / length) % settingCount;
    rig.apply(kSettings[setting]);
    const int end = std::min(length, i + blockSize(blocks));
    for (; i < end; ++i) {
      rig.step(p.x[i], p.d[i]);
      if (const std::string diff = rig.difference(); !diff.empty()) {
        failure = diff + " at sample " + std::to_string(i) + " (" + kSettings[setting].name + ")";
        return;
      }
      if (rig.fastA != 0.0f) ++nonzeroOutputs;
    }
  }
}

template <class V>
class BandLanes : public ::testing::Test {};
TYPED_TEST_SUITE(BandLanes, vardo::test::WideLaneTypes);

TYPED_TEST(BandLanes, MatchThePlainFloatInstantiationBitForBitAtEveryRate) {
  band_test::FlushDenormals flush;  // as on the audio thread
  SideBySide<TypeParam> rig;
  const int rates[] = {8000, 44100, 48000, 96000, 192000};
  int first = 0;
  for (int fs : rates) {
    // One pair of objects for all rates: each rate change must leave no
    // state of the previous run behind.
    rig.setRate(fs);
    const Programme p = makeProgramme(fs, 40000, static_cast<unsigned>(fs));
    std::string failure;
    int nonzero = 0;
    runProgramme(rig, p, first, failure, nonzero);
    EXPECT_EQ(failure, "") << "at " << fs << " Hz";
    // The comparison covered real output, not just the silent start.
    EXPECT_GT(nonzero, 25000) << "at " << fs << " Hz";
    first = (first + 2) % static_cast<int>(std::size(kSettings));
  }
}

TYPED_TEST(BandLanes, MatchWithoutFlushingAndAtExtremeLevels) {
  // Denormal band values (no flush-to-zero) and very loud input reach the
  // envelopes, the hold and the tangent with values far from the usual ones.
  SideBySide<TypeParam> rig;
  rig.setRate(44100);
  Programme p = makeProgramme(44100, 24000, 99);
  for (std::size_t i = 0; i < p.x.size(); ++i) {
    const float scale = (i / 3000) % 2 == 0 ? 1e-36f : 300.0f;
    p.x[i] *= scale;
    p.d[i] *= scale;
  }
  std::string failure;
  int nonzero = 0;
  runProgramme(rig, p, 3, failure, nonzero);
  EXPECT_EQ(failure, "");
}

TYPED_TEST(BandLanes, NanInputGivesNanInTheSamePlaces) {
  // A host may hand over a NaN. It stays in the band filters for good; the
  // two versions must agree on which values are numbers (and on those bit
  // for bit), even where the order of a maximum decides whether a NaN
  // propagates.
  band_test::FlushDenormals flush;
  SideBySide<TypeParam> rig;
  rig.setRate(44100);
  Programme p = makeProgramme(44100, 6000, 3);
  p.x[3000] = std::numeric_limits<float>::quiet_NaN();
  rig.apply(kSettings[0]);
  auto same = [](float a, float b) { return std::isnan(a) ? std::isnan(b) : bitsOf(a) == bitsOf(b); };
  for (std::size_t i = 0; i < p.x.size(); ++i) {
    rig.step(p.x[i], p.d[i]);
    ASSERT_TRUE(same(rig.plainA, rig.fastA)) << i;
    ASSERT_TRUE(same(rig.plainB, rig.fastB)) << i;
    for (int m = 0; m < kBandCount; ++m) {
      ASSERT_TRUE(same(rig.plainBands->gain(m), rig.fastBands->gain(m))) << i << " " << m;
      ASSERT_TRUE(same(rig.plainBands->heldLevel(m), rig.fastBands->heldLevel(m))) << i << " " << m;
      ASSERT_TRUE(same(rig.plainOut.gained[m], rig.fastOut.gained[m])) << i << " " << m;
      ASSERT_TRUE(same(rig.plainOut.sumOut[m], rig.fastOut.sumOut[m])) << i << " " << m;
      if (m >= kMonoBandCount) {
        ASSERT_TRUE(same(rig.plainWidth->sideGain(m), rig.fastWidth->sideGain(m))) << i << " " << m;
      }
    }
  }
  EXPECT_TRUE(std::isnan(rig.fastA));
}

}  // namespace
