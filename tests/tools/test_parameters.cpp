// Values in a parameter's own units become the host value that the plug-in
// maps back onto exactly that value.
#include <gtest/gtest.h>

#include <cmath>

#include "parameters.h"
#include "plugin_host.h"
#include "test_support.h"

using namespace vardo::tools;

namespace {

constexpr int kVardoId = 0x56415244;

// The plug-in's slider mapping, in single precision: v * (max - min) + min.
float pluginStores(const ParameterRange& range, float normalised) {
  const float span = range.max - range.min;
  const float scaled = normalised * span;
  return std::clamp(scaled + range.min, range.min, range.max);
}

using vardo::test::kControlNames;

}  // namespace

TEST(KnownRanges, CoverTheThirteenParametersOfThePluginOnly) {
  for (const char* name : kControlNames) EXPECT_NE(knownRange(kVardoId, name), nullptr) << name;
  EXPECT_EQ(knownRange(kVardoId, "lowpass filter"), nullptr);  // names are matched by the host
  EXPECT_EQ(knownRange(0x54466978, "Lowpass Filter"), nullptr);
  const ParameterRange* lowpass = knownRange(kVardoId, "Lowpass Filter");
  EXPECT_EQ(describeRange(*lowpass), "1000 .. 15000 Hz");
  EXPECT_EQ(describeRange(*knownRange(kVardoId, "DNR LPF Disable")), "on/off");
  EXPECT_EQ(describeRange(*knownRange(kVardoId, "Output AGC Threshold")), "-12 .. 3 dB");
}

TEST(Normalise, EveryWholeStepLandsExactlyOnItsValue) {
  // A host value one float off would store -59.999996 for -60, which the
  // plug-in's truncating display shows as -59. Not every whole value is
  // reachable exactly (-44 of -90 .. 0 is not), but each must display as itself.
  for (const char* name : kControlNames) {
    const ParameterRange& range = *knownRange(kVardoId, name);
    if (range.isSwitch) continue;
    const float step = std::string(name) == "Lowpass Filter" ? 100.0f
                       : std::string(name) == "Stereo Expander Offset" ? 0.25f
                                                                      : 1.0f;
    for (float value = range.min; value <= range.max; value += step) {
      const float normalised = normaliseForRange(range, value);
      ASSERT_GE(normalised, 0.0f);
      ASSERT_LE(normalised, 1.0f);
      const float stored = pluginStores(range, normalised);
      ASSERT_NEAR(stored, value, 1e-6f * (1.0f + std::fabs(value))) << name << " = " << value;
      // What the plug-in's display shows: truncation toward zero.
      if (step >= 1.0f) {
        ASSERT_EQ(std::trunc(stored), value) << name << " = " << value;
      }
    }
  }
}

TEST(Normalise, EndsAndSwitches) {
  const ParameterRange& lowpass = *knownRange(kVardoId, "Lowpass Filter");
  EXPECT_EQ(normaliseForRange(lowpass, 1000.0), 0.0f);
  EXPECT_EQ(normaliseForRange(lowpass, 15000.0), 1.0f);
  EXPECT_EQ(normaliseForRange(lowpass, 8000.0), 0.5f);
  const ParameterRange& offset = *knownRange(kVardoId, "Stereo Expander Offset");
  EXPECT_NEAR(pluginStores(offset, normaliseForRange(offset, 1.37)), 1.37f, 1e-6f);
  const ParameterRange& bypass = *knownRange(kVardoId, "Disable VEZE EQ");
  EXPECT_EQ(normaliseForRange(bypass, 1.0), 1.0f);
  EXPECT_EQ(normaliseForRange(bypass, 0.0), 0.0f);
}

TEST(ClosestNames, SubstringsAndTyposComeFirst) {
  const std::vector<std::string> names(std::begin(kControlNames), std::end(kControlNames));
  EXPECT_EQ(closestNames(names, "lowpass").front(), "Lowpass Filter");
  EXPECT_EQ(closestNames(names, "DNR Sensitivty").front(), "DNR Sensitivity");
  EXPECT_EQ(closestNames(names, "Output AGC Treshold").front(), "Output AGC Threshold");
  EXPECT_EQ(closestNames(names, "anything").size(), 3u);
  EXPECT_TRUE(closestNames({}, "anything").empty());
}
