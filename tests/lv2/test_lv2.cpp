// The LV2 bundle through lilv, found by LV2_PATH in the build tree: its
// description against the DSP's control table, and renders against the
// VST 2.4 build of the same DSP.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/core/lv2.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "allocation_counter.h"
#include "mydsp.h"
#include "ports.h"
#include "format_renders.h"
#include "vst_ui.h"

namespace {

using vardo::lv2::Port;

// One lilv world over LV2_PATH = the build tree's lib/lv2 only.
class Lv2World {
 public:
  Lv2World() {
    setenv("LV2_PATH", VARDO_LV2_DIR, 1);
    fWorld = lilv_world_new();
    lilv_world_load_all(fWorld);
    LilvNode* uri = lilv_new_uri(fWorld, vardo::lv2::kPluginUri);
    fPlugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(fWorld), uri);
    lilv_node_free(uri);
  }
  ~Lv2World() {
    fNodes.clear();
    lilv_world_free(fWorld);
  }
  LilvWorld* world() const { return fWorld; }
  const LilvPlugin* plugin() const { return fPlugin; }
  LilvNode* uri(const char* text) { return fNodes.emplace_back(lilv_new_uri(fWorld, text), lilv_node_free).get(); }

 private:
  LilvWorld* fWorld;
  const LilvPlugin* fPlugin = nullptr;
  std::vector<std::unique_ptr<LilvNode, void (*)(LilvNode*)>> fNodes;
};

using vardo::reference::ControlTable;

std::string unitOf(const LilvPlugin* plugin, const LilvPort* port, LilvNode* unitPredicate) {
  LilvNodes* units = lilv_port_get_value(plugin, port, unitPredicate);
  std::string text;
  if (units && lilv_nodes_size(units) == 1) text = lilv_node_as_uri(lilv_nodes_get_first(units));
  lilv_nodes_free(units);
  return text;
}

