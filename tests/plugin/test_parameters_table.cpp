// Parameter objects and the table builder, tested directly: the cases a host
// cannot reach through the effect's own thirteen controls.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "instrument_dsp.h"
#include "vst_ui.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string display(const vstUIObject& object, std::size_t capacity = 64) {
  char text[80];
  std::memset(text, '#', sizeof text);
  object.getDisplay(text, capacity);
  return text;
}

}  // namespace

TEST(SliderObject, PrecisionIsTheFewestDecimalsThatMakeTheStepWholeInFloat) {
  float zone = 0.0f;
  const auto precision = [&](float step) {
    return vstSlider("s", &zone, 0.0f, 0.0f, 1.0f, step).precision();
  };
  EXPECT_EQ(precision(100.0f), 0);
  EXPECT_EQ(precision(0.5f), 1);
  EXPECT_EQ(precision(0.1f), 1);  // 0.1 * 10 rounds to exactly 1
  EXPECT_EQ(precision(0.03125f), 5);
  EXPECT_EQ(precision(0.015625f), 6);
  EXPECT_EQ(precision(0.01f), 6);  // 0.01 * 10 is 0.099999994 and never becomes whole
  EXPECT_EQ(precision(8388608.5f), 0);  // 2^23 and above counts as whole
  EXPECT_EQ(precision(std::numeric_limits<float>::quiet_NaN()), 6);
}

TEST(SliderObject, ClampsEveryHostValueAndDisplaysWithinTheCallersBuffer) {
  float zone = 0.0f;
  vstSlider slider("s", &zone, 0.0f, -90.0f, 0.0f, 1.0f);
  slider.setNormalized(kNaN);
  EXPECT_EQ(zone, -90.0f);
  slider.setNormalized(1e300);  // beyond float: the top of the range
  EXPECT_EQ(zone, 0.0f);
  slider.setRealValue(-59.7);  // nothing is quantised to the step
  EXPECT_EQ(zone, -59.7f);
  EXPECT_EQ(display(slider), "-59");
  slider.setRealValue(-0.5);
  EXPECT_EQ(display(slider), "0");
  slider.setRealValue(kNaN);
  EXPECT_EQ(zone, -90.0f);
  slider.setRealValue(5.0);
  EXPECT_EQ(zone, 0.0f);

  vstSlider fine("f", &zone, 0.0f, -1.0f, 1.0f, 0.25f);
  zone = -0.37f;
  EXPECT_EQ(display(fine), "-0.37");
  EXPECT_EQ(display(fine, 4), "-0.");
  EXPECT_EQ(display(fine, 1), "");

  // A slider with no range has a single position instead of a division by zero.
  vstSlider flat("flat", &zone, 3.0f, 3.0f, 3.0f, 1.0f);
  flat.setNormalized(0.7);
  EXPECT_EQ(zone, 3.0f);
  EXPECT_EQ(flat.getNormalized(), 0.0f);
}

TEST(PlainObject, ClampsToUnitAndCopiesLabelsWithinTheBound) {
  float zone = 0.0f;
  vstUIObject plain("Auto-EQ Density Limit Threshold", &zone);
  plain.setNormalized(1.7);
  EXPECT_EQ(zone, 1.0f);
  plain.setRealValue(kNaN);
  EXPECT_EQ(zone, 0.0f);
  plain.setRealValue(0.25);
  EXPECT_EQ(display(plain), "0.250000");

  char text[80];
  std::memset(text, '#', sizeof text);
  plain.getLabel(text, 8);
  EXPECT_STREQ(text, "Auto-EQ");
  EXPECT_EQ(text[8], '#');
  std::memset(text, '#', sizeof text);
  plain.getLabel(text, 0);
  EXPECT_EQ(text[0], '#');
}

TEST(TableBuilder, RecognisesVoiceLabelsExactlyAndKeepsTheLatestMetadata) {
  InstrumentDsp instrument;
  vstUI table;
  instrument.declareControls(&table);
  EXPECT_EQ(table.fFreqIndex, 0);
  EXPECT_EQ(table.fGainIndex, 1);
  EXPECT_EQ(table.fGateIndex, 2);
  EXPECT_EQ(table.fPrevFreqIndex, 3);
  EXPECT_EQ(table.fPitchbendIndex, 4);

  float zones[4] = {};
  vstUI other;
  other.declareCheckButton("gate", &zones[0]);  // a check button is never a gate
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
  EXPECT_EQ(other.metadata(0, "unit"), nullptr);
  EXPECT_EQ(other.metadata(4, "unit"), nullptr);
}
