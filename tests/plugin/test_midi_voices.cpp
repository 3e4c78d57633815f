// The ten-voice path, driven with a test instrument through a Vardo object:
// note timing, stealing, freeing, pitch bend, all-notes-off and long blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "instrument_dsp.h"
#include "midi_events.h"
#include "vardo.h"
#include "vst_ui.h"

namespace {

constexpr float kMix = 0.31622776f;  // the voice mix is 10 dB down

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

float noteHz(int note) {
  return 440.0f * static_cast<float>(std::pow(2.0, (static_cast<float>(note) - 69.0f) *
                                                      0.083333336f));
}

class VoicePath : public ::testing::Test {
 protected:
  VoicePath() {
    auto* table = new vstUI;
    fInstrument->declareControls(table);
    fVardo = std::make_unique<Vardo>(hostCallback, fInstrument, table);
  }

  InstrumentDsp& voice(int i) { return *fInstrument->clones.at(static_cast<std::size_t>(i)); }

  VstInt32 send(std::initializer_list<Midi> messages) {
    EventList events(messages);
    return fVardo->processEvents(events.record());
  }

  // One block of frames into out0/out1.
  void render(int frames) {
    out0.assign(static_cast<std::size_t>(frames), -7.0f);
    out1.assign(static_cast<std::size_t>(frames), -7.0f);
    float* outputs[2] = {out0.data(), out1.data()};
    fVardo->processReplacing(nullptr, outputs, frames);
  }

  // The mixed level and bent-frequency sum (kHz) of every sounding voice at sample i.
  float level(int i) const { return out0[static_cast<std::size_t>(i)] / kMix; }
  float kiloHertz(int i) const { return out1[static_cast<std::size_t>(i)] / kMix; }

  InstrumentDsp* fInstrument = new InstrumentDsp(2);
  std::unique_ptr<Vardo> fVardo;
  std::vector<float> out0, out1;
};

}  // namespace

TEST_F(VoicePath, NotesStartAndStopAtTheirSampleOffsets) {
  render(64);
  for (float s : out0) ASSERT_EQ(s, 0.0f);

  EXPECT_EQ(send({{10, 0x90, 69, 127}}), 1);
  render(64);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(out0[i], 0.0f) << i;
  for (int i = 10; i < 64; ++i) {
    ASSERT_NEAR(level(i), 1.0f, 1e-6f) << i;
    ASSERT_NEAR(kiloHertz(i), 0.44f, 1e-6f) << i;
  }
  EXPECT_NEAR(voice(0).freq, 440.0f, 1e-3f);
  EXPECT_NEAR(voice(0).gain, 1.0f, 1e-6f);
  EXPECT_EQ(voice(0).gate, 1.0f);

  // Note off on another channel at 20: the release starts exactly there.
  send({{20, 0x83, 69, 99}});
  render(64);
  for (int i = 0; i < 20; ++i) ASSERT_NEAR(level(i), 1.0f, 1e-6f) << i;
  EXPECT_NEAR(level(20), 15.0f / 16.0f, 1e-6f);
  EXPECT_NEAR(level(34), 1.0f / 16.0f, 1e-6f);
  for (int i = 35; i < 64; ++i) ASSERT_EQ(out0[i], 0.0f) << i;
  EXPECT_EQ(voice(0).gate, 0.0f);

  // A velocity-0 note on ends a note just like a note off.
  send({{0, 0x90, 72, 64}, {5, 0x90, 72, 0}});
  render(32);
  EXPECT_NEAR(level(4), 64.0f * 0.007874016f, 1e-6f);
  EXPECT_NEAR(level(5), 64.0f * 0.007874016f * 15.0f / 16.0f, 1e-6f);
  EXPECT_EQ(voice(1).gate, 0.0f);

  // An offset beyond the block waits for its sample in a later block.
  send({{100, 0x90, 60, 127}});
  render(64);
  EXPECT_EQ(out0[63], 0.0f);
  render(64);
  EXPECT_EQ(out0[35], 0.0f);
  EXPECT_NEAR(level(36), 1.0f, 1e-6f);
}

