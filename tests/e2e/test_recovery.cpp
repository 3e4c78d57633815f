// Recovery after samples far above the programme: a spike that overflows any
// state of the chain costs one block of silence, and a host's off/on gives a
// clean start after one that leaves the band gains held down.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "hosted_vardo.h"
#include "test_signals.h"

using vardo::e2e::HostedVardo;
using vardo::e2e::Stereo;

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 512;
constexpr std::size_t kLatency = 2660;
// The programme reaches its steady level this long after the latency: the
// level detectors' attack and the output gain's glide to its threshold.
constexpr std::size_t kAttack = 2400;
constexpr std::size_t kWindow = 480;  // 10 ms level windows
constexpr double kToleranceDb = 1.0;

// A 3 kHz tone at -12 dBFS.
std::vector<float> tone(std::size_t count, std::size_t phaseFrom = 0) {
  return vardo::test::sine(3000.0, kRate, count, 0.25, phaseFrom);
}

// Level of both channels over [begin, begin + count), in dB.
double levelDb(const Stereo& out, std::size_t begin, std::size_t count) {
  double energy = 0.0;
  for (std::size_t i = begin; i < begin + count; ++i)
    energy += static_cast<double>(out.left[i]) * out.left[i] +
              static_cast<double>(out.right[i]) * out.right[i];
  return 10.0 * std::log10(energy / static_cast<double>(2 * count) + 1e-30);
}

// The tone's level once a fresh instance has settled on it.
double steadyLevelDb() {
  HostedVardo plugin(kRate);
  const Stereo out = plugin.render(tone(2 * kRate), kBlock);
  return levelDb(out, out.left.size() - kRate / 2, kRate / 2);
}

// Every 10 ms window from `from` to the end lies within the tolerance of `steady`.
void expectSteadyFrom(const Stereo& out, std::size_t from, double steady, const std::string& what) {
  for (std::size_t at = from; at + kWindow <= out.left.size(); at += kWindow) {
    const double level = levelDb(out, at, kWindow);
    ASSERT_NEAR(level, steady, kToleranceDb) << what << ": window at sample " << at;
  }
}

TEST(Recovery, ASpikeThatOverflowsAStateCostsOneBlock) {
  const double steady = steadyLevelDb();
  constexpr std::size_t kSpikeStart = 50 * kBlock;
  struct Case {
    const char* what;
    float spike;  // one sample of this, or 0: a block of random floats up to 1e30
  };
  for (const Case& c : {Case{"3e21", 3e21f}, Case{"1e25", 1e25f}, Case{"1e30", 1e30f},
                        Case{"random block up to 1e30", 0.0f}}) {
    std::vector<float> input = tone(4 * kRate);
    std::mt19937 random(14);
    std::uniform_real_distribution<float> huge(-1e30f, 1e30f);
    for (std::size_t i = kSpikeStart; i < kSpikeStart + kBlock; ++i)
      input[i] = c.spike != 0.0f ? (i == kSpikeStart + 300 ? c.spike : 0.0f) : huge(random);

    HostedVardo plugin(kRate);
    const Stereo out = plugin.render(input, kBlock);
    for (std::size_t i = 0; i < out.left.size(); ++i) {
      ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << c.what;
      ASSERT_LE(std::fabs(out.left[i]), 0.8912509f) << c.what;
      ASSERT_LE(std::fabs(out.right[i]), 0.8912509f) << c.what;
    }
    // The spike reaches the overflowing state within the next block at the
    // latest; the chain starts afresh at that block's end.
    expectSteadyFrom(out, kSpikeStart + 2 * kBlock + kLatency + kAttack, steady, c.what);
  }
}

TEST(Recovery, OffAndOnAfterASpikeRestoresTheToneAtOnce) {
  // A spike that leaves every state finite but holds the band gains down for
  // a minute and more. Off/on must give what a fresh instance gives, with the
  // host's control values kept.
  constexpr int kLowpassFilter = 0;
  std::vector<float> before = tone(kRate);
  for (std::size_t i = before.size() - kBlock; i < before.size(); ++i) before[i] = 0.0f;
  before[before.size() - 100] = 1e10f;
  const std::vector<float> after = tone(2 * kRate, before.size());

  HostedVardo switched(kRate), left(kRate), fresh(kRate);
  for (HostedVardo* p : {&switched, &left, &fresh}) p->setValue(kLowpassFilter, 6000.0f);
  switched.render(before, kBlock);
  left.render(before, kBlock);
  switched.switchOffAndOn();

  const Stereo restarted = switched.render(after, kBlock);
  const Stereo reference = fresh.render(after, kBlock);
  EXPECT_TRUE(restarted.left == reference.left && restarted.right == reference.right);

  // Without the off/on the tone is still far down by the end.
  const Stereo held = left.render(after, kBlock);
  const std::size_t lastHalfSecond = after.size() - kRate / 2;
  EXPECT_LT(levelDb(held, lastHalfSecond, kRate / 2),
            levelDb(reference, lastHalfSecond, kRate / 2) - 6.0);
}

}  // namespace
