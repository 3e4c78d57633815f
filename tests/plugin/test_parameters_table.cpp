// The parameter table built from the DSP's control declarations, and the
// parameter objects' mapping, clamping and display, tested directly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "instrument_dsp.h"
#include "mydsp.h"
#include "voice.h"
#include "vst_ui.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string display(const vstUIObject& object, std::size_t capacity = 64) {
  char text[80];
  std::memset(text, '#', sizeof text);
  object.getDisplay(text, capacity);
  return text;
}

struct EffectTable : ::testing::Test {
  void SetUp() override {
    dsp.declareControls(&table);
    dsp.initialize(44100);
  }
  mydsp dsp;
  vstUI table;
};

}  // namespace

TEST_F(EffectTable, HoldsThirteenControlsInDeclarationOrderBoundToTheDspFields) {
  static const char* const kLabels[] = {"Lowpass Filter",
                                        "Disable VEZE EQ",
                                        "Auto-EQ Threshold",
                                        "Auto-EQ Density Limit Threshold",
                                        "Noisegate Gain dB",
                                        "Stereo Expander Gain Trim",
                                        "Stereo Expander Limit in Percent",
                                        "Stereo Expander Offset",
                                        "Output AGC Threshold",
                                        "Bandwidth Expansion Level",
                                        "DNR Sensitivity",
                                        "DNR2 Sensitivity",
                                        "DNR LPF Disable"};
  static const float kDefaults[] = {9600, 0, -60, -3, 55, 0, 170, 1.1f, -6, 16, 300, 250, 0};
  ASSERT_EQ(table.size(), 13);
  const float* firstField = &dsp.controls().lowpassFilter;
  for (int i = 0; i < 13; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(table.at(i)->label(), kLabels[i]);
    EXPECT_EQ(table.at(i)->zone(), firstField + i);
    EXPECT_EQ(table.at(i)->getRealValue(), kDefaults[i]);
    const bool isCheck = i == 1 || i == 12;
    EXPECT_EQ(dynamic_cast<vstCheckButton*>(table.at(i)) != nullptr, isCheck);
    EXPECT_EQ(dynamic_cast<vstSlider*>(table.at(i)) != nullptr, !isCheck);
  }
  // An effect declares none of the voice controls.
  EXPECT_EQ(table.fFreqIndex, -1);
  EXPECT_EQ(table.fGainIndex, -1);
  EXPECT_EQ(table.fGateIndex, -1);
  EXPECT_EQ(table.fPrevFreqIndex, -1);
  EXPECT_EQ(table.fPitchbendIndex, -1);
}

TEST_F(EffectTable, KeepsEachControlsMetadataWithItsZone) {
  static const char* const kControls[] = {nullptr, "00", "05", "06", "10", "25", "27",
                                          "32",    "90", "99", nullptr, nullptr, nullptr};
  for (int i = 0; i < 13; ++i) {
    SCOPED_TRACE(i);
    const std::string* controls = table.metadata(i, "controls");
    if (kControls[i] == nullptr) {
      EXPECT_EQ(controls, nullptr);
    } else {
      ASSERT_NE(controls, nullptr);
      EXPECT_EQ(*controls, kControls[i]);
    }
    const std::string* unit = table.metadata(i, "unit");
    if (i == 10 || i == 11) {
      ASSERT_NE(unit, nullptr);
      EXPECT_EQ(*unit, "x");
    } else {
      EXPECT_EQ(unit, nullptr);
    }
  }
  ASSERT_NE(table.metadata(10, "da"), nullptr);
  EXPECT_EQ(*table.metadata(10, "da"), "");
  ASSERT_NE(table.metadata(12, "sa"), nullptr);
  EXPECT_EQ(table.metadata(13, "unit"), nullptr);
  EXPECT_EQ(table.metadata(-1, "unit"), nullptr);
}

