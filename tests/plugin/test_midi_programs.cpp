// Programs, MIDI program names and MIDI intake of the built effect, through
// the binary interface.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "midi_events.h"
#include "measurement_host.h"

using vardo::measure::MeasurementHost;

namespace {

struct HostMidi : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(host.open(), nullptr) << host.error();
    host.startup(44100.0f, 256);
  }

  std::string programName() {
    char text[64] = {};
    host.dispatch(effGetProgramName, 0, 0, text);
    return text;
  }

  MeasurementHost host;
};

}  // namespace

TEST_F(HostMidi, TheOneProgramAndItsName) {
  EXPECT_EQ(host.dispatch(effGetProgram), 0);
  EXPECT_EQ(programName(), "Default");

  testing::internal::CaptureStderr();
  host.dispatch(effSetProgram, 0, -1);
  host.dispatch(effSetProgram, 0, 1);  // at numPrograms: never reaches the effect
  host.dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** Vardo vsti: setting program to -1 is OUT OF RANGE\n");
  EXPECT_EQ(host.dispatch(effGetProgram), 0);

  // Names are cut to 24 characters; the host's buffer gets 25 bytes.
  char longName[] = "A program name that is far too long";
  host.dispatch(effSetProgramName, 0, 0, longName);
  char text[32];
  std::memset(text, '#', sizeof text);
  host.dispatch(effGetProgramName, 0, 0, text);
  EXPECT_EQ(std::string(text), "A program name that is f");
  EXPECT_EQ(text[25], '#');

  char shortName[] = "Hiss";
  host.dispatch(effSetProgramName, 0, 0, shortName);
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, 0, 0, text), 1);
  EXPECT_EQ(std::string(text, 25), std::string("Hiss") + std::string(21, '\0'));
  EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, 1, 0, text), 0);
  EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, -1, 7, text), 1);
}

TEST_F(HostMidi, MidiProgramNamesAndTheirCategory) {
  MidiProgramName program;
  std::memset(&program, 0x33, sizeof program);
  program.thisProgramIndex = 1;
  const MidiProgramName untouched = program;
  EXPECT_EQ(host.dispatch(effGetMidiProgramName, 0, 0, &program), 0);
  EXPECT_EQ(std::memcmp(&program, &untouched, sizeof program), 0);

  program.thisProgramIndex = 0;
  EXPECT_EQ(host.dispatch(effGetMidiProgramName, 3, 0, &program), 1);
  EXPECT_EQ(std::string(program.name, 25), std::string("Default") + std::string(18, '\0'));
  EXPECT_EQ(program.name[25], 0x33);
  EXPECT_EQ(program.midiProgram, 0);
  EXPECT_EQ(program.midiBankMsb, -1);
  EXPECT_EQ(program.midiBankLsb, -1);
  EXPECT_EQ(program.reserved, 0);
  EXPECT_EQ(program.parentCategoryIndex, -1);
  EXPECT_EQ(program.flags, 0);

  std::memset(&program, 0x33, sizeof program);
  program.thisProgramIndex = 5;
  EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram, 16, 0, &program), -1);
  EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram, -1, 0, &program), -1);
  EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram, 15, 0, nullptr), -1);
  EXPECT_EQ(program.thisProgramIndex, 5);
  EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram, 15, 0, &program), 0);
  EXPECT_EQ(program.thisProgramIndex, 0);
  EXPECT_STREQ(program.name, "Default");
  EXPECT_EQ(program.parentCategoryIndex, -1);

  MidiProgramCategory category;
  std::memset(&category, 0x44, sizeof category);
  category.thisCategoryIndex = 9;
  EXPECT_EQ(host.dispatch(effGetMidiProgramCategory, 0, 0, &category), 1);
  EXPECT_EQ(std::string(category.name, 28), std::string("Vardo Patch") + std::string(17, '\0'));
  EXPECT_EQ(category.name[28], 0x44);
  EXPECT_EQ(category.thisCategoryIndex, 9);
  EXPECT_EQ(category.parentCategoryIndex, -1);
  EXPECT_EQ(category.flags, 0);
}

TEST_F(HostMidi, EventsAreTakenButLeaveTheEffectsAudioAlone) {
  // Two identical effects, one of them flooded with notes and bends.
  MeasurementHost quiet;
  ASSERT_NE(quiet.open(), nullptr) << quiet.error();
  quiet.startup(44100.0f, 256);

  std::vector<float> input(2048);
  for (std::size_t i = 0; i < input.size(); ++i)
    input[i] = 0.3f * static_cast<float>((i * 7919) % 200) / 200.0f - 0.15f;

  std::vector<Midi> notes;
  for (int n = 0; n < 3000; ++n) notes.push_back({n % 256, n % 2 ? 0x90 : 0x80, n % 128, 100});
  notes.push_back({5, 0xE0, 0, 0});
  notes.push_back({6, 0xF0, 1, 2});  // not a channel message: skipped
  EventList events(notes);
  EXPECT_EQ(host.dispatch(effProcessEvents, 0, 0, events.record()), 1);

  std::vector<float> a0, a1, b0, b1;
  host.processMono(input, 256, a0, a1);
  quiet.processMono(input, 256, b0, b1);
  EXPECT_EQ(a0, b0);
  EXPECT_EQ(a1, b1);

  EventList controls{{0, 0xB0, 7, 100}, {0, 0xBF, 123, 0}};
  testing::internal::CaptureStderr();
  EXPECT_EQ(host.dispatch(effProcessEvents, 0, 0, controls.record()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "=== Vardo vsti: CONTROL CHANGE (status 0xB0)!\n"
            "=== Vardo vsti: CONTROL CHANGE (status 0xB0)!\n"
            "=== Vardo vsti: ALL NOTES OFF!\n");
  EXPECT_EQ(host.dispatch(effProcessEvents, 0, 0, nullptr), 1);
}