TEST_F(VoicePath, TheEleventhNoteStealsTheOldestUnlessAReleasedVoiceHasFallenSilent) {
  for (int n = 0; n < 11; ++n) send({{n, 0x90, 60 + n, 127}});
  render(32);
  // Voice 0 lost note 60 to note 70 at sample 10; voices 1..9 keep theirs.
  EXPECT_NEAR(voice(0).freq, noteHz(70), 1e-3f);
  EXPECT_NEAR(voice(0).prevfreq, noteHz(60), 1e-3f);
  float expected = 0.0f;
  for (int n = 61; n <= 70; ++n) expected += noteHz(n) / 1000.0f;
  EXPECT_NEAR(kiloHertz(20), expected, 1e-4f);
  EXPECT_NEAR(level(9), 10.0f, 1e-5f);

  send({{0, 0x80, 63, 0}});  // voice 3 rings on through this block...
  render(64);
  EXPECT_EQ(voice(3).prevfreq, 0.0f);
  render(64);  // ...and is freed once silent over a whole segment
  EXPECT_NEAR(voice(3).prevfreq, noteHz(63), 1e-3f);
  EXPECT_NEAR(level(0), 9.0f, 1e-5f);
  send({{0, 0x90, 90, 127}, {1, 0x90, 91, 127}});
  render(8);
  EXPECT_NEAR(voice(3).freq, noteHz(90), 1e-2f);  // the free voice, not a steal
  EXPECT_NEAR(voice(1).freq, noteHz(91), 1e-2f);  // then the oldest note, 61
  EXPECT_NEAR(voice(1).prevfreq, noteHz(61), 1e-3f);
}

TEST_F(VoicePath, EventsAtTheSameOffsetDoNotCutAReleaseShort) {
  send({{0, 0x90, 60, 127}});
  render(16);
  // Note off and a new note at the same sample: the segment between them is
  // empty and says nothing about whether the released voice is silent.
  send({{4, 0x80, 60, 0}, {4, 0x90, 67, 127}});
  render(32);
  EXPECT_NEAR(level(3), 1.0f, 1e-6f);
  for (int i = 4; i < 4 + 15; ++i)
    ASSERT_NEAR(level(i), 1.0f + static_cast<float>(15 - (i - 4)) / 16.0f, 1e-5f) << i;
  EXPECT_NEAR(level(25), 1.0f, 1e-6f);
}

TEST_F(VoicePath, ANoteOffReleasesEveryVoiceHoldingThatNote) {
  send({{0, 0x90, 64, 127}, {1, 0x91, 64, 127}});
  render(8);
  EXPECT_NEAR(level(4), 2.0f, 1e-6f);
  send({{0, 0x80, 64, 0}});
  render(64);
  EXPECT_EQ(voice(0).gate, 0.0f);
  EXPECT_EQ(voice(1).gate, 0.0f);
  EXPECT_EQ(out0[40], 0.0f);
}

TEST_F(VoicePath, AStolenVoiceHoldsItsNewNoteEvenThroughSilence) {
  for (int n = 0; n < 10; ++n) send({{0, 0x90, 60 + n, 127}});
  render(8);
  send({{0, 0x80, 60, 0}});      // voice 0 starts its release...
  send({{2, 0x90, 72, 127}});    // ...and is stolen while it rings
  render(8);
  EXPECT_NEAR(voice(0).freq, noteHz(72), 1e-3f);
  // Gain 0 silences every held voice for a block; none of them is released.
  fVardo->setParameter(1, 0.0f);
  render(32);
  fVardo->setParameter(1, 1.0f);
  render(8);
  EXPECT_NEAR(level(0), 10.0f, 1e-5f);
  EXPECT_EQ(voice(0).gate, 1.0f);
}

