// The whole chain against host samples far beyond full scale: the outputs
// stay finite and bounded, and the effect sounds again once the input is sane.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "mydsp.h"

namespace {

struct Block {
  std::vector<float> in, left, right;
  explicit Block(int n) : in(static_cast<std::size_t>(n)), left(in.size()), right(in.size()) {}
  void run(mydsp& dsp) {
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    dsp.computeBlock(static_cast<int>(in.size()), inputs, outputs);
  }
};

TEST(ChainRecovery, OverflowingInputLeavesTheChainWorking) {
  auto dsp = std::make_unique<mydsp>();
  dsp->initialize(48000);
  Block block(512);
  float peakAfter = 0.0f;
  for (int b = 0; b < 120; ++b) {
    for (std::size_t i = 0; i < block.in.size(); ++i) {
      const float t = static_cast<float>(b * 512 + static_cast<int>(i)) / 48000.0f;
      const float tone = 0.3f * std::sin(2.0f * 3.14159265f * 440.0f * t);
      // Block 10 carries samples of 1e34: every filter state overflows.
      block.in[i] = b == 10 ? (i % 2 ? 1e34f : -1e34f) : tone;
    }
    block.run(*dsp);
    for (std::size_t i = 0; i < block.in.size(); ++i) {
      ASSERT_TRUE(std::isfinite(block.left[i]) && std::isfinite(block.right[i])) << "block " << b;
      ASSERT_LE(std::fabs(block.left[i]), 0.8912509f);
      ASSERT_LE(std::fabs(block.right[i]), 0.8912509f);
      if (b >= 100) peakAfter = std::max(peakAfter, std::fabs(block.left[i]));
    }
  }
  // One second after the overflow the tone comes through at a normal level.
  EXPECT_GT(peakAfter, 0.1f);
}

}  // namespace