TEST(Lv2Description, PortsCarryTheControlTable) {
  Lv2World lv2;
  ASSERT_NE(lv2.plugin(), nullptr) << "no " << vardo::lv2::kPluginUri << " under " << VARDO_LV2_DIR;
  const LilvPlugin* plugin = lv2.plugin();
  ControlTable controls;
  ASSERT_EQ(controls.table.size(), kControlCount);
  ASSERT_EQ(lilv_plugin_get_num_ports(plugin), static_cast<uint32_t>(Port::kPortCount));

  LilvNode* input = lv2.uri(LV2_CORE__InputPort);
  LilvNode* output = lv2.uri(LV2_CORE__OutputPort);
  LilvNode* audio = lv2.uri(LV2_CORE__AudioPort);
  LilvNode* control = lv2.uri(LV2_CORE__ControlPort);
  LilvNode* toggled = lv2.uri(LV2_CORE__toggled);
  LilvNode* integer = lv2.uri(LV2_CORE__integer);
  LilvNode* unit = lv2.uri(LV2_UNITS__unit);

  for (uint32_t i : {0u, 1u, 2u}) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    EXPECT_TRUE(lilv_port_is_a(plugin, port, audio)) << i;
    EXPECT_TRUE(lilv_port_is_a(plugin, port, i == 0 ? input : output)) << i;
  }

  std::vector<float> minimum(Port::kPortCount), maximum(Port::kPortCount), fallback(Port::kPortCount);
  lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), fallback.data());
  for (int i = 0; i < kControlCount; ++i) {
    const uint32_t index = Port::kFirstControl + static_cast<uint32_t>(i);
    const vstUIObject& entry = *controls.table.at(i);
    const auto* slider = dynamic_cast<const vstSlider*>(&entry);
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
    SCOPED_TRACE(entry.label());
    EXPECT_TRUE(lilv_port_is_a(plugin, port, input));
    EXPECT_TRUE(lilv_port_is_a(plugin, port, control));
    LilvNode* name = lilv_port_get_name(plugin, port);
    EXPECT_STREQ(lilv_node_as_string(name), entry.label().c_str());
    lilv_node_free(name);
    EXPECT_EQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)),
              vardo::lv2::portSymbol(entry.label()));
    // Bit for bit the values the DSP starts with and the slider's range.
    EXPECT_EQ(fallback[index], entry.getRealValue());
    EXPECT_EQ(minimum[index], slider ? slider->minimum() : 0.0f);
    EXPECT_EQ(maximum[index], slider ? slider->maximum() : 1.0f);
    EXPECT_EQ(lilv_port_has_property(plugin, port, toggled), slider == nullptr);
    EXPECT_EQ(lilv_port_has_property(plugin, port, integer),
              slider != nullptr && slider->step() == std::floor(slider->step()));
  }
  // Units where the control has one; the sensitivity factors are coefficients.
  auto unitAt = [&](int control) {
    return unitOf(plugin, lilv_plugin_get_port_by_index(plugin, Port::kFirstControl + control), unit);
  };
  EXPECT_EQ(unitAt(0), LV2_UNITS__hz);
  EXPECT_EQ(unitAt(1), "");
  EXPECT_EQ(unitAt(4), LV2_UNITS__db);
  EXPECT_EQ(unitAt(6), LV2_UNITS__pc);
  EXPECT_EQ(unitAt(7), "");
  EXPECT_EQ(unitAt(10), LV2_UNITS__coef);
  EXPECT_EQ(unitAt(11), LV2_UNITS__coef);

  // The latency report and the real-time promise.
  const LilvPort* latency = lilv_plugin_get_port_by_index(plugin, Port::kLatency);
  EXPECT_TRUE(lilv_port_is_a(plugin, latency, output));
  EXPECT_TRUE(lilv_port_is_a(plugin, latency, control));
  EXPECT_TRUE(lilv_port_has_property(plugin, latency, lv2.uri(LV2_CORE__reportsLatency)));
  EXPECT_TRUE(lilv_plugin_has_latency(plugin));
  EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), static_cast<uint32_t>(Port::kLatency));
  EXPECT_TRUE(lilv_plugin_has_feature(plugin, lv2.uri(LV2_CORE__hardRTCapable)));
  LilvNodes* required = lilv_plugin_get_required_features(plugin);
  EXPECT_EQ(lilv_nodes_size(required), 0u);
  lilv_nodes_free(required);

  // The project's version, as a release: hosts may hide a plug-in whose
  // minor version is 0 or odd as a development build.
  auto versionPart = [&](const char* predicate) {
    LilvNode* value = lilv_world_get(lv2.world(), lilv_plugin_get_uri(plugin), lv2.uri(predicate), nullptr);
    const int number = value && lilv_node_is_int(value) ? lilv_node_as_int(value) : -1;
    lilv_node_free(value);
    return number;
  };
  const int minor = versionPart(LV2_CORE__minorVersion);
  const int micro = versionPart(LV2_CORE__microVersion);
  EXPECT_EQ(minor, VARDO_LV2_MINOR_VERSION);
  EXPECT_EQ(micro, VARDO_LV2_MICRO_VERSION);
  EXPECT_TRUE(minor > 0 && minor % 2 == 0) << minor;
  EXPECT_TRUE(micro >= 0 && micro % 2 == 0) << micro;
}

// A lilv instance of the plug-in, with the shared runner over its descriptor.
class Lv2Render {
 public:
  Lv2Render(Lv2World& lv2, double rate)
      : fInstance(lilv_plugin_instantiate(lv2.plugin(), rate, nullptr)) {
    if (fInstance)
      fRunner.emplace(lilv_instance_get_descriptor(fInstance), lilv_instance_get_handle(fInstance));
  }
  ~Lv2Render() {
    if (fActive) lilv_instance_deactivate(fInstance);
    if (fInstance) lilv_instance_free(fInstance);
  }
  bool ok() const { return fInstance != nullptr; }
  vardo::reference::Lv2Runner& runner() { return *fRunner; }
  void activate() {
    lilv_instance_activate(fInstance);
    fActive = true;
  }
  void deactivate() {
    lilv_instance_deactivate(fInstance);
    fActive = false;
  }

