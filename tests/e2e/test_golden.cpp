// Output fingerprints of the whole plug-in. Each case renders a programme
// through the built library and hashes every bit of both outputs; the
// expected hashes were taken from the chain as it stands, so any change to
// the arithmetic, the order of operations, the block handling or the restart
// after an overflow shows up here, however small.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "fingerprint.h"
#include "hosted_vardo.h"
#include "programme.h"

namespace prog = vardo::programme;

namespace {

using vardo::fingerprint::fnv1a;

struct GoldenCase {
  const char* name;
  int rate;
  int blockSize;
  std::uint64_t expected;
  // Builds the input; may also set controls before the render.
  std::function<std::vector<float>(vardo::e2e::HostedVardo&, int rate)> prepare;
};

// About 1.5 s at the case's rate: past the 2660-sample delay, long enough for
// the band gains and the output gain control to move.
int seconds(int rate, double s) { return static_cast<int>(rate * s); }

std::vector<float> speech(vardo::e2e::HostedVardo&, int rate) {
  return prog::speechLike(seconds(rate, 1.5), rate);
}

void setAllNormalised(vardo::e2e::HostedVardo& host, float value) {
  for (int i = 0; i < 13; ++i) host.setValueNormalised(i, value);
}

std::vector<float> squareWave(int count, int period, float amplitude) {
  std::vector<float> s(count);
  for (int i = 0; i < count; ++i) s[i] = (i / (period / 2)) % 2 == 0 ? amplitude : -amplitude;
  return s;
}

const std::vector<GoldenCase>& goldenCases() {
  static const std::vector<GoldenCase> cases = {
      {"speech_44100_block512_defaults", 44100, 512, 0xa44109f7b2c015aeull, speech},
      {"speech_48000_block1_defaults", 48000, 1, 0xd402893d3ce14916ull, [](auto&, int rate) {
         return prog::speechLike(seconds(rate, 0.4), rate);
       }},
      {"speech_96000_block4096_defaults", 96000, 4096, 0x7059b36a3c6f22fbull, speech},
      {"noise_8000_block7_defaults", 8000, 7, 0x898de7f05e5be173ull, [](auto&, int rate) {
         return prog::whiteNoise(seconds(rate, 2.0), 0.5f, 3u);
       }},
      {"noise_192000_block3000_defaults", 192000, 3000, 0x64e2524f8c134520ull, [](auto&, int rate) {
         return prog::whiteNoise(seconds(rate, 1.0), 0.25f, 5u);
       }},
      {"speech_22050_block64_controls_at_minimum", 22050, 64, 0x536632c6ea05e019ull, [](auto& h, int rate) {
         setAllNormalised(h, 0.0f);
         return prog::speechLike(seconds(rate, 1.5), rate);
       }},
      {"speech_44100_block333_controls_at_maximum", 44100, 333, 0xb488768a0896df5dull, [](auto& h, int rate) {
         setAllNormalised(h, 1.0f);
         return prog::speechLike(seconds(rate, 1.5), rate);
       }},
      {"speech_48000_block512_mixed_controls", 48000, 512, 0x1c2a2a0234639e2bull, [](auto& h, int rate) {
         h.setValue(0, 4500.0f);   // lowpass corner
         h.setValue(1, 1.0f);      // noise-reduction lowpass off
         h.setValue(4, 40.0f);
         h.setValue(6, 120.0f);
         h.setValue(9, -20.0f);
         h.setValue(12, 1.0f);     // fixed equaliser bypassed
         return prog::speechLike(seconds(rate, 1.5), rate);
       }},
      {"speech_44100_block512_hostile_control_values", 44100, 512, 0xa6b0462018955810ull, [](auto& h, int rate) {
         const float nan = std::numeric_limits<float>::quiet_NaN();
         const float inf = std::numeric_limits<float>::infinity();
         h.setValueNormalised(0, nan);
         h.setValueNormalised(2, -inf);
         h.setValueNormalised(3, 1e30f);
         h.setValueNormalised(7, -3.0f);
         h.setValueNormalised(10, inf);
         return prog::speechLike(seconds(rate, 1.5), rate);
       }},
      {"speech_48000_block256_nan_input", 48000, 256, 0x105f468c40711264ull, [](auto&, int rate) {
         std::vector<float> s = prog::speechLike(seconds(rate, 1.5), rate);
         const float nan = std::numeric_limits<float>::quiet_NaN();
         for (std::size_t i = 1000; i < s.size(); i += 9973) s[i] = nan;
         s[20000] = std::numeric_limits<float>::infinity();
         return s;
       }},
      // The band envelopes overflow within the first block, which restarts
      // the chain at its end: from the second block on the output is that of
      // a fresh instance fed the speech alone.
      {"overflow_block_then_speech_44100_block512", 44100, 512, 0x4c01062d3412b5aeull, [](auto&, int rate) {
         std::vector<float> s(512, 1e34f);
         const std::vector<float> after = prog::speechLike(seconds(rate, 1.5), rate);
         s.insert(s.end(), after.begin(), after.end());
         return s;
       }},
      // The case the Windows DLL is held to under wine (tests/wine).
      {"shared_with_windows_noise_48000_block512_defaults", vardo::fingerprint::kSharedRate,
       vardo::fingerprint::kSharedBlock, vardo::fingerprint::kSharedExpected,
       [](auto&, int) { return vardo::fingerprint::sharedInput(); }},
      {"square_and_clicks_11025_block100", 11025, 100, 0xd8a8a5c478f4c7a8ull, [](auto&, int rate) {
         std::vector<float> s = squareWave(seconds(rate, 1.5), 50, 1.0f);
         for (std::size_t i = 0; i < s.size() / 3; ++i) s[i] = 0.0f;
         for (std::size_t i = s.size() / 3; i < s.size(); i += 1234) s[i] = -1.0f;
         return s;
       }},
  };
  return cases;
}

class Golden : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Golden, OutputBitsMatchTheirFingerprint) {
  const GoldenCase& c = goldenCases()[GetParam()];
  vardo::e2e::HostedVardo host(c.rate, c.blockSize);
  ASSERT_TRUE(host.ok());
  const std::vector<float> input = c.prepare(host, c.rate);
  const vardo::e2e::Stereo out = host.render(input, c.blockSize);
  ASSERT_EQ(out.left.size(), input.size());
  // A fingerprint of silence would guard nothing.
  double energy = 0.0;
  for (const float v : out.left) energy += static_cast<double>(v) * v;
  EXPECT_GT(energy, 1.0) << c.name;
  const std::uint64_t hash = fnv1a(fnv1a(vardo::fingerprint::kStart, out.left), out.right);
  EXPECT_EQ(hash, c.expected) << c.name << ": got 0x" << std::hex << hash;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::Range<std::size_t>(0, goldenCases().size()),
                         [](const auto& info) { return std::string(goldenCases()[info.param].name); });

}  // namespace
