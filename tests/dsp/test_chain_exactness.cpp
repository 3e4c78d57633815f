// The chain on every lane type, and the DSP itself, against the plain-float
// reference run one sample per run: every output sample must carry the same
// bits, for any signal, rate, control setting and block size.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "chain/chain.h"
#include "chain/lane_sets.h"
#include "lane_types.h"
#include "mydsp.h"
#include "programme.h"
#include "reference_chain.h"
#include "test_support.h"
#include "ui.h"

namespace {

using vardo::programme::Noise;

// Collects the control zones in declaration order, which is field order.
class ZoneCollector : public UI {
 public:
  std::vector<float*> zones;
  void openTabGroup(const char*) override {}
  void openHorizontalGroup(const char*) override {}
  void openGroup(const char*) override {}
  void closeGroup() override {}
  void declareButton(const char*, float* z) override { zones.push_back(z); }
  void declareCheckButton(const char*, float* z) override { zones.push_back(z); }
  void declareVerticalSlider(const char*, float* z, float, float, float, float) override {
    zones.push_back(z);
  }
  void declareSlider(const char*, float* z, float, float, float, float) override {
    zones.push_back(z);
  }
  void declareNumberEntry(const char*, float* z, float, float, float, float) override {
    zones.push_back(z);
  }
  void addHorizontalMeter(const char*, float*, float, float) override {}
  void addVerticalMeter(const char*, float*, float, float) override {}
  void addSoundFile(const char*, const char*, void**) override {}
  void declareControlMeta(float*, const char*, const char*) override {}
};

ControlFields defaults() {
  ControlFields c{};
  resetControlFields(c);
  return c;
}

// Every control at the low or the high end of its range.
ControlFields lowest() {
  ControlFields c{};
  for (const ControlRow& row : kControlTable) c.*row.field = row.min;
  return c;
}
ControlFields highest() {
  ControlFields c{};
  for (const ControlRow& row : kControlTable) c.*row.field = row.max;
  return c;
}

// The DSP driven through its control zones, as the shell drives it.
class DspDriver {
 public:
  DspDriver() {
    ZoneCollector collector;
    fDsp->declareControls(&collector);
    fZones = collector.zones;
  }
  void initialize(int rate) { fDsp->initialize(rate); }
  void setControls(const ControlFields& c) {
    ASSERT_EQ(fZones.size(), static_cast<std::size_t>(kControlCount));
    float values[kControlCount];
    std::memcpy(values, &c, sizeof values);
    for (int i = 0; i < kControlCount; ++i) *fZones[static_cast<std::size_t>(i)] = values[i];
  }
  void process(int count, const float* input, float* out0, float* out1) {
    float* inputs[2] = {const_cast<float*>(input), const_cast<float*>(input)};
    float* outputs[2] = {out0, out1};
    fDsp->computeBlock(count, inputs, outputs);
  }

 private:
  std::unique_ptr<mydsp> fDsp = std::make_unique<mydsp>();
  std::vector<float*> fZones;
};

// A chain instantiation with the DspDriver's interface.
template <class V>
class LaneDriver : public vardo::test::ChainDriver<V> {
 public:
  static bool available() { return true; }
  void setControls(const ControlFields& c) { this->controls() = c; }
};

// The chain on one of the lane sets the DSP picks from at run time, made
// through the same interface the DSP uses.
template <vardo::LaneSet Set>
class LaneSetDriver {
 public:
  static bool available() { return vardo::laneSetAvailable(Set); }
  void initialize(int rate) {
    fChain->setRate(vardo::SampleRate::fromRate(rate));
    resetControlFields(fControls);
    fChain->clear();
  }
  void setControls(const ControlFields& c) { fControls = c; }
  void process(int count, const float* input, float* out0, float* out1) {
    fChain->processBlock(snapshotControls(fControls), count, input, out0, out1);
  }