TEST_F(VoicePath, PitchBendReachesEveryVoice) {
  struct Case {
    int lsb, msb;
    float amount;
  };
  for (const Case& c : {Case{0, 64, 0.0f}, Case{0, 0, -1.0f}, Case{127, 127, 8191.0f / 8192.0f},
                        Case{0xFF, 0xFF, 8191.0f / 8192.0f}}) {
    send({{0, 0xE5, c.lsb, c.msb}});
    for (int v = 0; v < 10; ++v) ASSERT_EQ(voice(v).pitchbend, c.amount) << c.lsb << "/" << v;
  }
  send({{0, 0x90, 69, 127}, {0, 0xE0, 0, 0}});
  render(4);
  EXPECT_NEAR(kiloHertz(0), 0.44f * std::pow(2.0f, -1.0f / 6.0f), 1e-5f);
}

TEST_F(VoicePath, AllNotesOffEndsEveryNoteAndNamesItself) {
  for (int n = 0; n < 4; ++n) send({{0, 0x90, 50 + n, 127}});
  render(8);
  testing::internal::CaptureStderr();
  send({{0, 0xB0, 7, 100}});
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "=== Vardo vsti: CONTROL CHANGE (status 0xB0)!\n");
  for (int v = 0; v < 4; ++v) EXPECT_EQ(voice(v).gate, 1.0f);

  for (int controller : {123, 126}) {
    testing::internal::CaptureStderr();
    send({{0, 0xB2, controller, 0}});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "=== Vardo vsti: CONTROL CHANGE (status 0xB0)!\n=== Vardo vsti: ALL NOTES OFF!\n");
    for (int v = 0; v < 10; ++v) EXPECT_EQ(voice(v).gate, 0.0f) << v;
    render(64);
    EXPECT_EQ(out0[63], 0.0f);
    render(8);  // all four freed: the next note takes the front of the free list
    send({{0, 0x90, 40, 127}});
    render(8);
  }
  EXPECT_NEAR(voice(5).freq, noteHz(40), 1e-3f);
  EXPECT_NEAR(voice(0).prevfreq, noteHz(50), 1e-3f);
}

TEST_F(VoicePath, BlocksLongerThanTheScratchBuffersRenderInPieces) {
  send({{0, 0x90, 69, 127}, {2500, 0x80, 69, 0}});
  render(3000);
  EXPECT_LE(voice(0).largestBlock, Vardo::kInitialScratchFrames);
  for (int i = 0; i < 2500; ++i) ASSERT_NEAR(level(i), 1.0f, 1e-6f) << i;
  for (int i = 2516; i < 3000; ++i) ASSERT_EQ(out0[i], 0.0f) << i;

  // Once the host announces longer blocks, they are rendered in one piece.
  fVardo->setBlockSize(4096);
  send({{0, 0x90, 69, 127}});
  render(4096);
  EXPECT_EQ(voice(1).largestBlock, 4096);
  EXPECT_NEAR(level(4095), 1.0f, 1e-6f);
  // An absurd announcement is met with bounded buffers, not a giant allocation.
  fVardo->setBlockSize(1 << 30);
  render(70000);
  EXPECT_EQ(voice(1).largestBlock, 1 << 16);
  EXPECT_NEAR(level(69999), 1.0f, 1e-6f);
}

TEST_F(VoicePath, PendingEventsBeyondTheQueueCapacityAreDropped) {
  ASSERT_EQ(Vardo::kEventCapacity, 1024u);
  for (int n = 0; n < 1024; ++n) send({{200, 0x90, n % 128, 100}});
  send({{200, 0x90, 5, 100}});  // the 1025th pending event does not fit
  render(256);
  // The voices hold the last ten queued notes, 118 ... 127.
  float expected = 0.0f;
  for (int n = 118; n <= 127; ++n) expected += 100.0f * 0.007874016f * noteHz(n) / 1000.0f;
  EXPECT_NEAR(kiloHertz(255), expected, expected * 1e-5f);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(out0[i], 0.0f) << i;
}
