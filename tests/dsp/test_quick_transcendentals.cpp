// The quick exponential and tangent against the library path, on every float
// of the ranges they approximate, in every form: one value, four lanes, and
// the eight AVX and sixteen AVX-512 lanes where the processor has them.
// Outside those ranges they call the library themselves; a sample of such
// arguments checks that they do.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

#include "simd/float4.h"
#include "math/float_math.h"
#include "simd/lanes.h"
#include "math/lane_transcendentals.h"
#include "test_support.h"
#include "wide/wide_quick.h"

namespace {

struct Sweep {
  std::uint64_t mismatches = 0;
  float first = 0.0f;  // the first argument that disagreed
};

constexpr std::uint32_t kRun = 16;  // patterns per check: the widest lane form

// Calls check(first, last) on runs of kRun bit patterns (fewer at the end)
// covering [from, to], split over the machine's cores; returns the
// disagreements (a run counts those it found).
template <typename Check>
Sweep sweep(std::uint32_t from, std::uint32_t to, Check check) {
  const unsigned threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
  const std::uint64_t total = static_cast<std::uint64_t>(to) - from + 1;
  std::atomic<std::uint64_t> mismatches{0};
  std::atomic<std::uint32_t> first{std::numeric_limits<std::uint32_t>::max()};
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      // Thread boundaries on whole runs, so that the runs tile the range.
      const std::uint64_t runs = (total + kRun - 1) / kRun;
      const std::uint32_t begin = from + static_cast<std::uint32_t>(kRun * (runs * t / threads));
      const std::uint64_t endAt = from + kRun * (runs * (t + 1) / threads);
      std::uint64_t local = 0;
      std::uint32_t firstBad = std::numeric_limits<std::uint32_t>::max();
      for (std::uint64_t at = begin; at < endAt; at += kRun) {
        const auto bits = static_cast<std::uint32_t>(at);
        const std::uint32_t last = std::min(bits + (kRun - 1), to);
        const std::uint32_t bad = check(bits, last);
        if (bad != 0) {
          local += bad;
          firstBad = std::min(firstBad, bits);
        }
      }
      mismatches += local;
      std::uint32_t seen = first.load();
      while (firstBad < seen && !first.compare_exchange_weak(seen, firstBad)) {
      }
    });
  }
  for (auto& th : pool) th.join();
  return {mismatches.load(), std::bit_cast<float>(first.load())};
}

using vardo::test::bitsOf;

// The wide forms this processor runs.
std::vector<vardo::test::WideQuick> wideForms() {
  std::vector<vardo::test::WideQuick> forms;
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx")) forms.push_back(vardo::test::wideQuickAvx());
  if (__builtin_cpu_supports("avx512f")) forms.push_back(vardo::test::wideQuickAvx512());
#endif
  std::erase_if(forms, [](const vardo::test::WideQuick& f) { return f.lanes == 0; });
  return forms;
}
const std::vector<vardo::test::WideQuick> kWideForms = wideForms();

// A quick function's one-value, four-lane and wide forms and the library path.
struct Pair {
  float (*library)(float);
  float (*one)(float);
  vardo::Float4 (*lanes)(vardo::Float4);
  vardo::test::QuickLanes vardo::test::WideQuick::*wide;
};
constexpr float (*kExpLibrary)(float) = vardo::fexp;
constexpr Pair kExp{vardo::fexp, vardo::quickExp, vardo::quickExp, &vardo::test::WideQuick::exp};
constexpr Pair kTan{vardo::ftan, vardo::quickTan, vardo::quickTan, &vardo::test::WideQuick::tan};