 private:
  LilvInstance* fInstance;
  std::optional<vardo::reference::Lv2Runner> fRunner;
  bool fActive = false;
};

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(Lv2Render, BitIdenticalToTheVstBuild) {
  Lv2World lv2;
  ASSERT_NE(lv2.plugin(), nullptr);
  ControlTable controls;
  struct Case {
    double rate;
    int block;
  };
  const Case cases[] = {{44100.0, 512}, {48000.0, 77}, {96000.0, 4096}, {22050.0, 1}};
  const auto settings = vardo::reference::settings();
  const std::vector<float> input = vardo::reference::programme(30000, 11u);
  for (const Case& c : cases) {
    for (std::size_t s = 0; s <= settings.size(); ++s) {
      SCOPED_TRACE(testing::Message() << c.rate << " Hz, blocks of " << c.block << ", setting "
                                      << (s < settings.size() ? settings[s].name : "default"));
      vardo::measure::MeasurementHost vst;
      ASSERT_NE(vst.open(), nullptr) << vst.error();
      vst.startup(static_cast<float>(c.rate), c.block);
      Lv2Render plugin(lv2, c.rate);
      ASSERT_TRUE(plugin.ok());
      plugin.activate();
      const auto r = vardo::reference::renderBothFormats(
          vst, plugin.runner(), controls, input, c.block, s < settings.size() ? &settings[s] : nullptr);
      EXPECT_TRUE(sameBits(r.vst0, r.lv0));
      EXPECT_TRUE(sameBits(r.vst1, r.lv1));
      EXPECT_EQ(plugin.runner().latency(), 2660.0f);
    }
  }
}

// Re-activation starts from silence, as a freshly made instance does.
TEST(Lv2Render, ActivationForgetsEarlierRuns) {
  Lv2World lv2;
  ASSERT_NE(lv2.plugin(), nullptr);
  ControlTable controls;
  const std::vector<float> input = vardo::reference::programme(6000, 3u);
  std::vector<float> fresh0, fresh1, again0, again1;
  Lv2Render plugin(lv2, 48000.0);
  ASSERT_TRUE(plugin.ok());
  plugin.runner().setControls(controls.defaults());
  plugin.activate();
  plugin.runner().render(input, 256, fresh0, fresh1);
  plugin.deactivate();
  plugin.activate();
  plugin.runner().render(input, 256, again0, again1);
  EXPECT_TRUE(sameBits(fresh0, again0));
  EXPECT_TRUE(sameBits(fresh1, again1));
}

// The audio thread's part: reading the controls, clamping them and the
// block itself allocate nothing, whatever the controls hold.
TEST(Lv2Render, RunAllocatesNothing) {
  Lv2World lv2;
  ASSERT_NE(lv2.plugin(), nullptr);
  ControlTable controls;
  {
    // The counter sees the plug-in's own allocations (lilv itself uses
    // malloc): making an instance allocates.
    vardo::test::CountAllocations making;
    LilvInstance* instance = lilv_plugin_instantiate(lv2.plugin(), 44100.0, nullptr);
    const long made = making.count();
    ASSERT_NE(instance, nullptr);
    lilv_instance_free(instance);
    EXPECT_GT(made, 0);
  }
  auto plugin = std::make_unique<Lv2Render>(lv2, 44100.0);
  ASSERT_TRUE(plugin->ok());
  vardo::reference::Lv2Runner& runner = plugin->runner();
  runner.setControls(controls.defaults());
  plugin->activate();
  std::vector<float> input = vardo::reference::programme(4096, 9u);
  std::vector<float> out0(input.size()), out1(input.size());
  runner.connect(Port::kInput, input.data());
  runner.connect(Port::kOutput0, out0.data());
  runner.connect(Port::kOutput1, out1.data());
  const auto settings = vardo::reference::settings();
  std::vector<std::vector<float>> values;
  for (const auto& setting : settings) values.push_back(controls.portValues(setting.normalised));
  vardo::test::CountAllocations counter;
  for (const auto& setting : values) {
    runner.setControls(setting);
    runner.run(1024);
    runner.run(0);
  }
  EXPECT_EQ(counter.count(), 0);
}

}  // namespace
