#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "chain/chain.h"
#include "controls.h"
#include "test_signals.h"

using namespace vardo;
using namespace vardo::test;

namespace {

ControlFields defaults() {
  ControlFields c{};
  resetControlFields(c);
  return c;
}

std::vector<float> run(const std::vector<float>& in, int rate, const ControlFields& controls) {
  const SampleRate sr = SampleRate::fromRate(rate);
  // Channel A carries the signal, channel B silence.
  auto ex = std::make_unique<BandwidthExpander<ShippingLane>>();
  ex->setRate(sr);
  ex->clear();
  ex->prepareBlock(controls, sr);
  const std::vector<float> silence(in.size(), 0.0f);
  std::vector<float> out(in.size()), other(in.size());
  ex->processRun(static_cast<int>(in.size()), 0, in.data(), silence.data(), out.data(),
                 other.data());
  return out;
}

// As on the audio thread: decaying tails flush to zero instead of crawling
// through subnormals. Restores the previous mode when the test ends.
class FlushToZero {
 public:
#if defined(__SSE2__)
  FlushToZero() : fSaved(_mm_getcsr()) { _mm_setcsr(fSaved | 0x8040u); }
  ~FlushToZero() { _mm_setcsr(fSaved); }

 private:
  unsigned fSaved;
#endif
};

// The synthesised part: output minus the channel sum two samples back.
std::vector<float> added(const std::vector<float>& in, const std::vector<float>& out) {
  std::vector<float> a(out.size(), 0.0f);
  for (size_t i = 2; i < out.size(); ++i) a[i] = out[i] - in[i - 2];
  return a;
}

}  // namespace

TEST(BandwidthExpander, SilenceGivesExactZeros) {
  const std::vector<float> in(4096, 0.0f);
  for (int rate : {8000, 44100, 192000}) {
    const auto out = run(in, rate, defaults());
    for (float v : out) ASSERT_EQ(v, 0.0f) << "rate " << rate;
  }
}

// A sine in the band between 5 kHz and the corner gains its octave above the
// corner; below the band, or with the level at its minimum, nothing is added
// and the channel passes two samples late. The analytic magnitude is floored
// at 1, so quiet material is squared (the octave grows as a^2) and loud
// material is normalised (it grows as a).
TEST(BandwidthExpander, SynthesisesTheOctaveAboveTheCorner) {
  const int fs = 48000;
  const int count = 9600;
  const int begin = 4800;
  const double level = std::pow(10.0, 16.0 / 20.0);  // default expansion level
  ControlFields c = defaults();                       // corner 9600 Hz

  double quietOctave = 0.0;
  for (float a : {0.25f, 4.0f}) {
    const auto in = sine(6000.0, fs, count, a);
    const auto gen = added(in, run(in, fs, c));
    const double octave = toneAmplitude(gen, 12000.0, fs, begin, count - begin);
    // Squared below the floor, normalised above; the lift adds at most 6 dB.
    const double expected = level * (a < 1.0f ? a * a : a);
    EXPECT_GT(octave, 0.5 * expected) << a;
    EXPECT_LT(octave, 2.0 * expected) << a;
    // The band itself is not added to: the squaring gives only 0 Hz and 2f.
    EXPECT_LT(toneAmplitude(gen, 6000.0, fs, begin, count - begin), 0.01 * octave) << a;
    if (a < 1.0f) quietOctave = octave;
  }

  const auto in = sine(6000.0, fs, count, 0.25f);
  c.bandwidthExpansionLevel = -96.0f;
  const auto quiet = added(in, run(in, fs, c));
  EXPECT_LT(peakAbs(quiet, 0, count), 1e-4f * quietOctave);

  // Raising the corner to 15000 Hz puts 12 kHz below the highpass at 14900 Hz.
  c = defaults();
  c.lowpassFilter = 15000.0f;
  const auto below = added(in, run(in, fs, c));
  EXPECT_LT(toneAmplitude(below, 12000.0, fs, begin, count - begin), 0.01 * quietOctave);

  // A 2 kHz sine lies below the 5 kHz band, whose second-order highpass
  // leaves it at about a sixth before the squaring.
  c = defaults();
  c.lowpassFilter = 3000.0f;
  const auto low = sine(2000.0, fs, count, 0.25f);
  const auto genLow = added(low, run(low, fs, c));
  EXPECT_LT(toneAmplitude(genLow, 4000.0, fs, begin, count - begin), 0.1 * quietOctave);
}

// The envelope divisor is floored, so loud bursts, sudden stops and full-scale
// noise keep the generated band finite and bounded, at every rate and corner.
TEST(BandwidthExpander, StaysFiniteAndBounded) {
  const FlushToZero audioThreadMode;
  std::vector<float> burst(40000, 0.0f);  // silence, tone, noise, clicks, silence
  const auto tone = sine(7000.0, 44100, 4000, 50.0f);
  const auto hiss = whiteNoise(4000, 1.0f, 777u);
  for (int i = 0; i < 4000; ++i) burst[2000 + i] = tone[i];
  for (int i = 0; i < 4000; ++i) burst[9000 + i] = hiss[i];
  for (int i = 14000; i < 14100; i += 7) burst[i] = (i & 8) ? 1.0f : -1.0f;  // clicks

  for (int rate : {8000, 22050, 44100, 96000, 192000}) {
    for (float corner : {1000.0f, 9600.0f, 15000.0f}) {
      ControlFields c = defaults();
      c.lowpassFilter = corner;
      c.bandwidthExpansionLevel = 24.0f;
      const auto out = run(burst, rate, c);
      for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out[i])) << rate << " " << corner << " " << i;
        // At an onset the squared signal runs ahead of its envelope, so the
        // generated band briefly exceeds its settled level; it stays finite.
        ASSERT_LT(std::fabs(out[i]), 1e5f) << rate << " " << corner << " " << i;
      }
      // ... and dies away once the input has stopped: every section is stable.
      // Where the corners are held just under the Nyquist frequency, the lift
      // keeps a nearly cancelled pole-zero pair close to z = -1 whose small
      // residue decays over about half a second.
      const bool heldCorner = corner + 400.0f >= 0.499f * static_cast<float>(rate);
      EXPECT_LT(peakAbs(out, 39600, 40000), (heldCorner ? 1e-2f : 1e-6f) * peakAbs(out))
          << rate << " " << corner;
    }
  }
}
