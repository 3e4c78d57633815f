// Renders the reference programmes through the VST 2.4 library and the LV2
// plug-in of one build and prints one line per render: its case and a hash of
// the output bits. The lines of a cross build, run under an emulator, must
// equal those of the native build; within a build both formats must agree.
//
//   vardo_reference_render <vardo.so (VST 2.4)> <vardo.lv2/vardo.so>
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ports.h"
#include "reference_signals.h"
#include "test_host.h"

namespace {

using vardo::lv2::Port;

std::uint64_t hashOf(const std::vector<float>& a, const std::vector<float>& b) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the samples' bytes
  for (const auto* channel : {&a, &b})
    for (float v : *channel) {
      std::uint32_t bits;
      std::memcpy(&bits, &v, sizeof bits);
      for (int k = 0; k < 4; ++k) {
        h ^= (bits >> (8 * k)) & 0xffu;
        h *= 1099511628211ull;
      }
    }
  return h;
}

// The LV2 plug-in driven through its descriptor, as a host does after lilv
// has found it.
class Lv2Render {
 public:
  Lv2Render(const LV2_Descriptor* descriptor, double rate) : fDescriptor(descriptor) {
    const LV2_Feature* none[] = {nullptr};
    fHandle = descriptor->instantiate(descriptor, rate, "", none);
    fControls.assign(kControlCount, 0.0f);
    if (!fHandle) return;
    for (std::uint32_t i = 0; i < kControlCount; ++i)
      descriptor->connect_port(fHandle, Port::kFirstControl + i, &fControls[i]);
    descriptor->connect_port(fHandle, Port::kLatency, &fLatency);
    descriptor->activate(fHandle);
  }
  ~Lv2Render() {
    if (!fHandle) return;
    fDescriptor->deactivate(fHandle);
    fDescriptor->cleanup(fHandle);
  }
  bool ok() const { return fHandle != nullptr; }
  void setControls(const std::vector<float>& values) {
    std::copy(values.begin(), values.end(), fControls.begin());
  }
  void render(const std::vector<float>& input, int block, std::vector<float>& out0,
              std::vector<float>& out1) {
    std::vector<float> in(input);
    out0.assign(input.size(), 0.0f);
    out1.assign(input.size(), 0.0f);
    for (std::size_t start = 0; start < input.size(); start += static_cast<std::size_t>(block)) {
      const std::size_t n = std::min(input.size() - start, static_cast<std::size_t>(block));
      fDescriptor->connect_port(fHandle, Port::kInput, in.data() + start);
      fDescriptor->connect_port(fHandle, Port::kOutput0, out0.data() + start);
      fDescriptor->connect_port(fHandle, Port::kOutput1, out1.data() + start);
      fDescriptor->run(fHandle, static_cast<std::uint32_t>(n));
    }
  }

 private:
  const LV2_Descriptor* fDescriptor;
  LV2_Handle fHandle = nullptr;
  std::vector<float> fControls;
  float fLatency = 0.0f;
};

void append(std::vector<float>& to, const std::vector<float>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vardo_reference_render <VST 2.4 library> <LV2 shared object>\n");
    return 2;
  }
  void* lv2Library = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
  void* lv2Entry = lv2Library ? dlsym(lv2Library, "lv2_descriptor") : nullptr;
  const LV2_Descriptor* descriptor =
      lv2Entry ? reinterpret_cast<LV2_Descriptor_Function>(lv2Entry)(0) : nullptr;
  if (!descriptor || std::strcmp(descriptor->URI, vardo::lv2::kPluginUri) != 0) {
    std::fprintf(stderr, "vardo_reference_render: %s is not the Vardo LV2 plug-in\n", argv[2]);
    return 1;
  }

  const vardo::reference::ControlTable controls;
  const std::vector<vardo::reference::Setting> settings = vardo::reference::settings();
  const std::vector<float> input = vardo::reference::programme(24000, 5u);
  const auto middle = input.begin() + static_cast<std::ptrdiff_t>(input.size() / 2);
  const std::vector<float> first(input.begin(), middle);
  const std::vector<float> second(middle, input.end());
  const struct {
    double rate;
    int block;
  } cases[] = {{44100.0, 512}, {48000.0, 77}, {96000.0, 1024}, {8000.0, 3}};

  int mismatches = 0;
  for (const auto& c : cases) {
    for (std::size_t s = 0; s <= settings.size(); ++s) {
      // The first half at the defaults, the second after the host's change.
      vardo::test::TestHost vst(argv[1]);
      if (!vst.open()) {
        std::fprintf(stderr, "vardo_reference_render: %s\n", vst.error().c_str());
        return 1;
      }
      vst.startup(static_cast<float>(c.rate), c.block);
      Lv2Render lv2(descriptor, c.rate);
      if (!lv2.ok()) {
        std::fprintf(stderr, "vardo_reference_render: the LV2 plug-in made no instance\n");
        return 1;
      }
      lv2.setControls(controls.defaults());
      std::vector<float> v0, v1, l0, l1, a, b;
      vst.processMono(first, c.block, v0, v1);
      lv2.render(first, c.block, l0, l1);
      if (s < settings.size()) {
        for (int i = 0; i < kControlCount; ++i)
          vst.setParameter(i, settings[s].normalised[static_cast<std::size_t>(i)]);
        lv2.setControls(controls.portValues(settings[s].normalised));
      }
      vst.processMono(second, c.block, a, b);
      append(v0, a);
      append(v1, b);
      lv2.render(second, c.block, a, b);
      append(l0, a);
      append(l1, b);
      const std::uint64_t vstHash = hashOf(v0, v1);
      const std::uint64_t lv2Hash = hashOf(l0, l1);
      const std::string name = s < settings.size() ? settings[s].name : "default";
      std::printf("%.0f Hz, blocks of %d, %s: %016llx\n", c.rate, c.block, name.c_str(),
                  static_cast<unsigned long long>(vstHash));
      if (lv2Hash != vstHash) {
        std::printf("  LV2 differs from VST 2.4: %016llx\n", static_cast<unsigned long long>(lv2Hash));
        ++mismatches;
      }
    }
  }
  return mismatches == 0 ? 0 : 1;
}