 private:
  std::unique_ptr<vardo::ChainRunner> fChain = vardo::makeChain(Set);
  ControlFields fControls{};
};

// Builds every DSP made while it lives on one lane set.
class ChosenLaneSet {
 public:
  explicit ChosenLaneSet(vardo::LaneSet set) { vardo::chooseLaneSetForTesting(set); }
  ~ChosenLaneSet() { vardo::chooseLaneSetForTesting(std::nullopt); }
  ChosenLaneSet(const ChosenLaneSet&) = delete;
  ChosenLaneSet& operator=(const ChosenLaneSet&) = delete;
};

// The subject and the reference side by side, fed the same blocks and controls.
template <class Subject>
class Pair {
 public:
  explicit Pair(int rate) {
    fSubject.initialize(rate);
    fRef->initialize(rate);
  }

  void setControls(const ControlFields& c) {
    fSubject.setControls(c);
    fRef->controls() = c;
  }

  // Runs the signal through both in blocks of `block` frames (a pattern of
  // sizes when several are given, repeated) and compares every output bit.
  // Returns the output peak of the reference.
  float runAndCompare(const std::vector<float>& signal, const std::vector<int>& blocks,
                      const std::string& what, bool inPlace = false) {
    const std::size_t total = signal.size();
    std::vector<float> in(signal), left(total), right(total), refLeft(total), refRight(total);
    std::size_t at = 0;
    for (std::size_t b = 0; at < total; ++b) {
      const int wanted = blocks[b % blocks.size()];
      const int count = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(wanted),
                                                               total - at));
      fSubject.process(count, in.data() + at, inPlace ? in.data() + at : left.data() + at,
                       right.data() + at);
      fRef->process(count, signal.data() + at, refLeft.data() + at, refRight.data() + at);
      at += static_cast<std::size_t>(count);
    }
    const std::vector<float>& subjectLeft = inPlace ? in : left;
    for (std::size_t i = 0; i < total; ++i) {
      const auto l = std::bit_cast<std::uint32_t>(subjectLeft[i]);
      const auto r = std::bit_cast<std::uint32_t>(right[i]);
      if (l != std::bit_cast<std::uint32_t>(refLeft[i]) ||
          r != std::bit_cast<std::uint32_t>(refRight[i])) {
        ADD_FAILURE() << what << ": sample " << i << " differs: " << subjectLeft[i] << ", "
                      << right[i] << " against " << refLeft[i] << ", " << refRight[i];
        return 0.0f;
      }
    }
    float peak = 0.0f;
    for (float v : refLeft) peak = std::max(peak, std::fabs(v));
    return peak;
  }

 private:
  Subject fSubject;
  std::unique_ptr<vardo::test::ReferenceChain> fRef =
      std::make_unique<vardo::test::ReferenceChain>();
};

// Noise whose level jumps between near silence and full scale, true silence,
// a sine sweep over the whole band, clicks, and one NaN sample.
std::vector<float> programme(int rate, std::size_t length) {
  std::vector<float> s(length);
  Noise noise(12345u);
  const double pi = 3.14159265358979;
  double phase = 0.0;
  for (std::size_t i = 0; i < length; ++i) {
    const std::size_t part = i * 8 / length;
    float v = 0.0f;
    if (part < 3) {
      static constexpr float kLevels[] = {0.5f, 0.001f, 1.0f, 0.05f};
      v = kLevels[(i / 700) % 4] * noise.next();
    } else if (part == 3) {
      v = 0.0f;
    } else if (part < 6) {
      const double frac = static_cast<double>(i - 3 * length / 8) / (3.0 * length / 8);
      phase += 2.0 * pi * (20.0 + frac * 0.48 * rate) / rate;
      v = static_cast<float>(0.7 * std::sin(phase));
    } else {
      v = (i % 97 == 0) ? ((i / 97) % 2 ? 0.99f : -0.99f) : 0.02f * noise.next();
    }
    s[i] = v;
  }
  s[length / 3] = std::numeric_limits<float>::quiet_NaN();
  return s;
}

constexpr int kRates[] = {8000, 44100, 96000, 192000};

// Every wide lane type, and the AVX, AVX2 and AVX-512 lanes as the DSP reaches
// them (skipped on processors without them).
template <class Driver>
class ChainExactness : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Driver::available()) GTEST_SKIP() << "this processor cannot run the lane set";
  }
};
using ExactnessDrivers =
    ::testing::Types<LaneDriver<vardo::Float4>, LaneDriver<vardo::Float8>,
                     LaneSetDriver<vardo::LaneSet::kEightAvx>,
                     LaneSetDriver<vardo::LaneSet::kEightAvx2>,
                     LaneSetDriver<vardo::LaneSet::kSixteenAvx512>>;
