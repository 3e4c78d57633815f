// Renders a few seconds of the programme-like signal through the loaded
// plug-in or through the reference chain, for instruction-count profiles:
//
//   valgrind --tool=callgrind --toggle-collect='mydsp::computeBlock*'
//            vardo_profile_run plugin 48000 2
//
// The instruction count inside computeBlock divided by the samples rendered
// (printed at the end) is a figure that, unlike timings, repeats exactly.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "hosted_vardo.h"
#include "programme.h"
#include "reference_chain.h"

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "plugin") != 0 && std::strcmp(argv[1], "reference") != 0)) {
    std::fprintf(stderr, "usage: %s plugin|reference RATE SECONDS\n", argv[0]);
    return 2;
  }
  const bool plugin = std::strcmp(argv[1], "plugin") == 0;
  const int rate = std::atoi(argv[2]);
  const double seconds = std::atof(argv[3]);
  if (rate < 8000 || rate > 384000 || !(seconds > 0.0 && seconds <= 600.0)) {
    std::fprintf(stderr, "rate must lie in 8000 ... 384000 and seconds in (0, 600]\n");
    return 2;
  }
  constexpr int kBlock = 512;
  const int blocks = static_cast<int>(rate * seconds) / kBlock + 1;
  const auto programme = vardo::programme::speechLike(blocks * kBlock, rate);
  std::vector<float> out0(kBlock);
  std::vector<float> out1(kBlock);
  double check = 0.0;

  if (plugin) {
    vardo::e2e::HostedVardo host(rate);
    if (!host.ok()) {
      std::fprintf(stderr, "the plug-in did not load\n");
      return 1;
    }
    for (int b = 0; b < blocks; ++b) {
      host.process(programme.data() + b * kBlock, out0.data(), out1.data(), kBlock);
      check += out0[0] + out1[kBlock - 1];
    }
  } else {
    auto chain = std::make_unique<vardo::test::ReferenceChain>();
    chain->initialize(rate);
    for (int b = 0; b < blocks; ++b) {
      chain->process(kBlock, programme.data() + b * kBlock, out0.data(), out1.data());
      check += out0[0] + out1[kBlock - 1];
    }
  }
  std::printf("%s: %d samples at %d Hz rendered (check %g)\n", argv[1], blocks * kBlock, rate,
              check);
  return 0;
}
