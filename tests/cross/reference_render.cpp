// Renders the reference programmes through the VST 2.4 library and the LV2
// plug-in of one build and prints one line per render: its case and a hash of
// the output bits. The lines of a cross build, run under an emulator, must
// equal those of the native build; within a build both formats must agree.
// First come the four-lane operations on the values where instruction sets
// differ (NaN and signed zeros in max, min and the selects; arguments whose
// conversion to an integer saturates on one and not the other), each held to
// the scalar operation here and hashed for the comparison with the native build.
//
//   vardo_reference_render <vardo.so (VST 2.4)> <vardo.lv2/vardo.so>
//   vardo_reference_render --lane-set     the lane set this build's chains run on
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "chain/lane_sets.h"
#include "fingerprint.h"
#include "format_renders.h"
#include "math/lane_transcendentals.h"
#include "simd/lanes.h"

namespace {

std::uint64_t hashOf(const std::vector<float>& a, const std::vector<float>& b) {
  return vardo::fingerprint::fnv1a(vardo::fingerprint::fnv1a(vardo::fingerprint::kStart, a), b);
}

// An LV2 instance made through the descriptor, as a host does once it has
// found the plug-in.
class Lv2Instance {
 public:
  Lv2Instance(const LV2_Descriptor* descriptor, double rate) : fDescriptor(descriptor) {
    const LV2_Feature* none[] = {nullptr};
    fHandle = descriptor->instantiate(descriptor, rate, "", none);
  }
  ~Lv2Instance() {
    if (!fHandle) return;
    fDescriptor->deactivate(fHandle);
    fDescriptor->cleanup(fHandle);
  }
  LV2_Handle handle() const { return fHandle; }

 private:
  const LV2_Descriptor* fDescriptor;
  LV2_Handle fHandle = nullptr;
};

std::uint32_t bitsOf(float x) { return std::bit_cast<std::uint32_t>(x); }

// The four-lane max, min, selects, quick exponential and tangent on every
// pair of awkward values, each lane against the scalar operation; prints a
// hash of all results. Returns the number of lanes that differ.
int checkFourLanes() {
  using vardo::Float4;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // NaN of both signs, zeros of both signs, ties, a subnormal, infinities,
  // values past every integer range, and arguments inside the quick ranges.
  const float values[] = {nan,   -nan,   0.0f,     -0.0f,   1.0f,  -1.0f, 1e-40f, inf,
                          -inf,  3e9f,   -3e9f,    1e30f,   -1e30f, 0.7f, 1.5f,   -0.003f,
                          -0.01f, 1e-5f, -1e-7f,   1.568f};
  std::vector<float> results;
  int mismatches = 0;
  const auto expect = [&](const char* what, Float4 got, float want, float a, float b) {
    alignas(16) float lanes[4];
    vardo::store(lanes, got);
    for (const float lane : lanes) {
      // A NaN an operation makes is the processor's default NaN, whose sign
      // differs between instruction sets: the hash sees one NaN; each lane
      // still holds the scalar operation's bits.
      results.push_back(std::isnan(lane) ? nan : lane);
      if (bitsOf(lane) != bitsOf(want)) {
        std::printf("  %s(%g, %g): lanes give %08x, scalar %08x\n", what, a, b,
                    static_cast<unsigned>(bitsOf(lane)), static_cast<unsigned>(bitsOf(want)));
        ++mismatches;
      }
    }
  };
  for (const float a : values) {
    const Float4 x = vardo::splat<Float4>(a);
    expect("quickExp", vardo::quickExp(x), vardo::quickExp(a), a, 0.0f);
    expect("quickTan", vardo::quickTan(x), vardo::quickTan(a), a, 0.0f);
    for (const float b : values) {
      const Float4 y = vardo::splat<Float4>(b);
      expect("max", vardo::laneMax(x, y), std::max(a, b), a, b);
      expect("min", vardo::laneMin(x, y), std::min(a, b), a, b);
      expect("greater", vardo::select(vardo::greater(x, y), x, y), a > b ? a : b, a, b);
      expect("less", vardo::select4(vardo::less4(x, y), x, y), a < b ? a : b, a, b);
      expect("equal", vardo::select(vardo::equal(x, y), x, y), a == b ? a : b, a, b);
    }
  }
  std::printf("four-lane operations on awkward values: %016llx\n",
              static_cast<unsigned long long>(vardo::fingerprint::fnv1a(vardo::fingerprint::kStart, results)));
  return mismatches;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--lane-set") == 0) {
    std::printf("%s\n", vardo::laneSetName(vardo::chosenLaneSet()));
    return 0;
  }
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
  const std::vector<float> programme = vardo::reference::programme(24000, 5u);
  const std::vector<float> subnormal = vardo::reference::subnormalProgramme(24000, 5u);
  const struct {
    double rate;
    int block;
    const std::vector<float>& input;
    std::size_t settings;  // how many of the settings, besides the defaults
  } cases[] = {{44100.0, 512, programme, settings.size()},
               {48000.0, 77, programme, settings.size()},
               {96000.0, 1024, programme, settings.size()},
               {8000.0, 3, programme, settings.size()},
               {44100.0, 256, subnormal, 1}};

  int mismatches = checkFourLanes();
  for (const auto& c : cases) {
    const std::vector<float>& input = c.input;
    for (std::size_t s = settings.size() - c.settings; s <= settings.size(); ++s) {
      vardo::measure::MeasurementHost vst(argv[1]);
      if (!vst.open()) {
        std::fprintf(stderr, "vardo_reference_render: %s\n", vst.error().c_str());
        return 1;
      }
      vst.startup(static_cast<float>(c.rate), c.block);
      Lv2Instance instance(descriptor, c.rate);
      if (!instance.handle()) {
        std::fprintf(stderr, "vardo_reference_render: the LV2 plug-in made no instance\n");
        return 1;
      }
      vardo::reference::Lv2Runner lv2(descriptor, instance.handle());
      descriptor->activate(instance.handle());
      const auto r = vardo::reference::renderBothFormats(
          vst, lv2, controls, input, c.block, s < settings.size() ? &settings[s] : nullptr);
      const std::uint64_t vstHash = hashOf(r.vst0, r.vst1);
      const std::uint64_t lv2Hash = hashOf(r.lv0, r.lv1);
      const std::string name = s < settings.size() ? settings[s].name : "default";
      std::printf("%s%.0f Hz, blocks of %d, %s: %016llx\n", &input == &subnormal ? "subnormal, " : "",
                  c.rate, c.block, name.c_str(),
                  static_cast<unsigned long long>(vstHash));
      if (lv2Hash != vstHash) {
        std::printf("  LV2 differs from VST 2.4: %016llx\n", static_cast<unsigned long long>(lv2Hash));
        ++mismatches;
      }
    }
  }
  return mismatches == 0 ? 0 : 1;
}