TYPED_TEST_SUITE(ChainExactness, ExactnessDrivers);

TYPED_TEST(ChainExactness, MatchesTheReferenceAtEveryRateAndBlockSize) {
  for (int rate : kRates) {
    const auto signal = programme(rate, 6000);
    for (int block : {1, 7, 512, 3000}) {
      Pair<TypeParam> pair(rate);
      const std::string what = std::to_string(rate) + " Hz, blocks of " + std::to_string(block);
      EXPECT_GT(pair.runAndCompare(signal, {block}, what), 0.01f) << what << ": silent";
    }
  }
}

TYPED_TEST(ChainExactness, MatchesAtExtremeControlsAndAcrossControlChanges) {
  using Pair = ::Pair<TypeParam>;
  const std::vector<int> mixedBlocks = {1, 7, 512, 3000, 130, 64, 65};
  for (int rate : {8000, 44100, 192000}) {
    const auto signal = programme(rate, 6000);
    int index = 0;
    for (const ControlFields& c : {lowest(), highest()}) {
      Pair pair(rate);
      pair.setControls(c);
      const std::string what = std::to_string(rate) + " Hz, control set " + std::to_string(index++);
      EXPECT_GT(pair.runAndCompare(signal, mixedBlocks, what), 1e-4f) << what << ": silent";
    }
  }
  // Values no slider gives but a host might store: the outputs then carry
  // little or nothing, yet both chains must still agree.
  for (float odd : {std::numeric_limits<float>::quiet_NaN(),
                    -std::numeric_limits<float>::infinity()}) {
    Pair pair(44100);
    ControlFields c = defaults();
    c.outputAgcThreshold = odd;
    pair.setControls(c);
    pair.runAndCompare(programme(44100, 3000), {100}, "threshold " + std::to_string(odd));
    c = highest();
    c.noisegateGain = odd;
    c.autoEqThreshold = odd;
    c.expanderOffset = odd;
    pair.setControls(c);
    pair.runAndCompare(programme(44100, 3000), {100}, "band controls " + std::to_string(odd));
  }

  // Controls that change between blocks: each block sees its own snapshot.
  Pair pair(44100);
  const auto signal = programme(44100, 8000);
  ControlFields c = defaults();
  std::vector<float> part;
  float peak = 0.0f;
  for (int step = 0; step < 8; ++step) {
    c.lowpassFilter = 1000.0f + 2000.0f * static_cast<float>(step);
    c.dnrSensitivity = step % 2 ? 10.0f : 300.0f;
    c.dnrLpfDisable = step == 5 ? 1.0f : 0.0f;
    c.bandwidthExpansionLevel = step % 3 ? 24.0f : -96.0f;
    pair.setControls(c);
    part.assign(signal.begin() + step * 1000, signal.begin() + (step + 1) * 1000);
    peak = std::max(peak, pair.runAndCompare(part, {333}, "control step " + std::to_string(step)));
  }
  EXPECT_GT(peak, 0.01f);
}

// Overflow restarts and in-place buffers through the DSP as the shell drives it.
void dspMatchesThroughAnOverflowRestartAndInPlaceBuffers() {
  using Pair = ::Pair<DspDriver>;
  for (int rate : {8000, 48000}) {
    auto signal = programme(rate, 12000);
    // One block of samples far beyond full scale overflows the filter
    // states, and a single later sample only the band envelopes, with the
    // channel signals still finite; both chains must restart at the same
    // block boundaries.
    for (std::size_t i = 2100; i < 2400; ++i) signal[i] = i % 2 ? 1e34f : -1e34f;
    signal[4321] = 1e30f;
    for (int block : {7, 300}) {
      Pair pair(rate);
      const std::string what = std::to_string(rate) + " Hz overflow, blocks of " + std::to_string(block);
      EXPECT_GT(pair.runAndCompare(signal, {block}, what), 0.01f) << what << ": silent";
    }
  }
  // Input 0 and output 0 sharing one buffer, controls at their highest.
  Pair pair(44100);
  pair.setControls(highest());
  EXPECT_GT(pair.runAndCompare(programme(44100, 6000), {512, 100}, "in place", true), 0.01f);
}