// Disagreements of every form with the library on the patterns first ...
// last (up to kRun; the last repeats to fill the lanes).
std::uint32_t disagreements(const Pair& f, std::uint32_t first, std::uint32_t last) {
  alignas(64) float xs[kRun];
  for (std::uint32_t i = 0; i < kRun; ++i) xs[i] = std::bit_cast<float>(std::min(first + i, last));
  std::uint32_t expected[kRun];
  for (std::uint32_t i = 0; i < kRun; ++i) expected[i] = bitsOf(f.library(xs[i]));
  std::uint32_t bad = 0;
  alignas(64) float ys[kRun];
  for (std::uint32_t i = 0; i < kRun; i += 4) vardo::store4(ys + i, f.lanes(vardo::load4(xs + i)));
  for (std::uint32_t i = 0; i < kRun; ++i)
    bad += (bitsOf(f.one(xs[i])) != expected[i]) + (bitsOf(ys[i]) != expected[i]);
  for (const vardo::test::WideQuick& form : kWideForms) {
    for (std::uint32_t i = 0; i < kRun; i += static_cast<std::uint32_t>(form.lanes))
      (form.*f.wide)(xs + i, ys + i);
    for (std::uint32_t i = 0; i < kRun; ++i) bad += bitsOf(ys[i]) != expected[i];
  }
  if (f.library == kExpLibrary) {
    // The exponential's single-precision path on its own, where it says it
    // holds for all lanes: four lanes, and the wide forms.
    const auto clearlyWrong = [&](std::uint32_t from, std::uint32_t width) {
      std::uint32_t wrong = 0;
      for (std::uint32_t i = from; i < from + width; ++i) wrong += bitsOf(ys[i]) != expected[i];
      return wrong;
    };
    for (std::uint32_t i = 0; i < kRun; i += 4) {
      vardo::Float4 y;
      const bool clear = vardo::quickExpClearly(vardo::load4(xs + i), y);
      vardo::store4(ys + i, y);
      if (clear) bad += clearlyWrong(i, 4);
    }
    for (const vardo::test::WideQuick& form : kWideForms) {
      const auto width = static_cast<std::uint32_t>(form.lanes);
      for (std::uint32_t i = 0; i < kRun; i += width) {
        if (form.expClearly(xs + i, ys + i)) bad += clearlyWrong(i, width);
      }
    }
  }
  return bad;
}

bool agrees(const Pair& f, float x) { return disagreements(f, bitsOf(x), bitsOf(x)) == 0; }

// Arguments outside the approximated ranges: both ends, just beyond them,
// zeros, infinities, NaN, and a spread of patterns over the whole float line.
std::vector<float> outsideArguments(float lowest, float highest) {
  std::vector<float> xs = {0.0f, -0.0f, std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(),
                           std::nextafter(lowest, -1e30f), std::nextafter(highest, 1e30f),
                           std::numeric_limits<float>::denorm_min(),
                           std::numeric_limits<float>::max()};
  std::uint32_t seed = 12345u;
  for (int i = 0; i < 100000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    xs.push_back(std::bit_cast<float>(seed));
  }
  return xs;
}

}  // namespace

// Release factors exp(-(1/fs) / (max(2 (s - 0.5), 0) + base)): at every
// audio rate their arguments lie in the covered range.
TEST(QuickTranscendentals, ExponentialGivesTheLibraryFloatForEveryCoveredArgument) {
  // Negative floats: the larger the magnitude, the larger the pattern.
  const Sweep s = sweep(bitsOf(vardo::kQuickExpHighest), bitsOf(vardo::kQuickExpLowest),
                        [](std::uint32_t a, std::uint32_t b) { return disagreements(kExp, a, b); });
  EXPECT_EQ(s.mismatches, 0u) << "first disagreement at " << s.first;

  for (const float x : outsideArguments(vardo::kQuickExpLowest, vardo::kQuickExpHighest)) {
    EXPECT_TRUE(agrees(kExp, x)) << x;
  }
  // At 44.1 ... 192 kHz the release factors' arguments lie well inside.
  EXPECT_LT(vardo::kQuickExpLowest, -(1.0f / 44100.0f) / 0.03f);
  EXPECT_GT(vardo::kQuickExpHighest, -(1.0f / 192000.0f) / 6.0f);
}

// Noise-reduction corners (pi f / fs up to just under pi / 2) and the stereo
// width's tangent curve, whose argument is any positive float.
TEST(QuickTranscendentals, TangentGivesTheLibraryFloatForEveryCoveredArgument) {
  const Sweep s = sweep(bitsOf(vardo::kQuickTanLowest), bitsOf(vardo::kQuickTanHighest),
                        [](std::uint32_t a, std::uint32_t b) { return disagreements(kTan, a, b); });
  EXPECT_EQ(s.mismatches, 0u) << "first disagreement at " << s.first;

  for (const float x : outsideArguments(vardo::kQuickTanLowest, vardo::kQuickTanHighest)) {
    EXPECT_TRUE(agrees(kTan, x)) << x;
  }
  // A corner kept below the Nyquist frequency, 0.499 fs, has the angle 0.499 pi.
  EXPECT_GT(vardo::kQuickTanHighest, 0.499f * 3.1415927f * 1.0001f);
}
