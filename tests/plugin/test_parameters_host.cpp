// The thirteen parameters as a host sees them through the built library, and
// parameter values carried across a sample-rate change in every voice.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "instrument_dsp.h"
#include "measurement_host.h"
#include "vardo.h"
#include "test_support.h"
#include "vst_ui.h"

using vardo::measure::MeasurementHost;

namespace {

struct HostParameters : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(host.open(), nullptr) << host.error();
    host.startup(44100.0f, 256);
  }
  MeasurementHost host;
};

}  // namespace

TEST_F(HostParameters, NamesLabelsAndDefaultDisplays) {
  static const char* const kDisplays[] = {"9600", "OFF", "-60", "-3",  "55",  "0",  "170",
                                          "1.100000", "-6", "16", "300", "250", "OFF"};
  ASSERT_EQ(host.effect()->numParams, 13);
  for (int i = 0; i < 13; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(host.parameterName(i), vardo::test::kControlNames[i]);
    EXPECT_EQ(host.parameterDisplay(i), kDisplays[i]);
    EXPECT_EQ(host.parameterLabel(i), i == 10 || i == 11 ? "x" : "");
  }
  for (int i : {-1, 13, 1000}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(host.parameterName(i), "IndexOut");
    EXPECT_EQ(host.parameterDisplay(i), "IndexOut");
    EXPECT_EQ(host.parameterLabel(i), "");
    EXPECT_EQ(host.getParameter(i), 0.0f);
  }
  // The label is written as nine bytes: up to eight characters, zero-filled.
  char label[16];
  std::memset(label, '#', sizeof label);
  host.dispatch(effGetParamLabel, 10, 0, label);
  EXPECT_EQ(std::string(label, 9), std::string("x\0\0\0\0\0\0\0\0", 9));
  EXPECT_EQ(label[9], '#');
  std::memset(label, '#', sizeof label);
  host.dispatch(effGetParamLabel, 13, 0, label);
  EXPECT_EQ(std::string(label, 9), std::string(9, '\0'));
  EXPECT_EQ(label[9], '#');
}

TEST_F(HostParameters, HostValuesMapOntoEachRangeAndAreClampedAtItsEnds) {
  host.setParameter(0, 0.5f);
  EXPECT_EQ(host.parameterDisplay(0), "8000");
  EXPECT_EQ(host.getParameter(0), 0.5f);
  host.setParameter(0, 1.5f);
  EXPECT_EQ(host.parameterDisplay(0), "15000");
  EXPECT_EQ(host.getParameter(0), 1.0f);
  host.setParameter(0, -1.0f);
  EXPECT_EQ(host.parameterDisplay(0), "1000");
  EXPECT_EQ(host.getParameter(0), 0.0f);

  host.setParameter(4, 0.99f);
  EXPECT_EQ(host.parameterDisplay(4), "69");
  EXPECT_NEAR(host.getParameter(4), 0.99f, 1e-6f);

  host.setParameter(1, 0.5f);
  EXPECT_EQ(host.parameterDisplay(1), "OFF");
  EXPECT_EQ(host.getParameter(1), 0.0f);
  host.setParameter(1, 0.51f);
  EXPECT_EQ(host.parameterDisplay(1), "ON");
  EXPECT_EQ(host.getParameter(1), 1.0f);

  // An index outside the table changes nothing.
  std::string before[13];
  for (int i = 0; i < 13; ++i) before[i] = host.parameterDisplay(i);
  host.setParameter(13, 0.0f);
  host.setParameter(-1, 1.0f);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(host.parameterDisplay(i), before[i]) << i;
}

TEST_F(HostParameters, PropertiesCarryTheNameAndLeaveEverythingElseAlone) {
  VstParameterProperties props;
  std::memset(&props, 0x5A, sizeof props);
  props.flags = kVstParameterCanRamp;
  EXPECT_EQ(host.dispatch(effGetParameterProperties, 3, 0, &props), 1);
  EXPECT_STREQ(props.label, "Auto-EQ Density Limit Threshold");
  EXPECT_EQ(props.flags, kVstParameterCanRamp);  // no control is a gate
  EXPECT_EQ(props.shortLabel[0], 0x5A);
  EXPECT_EQ(host.dispatch(effGetParameterProperties, 13, 0, &props), 0);
  EXPECT_EQ(host.dispatch(effGetParameterProperties, -1, 0, &props), 0);
}

TEST_F(HostParameters, ValuesSurviveASampleRateChange) {
  const float values[13] = {0.5f, 1.0f, 0.1f, 0.9f, 0.99f, 0.3f, 0.77f,
                            0.25f, 0.6f, 0.05f, 0.0f, 1.0f, 1.0f};
  for (int i = 0; i < 13; ++i) host.setParameter(i, values[i]);
  float set[13];
  std::string shown[13];
  for (int i = 0; i < 13; ++i) {
    set[i] = host.getParameter(i);
    shown[i] = host.parameterDisplay(i);
  }
  host.dispatch(effMainsChanged, 0, 0);
  host.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  host.dispatch(effMainsChanged, 0, 1);
  for (int i = 0; i < 13; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(host.getParameter(i), set[i]);
    EXPECT_EQ(host.parameterDisplay(i), shown[i]);
  }
}

TEST(VoiceParameters, AreMirroredIntoEveryVoiceAndSurviveASampleRateChange) {
  auto* instrument = new InstrumentDsp(1);
  auto* table = new vstUI;
  instrument->declareControls(table);
  Vardo vardo(
      [](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
        return opcode == audioMasterVersion ? 2400 : 0;
      },
      instrument, table);
  ASSERT_EQ(instrument->clones.size(), 10u);
  const int brightness = 5;
  vardo.setParameter(brightness, 0.8f);
  vardo.setParameter(0, 0.123f);
  const float brightnessSet = instrument->brightness;
  const float freqSet = instrument->freq;
  EXPECT_NEAR(brightnessSet, 0.8f, 1e-6f);
  for (InstrumentDsp* voice : instrument->clones) {
    EXPECT_EQ(voice->brightness, brightnessSet);
    EXPECT_EQ(voice->freq, freqSet);
  }

  vardo.setSampleRate(96000.0f);
  EXPECT_EQ(instrument->sampleRate(), 96000);
  EXPECT_EQ(instrument->brightness, brightnessSet);
  EXPECT_EQ(instrument->freq, freqSet);
  for (InstrumentDsp* voice : instrument->clones) {
    EXPECT_EQ(voice->sampleRate(), 96000);
    EXPECT_EQ(voice->brightness, brightnessSet);
    EXPECT_EQ(voice->freq, freqSet);
  }
}

// Values anywhere in a range come back bit for bit after a rate change, not
// merely within a rounding step of what the host set.
TEST_F(HostParameters, EveryValueSurvivesARateChangeExactly) {
  for (int step = 0; step < 200; ++step) {
    float set[13];
    std::string shown[13];
    for (int i = 0; i < 13; ++i) {
      host.setParameter(i, static_cast<float>((step * 13 + i) % 200) / 199.0f);
      set[i] = host.getParameter(i);
      shown[i] = host.parameterDisplay(i);
    }
    host.dispatch(effSetSampleRate, 0, 0, nullptr, step % 2 ? 48000.0f : 44100.0f);
    for (int i = 0; i < 13; ++i) {
      ASSERT_EQ(host.getParameter(i), set[i]) << i << " " << step;
      ASSERT_EQ(host.parameterDisplay(i), shown[i]) << i << " " << step;
    }
  }
}