TEST_F(EffectTable, SlidersMapHostValuesLinearlyAndClampToTheirRange) {
  vstUIObject& lowpass = *table.at(0);
  lowpass.setNormalized(0.5);
  EXPECT_EQ(lowpass.getRealValue(), 8000.0f);
  EXPECT_EQ(display(lowpass), "8000");
  lowpass.setNormalized(1.5);
  EXPECT_EQ(lowpass.getRealValue(), 15000.0f);
  lowpass.setNormalized(-1.0);
  EXPECT_EQ(lowpass.getRealValue(), 1000.0f);
  lowpass.setNormalized(kNaN);
  EXPECT_EQ(lowpass.getRealValue(), 1000.0f);
  lowpass.setNormalized(1e300);  // beyond float: the top of the range
  EXPECT_EQ(lowpass.getRealValue(), 15000.0f);
  EXPECT_EQ(lowpass.getNormalized(), 1.0f);

  vstUIObject& noisegate = *table.at(4);
  noisegate.setNormalized(0.99f);
  EXPECT_EQ(noisegate.getRealValue(), static_cast<float>(0.99f) * 70.0f);
  EXPECT_EQ(display(noisegate), "69");
  EXPECT_NEAR(noisegate.getNormalized(), 0.99, 1e-6);

  // Real values are clamped the same way; nothing is quantised to the step.
  vstUIObject& offset = *table.at(7);
  offset.setRealValue(0.123);
  EXPECT_EQ(offset.getRealValue(), 0.123f);
  offset.setRealValue(-4.0);
  EXPECT_EQ(offset.getRealValue(), 0.0f);
  offset.setRealValue(kNaN);
  EXPECT_EQ(offset.getRealValue(), 0.0f);
  offset.setRealValue(9.0);
  EXPECT_EQ(offset.getRealValue(), 2.0f);
}

TEST_F(EffectTable, DisplaysTruncateWholeStepsAndShowSixDecimalsForHundredths) {
  EXPECT_EQ(display(*table.at(0)), "9600");
  EXPECT_EQ(display(*table.at(2)), "-60");
  EXPECT_EQ(display(*table.at(7)), "1.100000");
  EXPECT_EQ(static_cast<vstSlider*>(table.at(7))->precision(), 6);
  table.at(4)->setRealValue(54.9);
  EXPECT_EQ(display(*table.at(4)), "54");
  table.at(2)->setRealValue(-59.7);
  EXPECT_EQ(display(*table.at(2)), "-59");
  table.at(2)->setRealValue(-0.5);
  EXPECT_EQ(display(*table.at(2)), "0");
  // The text never runs past the buffer the caller names.
  EXPECT_EQ(display(*table.at(7), 4), "1.1");
  EXPECT_EQ(display(*table.at(0), 1), "");
}

TEST_F(EffectTable, CheckButtonsSwitchOnlyAboveOneHalf) {
  vstUIObject& bypass = *table.at(1);
  bypass.setNormalized(0.5);
  EXPECT_EQ(bypass.getRealValue(), 0.0f);
  EXPECT_EQ(display(bypass), "OFF");
  bypass.setNormalized(0.51);
  EXPECT_EQ(bypass.getRealValue(), 1.0f);
  EXPECT_EQ(bypass.getNormalized(), 1.0f);
  EXPECT_EQ(display(bypass), "ON");
  bypass.setNormalized(kNaN);
  EXPECT_EQ(bypass.getRealValue(), 0.0f);
  // A real value is kept as given within [0, 1]; the display still splits at 0.5.
  bypass.setRealValue(0.7);
  EXPECT_EQ(bypass.getRealValue(), 0.7f);
  EXPECT_EQ(display(bypass), "ON");
  bypass.setRealValue(3.0);
  EXPECT_EQ(bypass.getRealValue(), 1.0f);
  EXPECT_EQ(display(bypass, 3), "ON");
  bypass.setRealValue(-3.0);
  EXPECT_EQ(display(bypass, 3), "OF");
}

TEST(SliderPrecision, IsTheFewestDecimalsThatMakeTheStepWholeInFloat) {
  float zone = 0.0f;
  const auto precision = [&](float step) {
    return vstSlider("s", &zone, 0.0f, 0.0f, 1.0f, step).precision();
  };
  EXPECT_EQ(precision(100.0f), 0);
  EXPECT_EQ(precision(1.0f), 0);
  EXPECT_EQ(precision(0.5f), 1);
  EXPECT_EQ(precision(0.25f), 2);
  EXPECT_EQ(precision(0.125f), 3);
  EXPECT_EQ(precision(0.0625f), 4);
  EXPECT_EQ(precision(0.03125f), 5);
  EXPECT_EQ(precision(0.015625f), 6);
  EXPECT_EQ(precision(0.01f), 6);  // 0.01 * 10 is 0.099999994 in float
  EXPECT_EQ(precision(0.1f), 1);   // 0.1 * 10 rounds to exactly 1
  EXPECT_EQ(precision(8388608.5f), 0);  // 2^23 and above is whole
  EXPECT_EQ(precision(std::numeric_limits<float>::quiet_NaN()), 6);
  EXPECT_EQ(precision(0.0f), 0);

  vstSlider quarter("q", &zone, 0.0f, -1.0f, 1.0f, 0.25f);
  zone = -0.37f;
  char text[16];
  quarter.getDisplay(text, sizeof text);
  EXPECT_STREQ(text, "-0.37");
}