// The DSP itself, on each lane set the processor runs: controls through its
// zones, and input 0 and output 0 sharing a buffer.
TEST(DspExactness, MatchesTheReferenceThroughAnOverflowRestartAndInPlaceBuffers) {
  for (const vardo::LaneSetRow& row : vardo::laneSets()) {
    const vardo::LaneSet set = row.set;
    if (!vardo::laneSetAvailable(set)) continue;
    SCOPED_TRACE(vardo::laneSetName(set));
    ChosenLaneSet chosen(set);
    dspMatchesThroughAnOverflowRestartAndInPlaceBuffers();
  }
}

}  // namespace

// --- Stages over runs of any length against runs of one sample ---------------

namespace {

using vardo::programme::Noise;
using vardo::test::bitsOf;

// Run lengths that cross every boundary a run-wise loop could get wrong.
constexpr int kRuns[] = {1, 2, 3, 128, 5, 256, 64, 1, 200};

TEST(RunWiseStages, DispersionOverRunsMatchesSingleSamples) {
  auto single = std::make_unique<vardo::AllpassDispersion>();
  auto runs = std::make_unique<vardo::AllpassDispersion>();
  single->clear();
  runs->clear();
  Noise noise(12345u);
  // Starts near the top of the sample counter so the ring index wraps.
  std::uint32_t n = 0xFFFFFF00u;
  std::vector<float> in(256), out(256);
  for (int pass = 0; pass < 6; ++pass) {
    for (int run : kRuns) {
      for (int i = 0; i < run; ++i) in[static_cast<std::size_t>(i)] = noise.next();
      runs->processRun(run, n, in.data(), out.data());
      for (int i = 0; i < run; ++i, ++n) {
        float expected = 0.0f;
        single->processRun(1, n, &in[static_cast<std::size_t>(i)], &expected);
        ASSERT_EQ(bitsOf(out[static_cast<std::size_t>(i)]), bitsOf(expected))
            << "counter " << n << ": " << out[static_cast<std::size_t>(i)] << " against "
            << expected;
      }
    }
  }
  EXPECT_NE(out[0], 0.0f);
}

// The input filters run as a wavefront over runs of twelve samples and more,
// and section after section over shorter ones: both give the same bits, also
// across a non-finite input and a change of the lowpass corner.
TEST(RunWiseStages, InputFiltersOverRunsMatchSingleSamples) {
  auto single = std::make_unique<vardo::InputFilters>();
  auto runs = std::make_unique<vardo::InputFilters>();
  const vardo::SampleRate rate = vardo::SampleRate::fromRate(44100);
  ControlFields c = defaults();
  Noise noise(12345u);
  std::vector<float> in(256), out(256);
  for (int pass = 0; pass < 4; ++pass) {
    c.lowpassFilter = pass % 2 ? 2500.0f : 14000.0f;
    for (auto* f : {single.get(), runs.get()}) {
      if (pass == 0) {
        f->setRate(rate);
        f->clear();
      }
      f->prepareBlock(c, rate);
    }
    for (int run : {1, 11, 12, 13, 128, 2, 200, 64, 23}) {
      for (int i = 0; i < run; ++i) in[static_cast<std::size_t>(i)] = noise.next();
      if (pass == 2 && run == 128) in[40] = std::numeric_limits<float>::infinity();
      runs->processRun(run, 0, in.data(), out.data());
      for (int i = 0; i < run; ++i) {
        float expected = 0.0f;
        single->processRun(1, 0, &in[static_cast<std::size_t>(i)], &expected);
        ASSERT_EQ(bitsOf(out[static_cast<std::size_t>(i)]), bitsOf(expected))
            << "pass " << pass << ", run of " << run << ", sample " << i;
      }
    }
  }
  EXPECT_NE(out[0], 0.0f);
}

template <class V>
class ExpanderLanes : public ::testing::Test {};
TYPED_TEST_SUITE(ExpanderLanes, vardo::test::WideLaneTypes);

TYPED_TEST(ExpanderLanes, OverRunsMatchThePlainFloatInstantiationPerChannel) {
  using Lanes = vardo::BandwidthExpander<TypeParam>;
  using Plain = vardo::BandwidthExpander<float>;
  for (int rate : {8000, 44100, 192000}) {
    for (const ControlFields& c : {defaults(), lowest(), highest()}) {
      const vardo::SampleRate sr = vardo::SampleRate::fromRate(rate);
      auto lanes = std::make_unique<Lanes>();
      auto plain = std::make_unique<Plain>();
      lanes->setRate(sr);
      plain->setRate(sr);
      lanes->prepareBlock(c, sr);
      plain->prepareBlock(c, sr);
      lanes->clear();
      plain->clear();
      Noise noise(12345u);
      std::vector<float> a(256), b(256), outA(256), outB(256);
      float peak = 0.0f;
      std::size_t t = 0;
      for (int pass = 0; pass < 4; ++pass) {
        for (int run : kRuns) {
          // Different signals per channel: loud noise bursts on A, a tone on B.
          for (std::size_t i = 0; i < static_cast<std::size_t>(run); ++i, ++t) {
            a[i] = (t / 300) % 2 ? noise.next() : 0.001f * noise.next();
            b[i] = 0.5f * static_cast<float>(std::sin(0.9 * static_cast<double>(t)));
          }
          lanes->processRun(run, 0, a.data(), b.data(), outA.data(), outB.data());
          for (std::size_t i = 0; i < static_cast<std::size_t>(run); ++i) {
            float expectedA = 0.0f;
            float expectedB = 0.0f;
            plain->processRun(1, 0, &a[i], &b[i], &expectedA, &expectedB);
            ASSERT_EQ(bitsOf(outA[i]), bitsOf(expectedA)) << rate << " Hz, channel A";
            ASSERT_EQ(bitsOf(outB[i]), bitsOf(expectedB)) << rate << " Hz, channel B";
            peak = std::max(peak, std::fabs(expectedA - a[i]));
          }
        }
      }
      EXPECT_GT(peak, 0.0f);
    }
  }
}

TEST(RunWiseStages, OutputStageOverRunsMatchesSingleSamples) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // Thresholds: lowest, highest, and the NaN and silence a broken host value gives.
  for (float threshold : {-12.0f, 3.0f, nan, -inf}) {
    const vardo::SampleRate sr = vardo::SampleRate::fromRate(44100);
    ControlFields c = defaults();
    c.outputAgcThreshold = threshold;
    auto single = std::make_unique<vardo::OutputAgc>();
    auto runs = std::make_unique<vardo::OutputAgc>();
    for (vardo::OutputAgc* stage : {single.get(), runs.get()}) {
      stage->setRate(sr);
      stage->prepareBlock(c, sr);
      stage->clear();
    }
    Noise noise(12345u);
    std::vector<float> a(256), b(256), out0(256), out1(256);
    std::vector<vardo::SecondCorner> corners(256);
    std::uint32_t n = 0xFFFFFFC0u;  // the rings wrap within the first runs
    std::size_t t = 0;
    for (int pass = 0; pass < 5; ++pass) {
      for (int run : kRuns) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(run); ++i, ++t) {
          // Level steps that make the gain attack and release, a NaN and an
          // infinity now and then, and a corner that moves every sample.
          a[i] = ((t / 500) % 2 ? 3.0f : 0.01f) * noise.next();
          b[i] = t % 331 == 0 ? nan : t % 509 == 0 ? inf : 0.5f * noise.next();
          const float k = 1.0f + 20.0f * (0.5f + 0.5f * noise.next());
          corners[i] = {k, 1.0f - k, k + 1.0f};
        }
        runs->processRun(run, n, a.data(), b.data(), corners.data(), out0.data(), out1.data());
        for (std::size_t i = 0; i < static_cast<std::size_t>(run); ++i, ++n) {
          float e0 = 0.0f;
          float e1 = 0.0f;
          single->processRun(1, n, &a[i], &b[i], &corners[i], &e0, &e1);
          ASSERT_EQ(bitsOf(out0[i]), bitsOf(e0)) << "threshold " << threshold << ", sample " << t;
          ASSERT_EQ(bitsOf(out1[i]), bitsOf(e1)) << "threshold " << threshold << ", sample " << t;
        }
      }
    }
  }
}

}  // namespace