TEST(ParameterObject, PlainObjectClampsToUnitAndLabelsAreBoundedCopies) {
  float zone = 0.0f;
  vstUIObject plain("Auto-EQ Density Limit Threshold", &zone);
  plain.setNormalized(1.7);
  EXPECT_EQ(zone, 1.0f);
  plain.setNormalized(kNaN);
  EXPECT_EQ(zone, 0.0f);
  plain.setRealValue(0.25);
  EXPECT_EQ(plain.getNormalized(), 0.25f);
  char text[80];
  plain.getDisplay(text, sizeof text);
  EXPECT_STREQ(text, "0.250000");

  std::memset(text, '#', sizeof text);
  plain.getLabel(text, 64);
  EXPECT_STREQ(text, "Auto-EQ Density Limit Threshold");
  std::memset(text, '#', sizeof text);
  plain.getLabel(text, 8);
  EXPECT_STREQ(text, "Auto-EQ");
  EXPECT_EQ(text[8], '#');
  std::memset(text, '#', sizeof text);
  plain.getLabel(text, 0);
  EXPECT_EQ(text[0], '#');

  // Bytes count as signed.
  EXPECT_EQ(vstUIObject("AB", &zone).labelChecksum(), 65 + 66);
  EXPECT_EQ(vstUIObject("\xC3\xA9", &zone).labelChecksum(), -61 - 87);
  EXPECT_EQ(vstUIObject("", &zone).labelChecksum(), 0);
}

TEST(VoiceLabels, AreRecognisedByExactLabelAndLaterMetadataReplacesEarlier) {
  InstrumentDsp instrument;
  vstUI table;
  instrument.declareControls(&table);
  EXPECT_EQ(table.fFreqIndex, 0);
  EXPECT_EQ(table.fGainIndex, 1);
  EXPECT_EQ(table.fGateIndex, 2);
  EXPECT_EQ(table.fPrevFreqIndex, 3);
  EXPECT_EQ(table.fPitchbendIndex, 4);
  EXPECT_NE(dynamic_cast<vstButton*>(table.at(2)), nullptr);

  float zones[4] = {};
  vstUI other;
  other.declareCheckButton("gate", &zones[0]);  // check buttons are never a gate
  other.declareNumberEntry("Gain", &zones[1], 0, 0, 1, 1);
  other.declareVerticalSlider("freq ", &zones[2], 0, 0, 1, 1);
  other.declareSlider("pitchbend", &zones[3], 0, -1, 1, 0.5f);
  EXPECT_EQ(other.fGateIndex, -1);
  EXPECT_EQ(other.fGainIndex, -1);
  EXPECT_EQ(other.fFreqIndex, -1);
  EXPECT_EQ(other.fPitchbendIndex, 3);
  other.declareControlMeta(&zones[1], "unit", "dB");
  other.declareControlMeta(&zones[1], "unit", "Hz");
  ASSERT_NE(other.metadata(1, "unit"), nullptr);
  EXPECT_EQ(*other.metadata(1, "unit"), "Hz");
}

TEST(VoiceObject, OwnsAnInitialisedDspWhoseFieldsItsTableWrites) {
  mydsp prototype;
  Voice voice(prototype.cloneFresh(), 44100);
  auto* voiceDsp = static_cast<mydsp*>(voice.voiceDsp());
  EXPECT_EQ(voiceDsp->sampleRate(), 44100);
  ASSERT_EQ(voice.size(), 13);
  EXPECT_EQ(voice.at(0)->zone(), &voiceDsp->controls().lowpassFilter);
  EXPECT_EQ(voiceDsp->controls().dnr2Sensitivity, 250.0f);
  voice.at(11)->setNormalized(0.0);
  EXPECT_EQ(voiceDsp->controls().dnr2Sensitivity, 0.0f);
  EXPECT_EQ(prototype.controls().dnr2Sensitivity, 0.0f);  // never initialised, untouched
}
