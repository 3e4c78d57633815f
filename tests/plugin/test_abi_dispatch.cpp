// Opcode answers, pins, capabilities, switching on and audio calls of the
// built plug-in, driven through the record only.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "measurement_host.h"
#include "test_signals.h"

using vardo::measure::MeasurementHost;

namespace {

class AbiDispatch : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(host.open(), nullptr) << host.error(); }
  MeasurementHost host;
};

// Noise in -0.5 ... 0.5.
std::vector<float> noise(int n, std::uint32_t seed = 12345) {
  return vardo::test::whiteNoise(n, 0.5f, seed);
}

}  // namespace

TEST_F(AbiDispatch, UnhandledAndOutOfRangeOpcodesAnswerZero) {
  // Opcodes that no operation answers, editor opcodes without an editor, and
  // numbers outside the interface.
  const VstInt32 unhandled[] = {9,  13, 14, 15, 16, 17, 18, 19, 20, 21, 28, 30, 31, 32, 36, 37,
                                43, 46, 53, 54, 55, 57, 59, 60, 61, 80, 81, 200, -1, -100};
  char scratch[512];
  for (VstInt32 opcode : unhandled) {
    std::memset(scratch, 0, sizeof scratch);
    EXPECT_EQ(host.dispatch(opcode, 0, 0, scratch), 0) << "opcode " << opcode;
  }
  // Base defaults the effect keeps.
  EXPECT_EQ(host.dispatch(effGetChunk, 0, 0, scratch), 0);
  EXPECT_EQ(host.dispatch(effSetBypass, 0, 1), 0);
  EXPECT_EQ(host.dispatch(effString2Parameter, 0, 0, scratch), 0);
  EXPECT_EQ(host.dispatch(effStartProcess), 0);
  EXPECT_EQ(host.dispatch(effStopProcess), 0);
  EXPECT_EQ(host.dispatch(effSetProcessPrecision, 0, 1), 0);
  EXPECT_EQ(host.dispatch(effShellGetNextPlugin, 0, 0, scratch), 0);
  EXPECT_EQ(host.dispatch(effGetProgram), 0);
}

TEST_F(AbiDispatch, EveryParameterIndexCanBeAutomated) {
  for (VstInt32 index : {0, 6, 12, 13, 100, -1}) EXPECT_EQ(host.dispatch(effCanBeAutomated, index), 1);
}

TEST_F(AbiDispatch, AnswersKeepTheirWidthAndSign) {
  // A 32-bit answer is sign-extended: -1 stays -1 in the pointer-sized result.
  EXPECT_EQ(host.dispatch(effSetTotalSampleToProcess, 0, 4096), 4096);
  EXPECT_EQ(host.dispatch(effSetTotalSampleToProcess, 0, -7), -7);
  // Only the low 32 bits of the value reach a 32-bit argument.
  EXPECT_EQ(host.dispatch(effSetTotalSampleToProcess, 0, (VstIntPtr{1} << 32) + 5), 5);
}

TEST_F(AbiDispatch, SpeakerArrangementQueryClearsBothPointers) {
  auto* bogus = reinterpret_cast<VstSpeakerArrangement*>(0x1234);
  VstSpeakerArrangement* input = bogus;
  VstSpeakerArrangement* output = bogus;
  EXPECT_EQ(host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                          &output),
            0);
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(output, nullptr);
}

TEST_F(AbiDispatch, InputPinsExistForIndexesZeroAndOne) {
  for (VstInt32 index : {0, 1}) {
    VstPinProperties pin;
    std::memset(&pin, 0x55, sizeof pin);
    pin.arrangementType = 1234;
    ASSERT_EQ(host.dispatch(effGetInputProperties, index, 0, &pin), 1);
    EXPECT_STREQ(pin.label, ("Brenk Vardo DSP input: " + std::to_string(index)).c_str());
    EXPECT_STREQ(pin.shortLabel, ("In " + std::to_string(index)).c_str());
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_EQ(pin.arrangementType, 1234);  // left as the host supplied it
  }
  VstPinProperties pin{};
  for (VstInt32 index : {2, 3, -1, 1000}) {
    EXPECT_EQ(host.dispatch(effGetInputProperties, index, 0, &pin), 0) << index;
  }
}

TEST_F(AbiDispatch, OutputPinsExistOnlyForRealOutputs) {
  for (VstInt32 index : {0, 1}) {
    VstPinProperties pin;
    std::memset(&pin, 0x55, sizeof pin);
    ASSERT_EQ(host.dispatch(effGetOutputProperties, index, 0, &pin), 1);
    EXPECT_STREQ(pin.label, ("Brenk Vardo DSP output: " + std::to_string(index)).c_str());
    EXPECT_STREQ(pin.shortLabel, ("Out " + std::to_string(index)).c_str());
    EXPECT_EQ(pin.flags, 3);
  }
  // A host asking for a pin that does not exist is not told it exists.
  for (VstInt32 index : {2, 100, -1}) {
    VstPinProperties pin;
    std::memset(&pin, 0x55, sizeof pin);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, index, 0, &pin), 0) << index;
    EXPECT_EQ(static_cast<unsigned char>(pin.label[0]), 0x55);  // untouched
  }
  // No record to fill: refused instead of written through null.
  EXPECT_EQ(host.dispatch(effGetOutputProperties, 0, 0, nullptr), 0);
  EXPECT_EQ(host.dispatch(effGetInputProperties, 0, 0, nullptr), 0);
}

TEST_F(AbiDispatch, CapabilitiesAreMatchedExactly) {
  auto canDo = [&](const char* text) {
    std::vector<char> copy(text, text + std::strlen(text) + 1);
    return host.dispatch(effCanDo, 0, 0, copy.data());
  };
  EXPECT_EQ(canDo("receiveVstEvents"), 1);
  EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
  EXPECT_EQ(canDo("midiProgramNames"), 1);
  for (const char* other : {"sendVstEvents", "bypass", "", "receivevstevents",
                            "receiveVstEventsX", "receiveVstEvent", "midiProgramNames "})
    EXPECT_EQ(canDo(other), -1) << '"' << other << '"';
  EXPECT_EQ(host.dispatch(effCanDo, 0, 0, nullptr), -1);
}

TEST_F(AbiDispatch, SwitchingOnAsksForMidiAndSwitchingOffAsksNothing) {
  host.clearCalls();
  EXPECT_EQ(host.dispatch(effMainsChanged, 0, 1), 0);
  auto calls = host.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].opcode, audioMasterWantMidi);
  EXPECT_EQ(calls[0].value, 1);
  EXPECT_TRUE(calls[0].hadEffect);

  EXPECT_EQ(host.dispatch(effMainsChanged, 0, 0), 0);
  EXPECT_EQ(host.calls().size(), 1u);
  // Every switch-on asks again.
  host.dispatch(effMainsChanged, 0, 1);
  EXPECT_EQ(host.countCalls(audioMasterWantMidi), 2);
}

TEST_F(AbiDispatch, ConfigurationCallsAnswerZeroAndCallNoHost) {
  host.clearCalls();
  EXPECT_EQ(host.dispatch(effOpen), 0);
  EXPECT_EQ(host.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
  EXPECT_EQ(host.dispatch(effSetBlockSize, 0, 4096), 0);
  EXPECT_EQ(host.dispatch(effSetBlockSize, 0, 0x7fffffff), 0);  // absurd, but survived
  EXPECT_EQ(host.dispatch(effSetBlockSize, 0, -1), 0);
  EXPECT_TRUE(host.calls().empty());
  std::vector<float> a, b;
  host.processMono(noise(1024), 512, a, b);
  for (std::size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(std::isfinite(a[i]) && std::isfinite(b[i]));
}

TEST_F(AbiDispatch, ZeroFrameBlocksLeaveBuffersAlone) {
  host.startup(44100.0f, 64);
  float in0[4] = {0.1f, 0.2f, 0.3f, 0.4f}, in1[4] = {};
  float out0[4] = {7, 7, 7, 7}, out1[4] = {9, 9, 9, 9};
  float* inputs[2] = {in0, in1};
  float* outputs[2] = {out0, out1};
  host.process(inputs, outputs, 0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(out0[i], 7.0f);
    EXPECT_EQ(out1[i], 9.0f);
  }
  // The accumulating and double-precision calls are not provided: no change.
  host.effect()->process(host.effect(), inputs, outputs, 4);
  double d0[4] = {5, 5, 5, 5}, d1[4] = {5, 5, 5, 5};
  double* dIn[2] = {d0, d1};
  double* dOut[2] = {d1, d0};
  host.effect()->processDoubleReplacing(host.effect(), dIn, dOut, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(out0[i], 7.0f);
    EXPECT_EQ(d0[i], 5.0);
  }
}

TEST_F(AbiDispatch, ZeroFrameBlocksDoNotDisturbTheSignal) {
  // Two instances fed the same signal, one with empty blocks in between, must
  // agree sample for sample.
  MeasurementHost other;
  ASSERT_NE(other.open(), nullptr) << other.error();
  host.startup(44100.0f, 256);
  other.startup(44100.0f, 256);
  const std::vector<float> signal = noise(4096);
  std::vector<float> a0, a1, b0, b1;
  host.processMono(signal, 256, a0, a1);
  other.processMono(std::vector<float>(signal.begin(), signal.begin() + 2048), 256, b0, b1);
  float dummy[1] = {3.0f};
  float* none[2] = {dummy, dummy};
  for (int i = 0; i < 5; ++i) other.process(none, none, 0);
  std::vector<float> c0, c1;
  other.processMono(std::vector<float>(signal.begin() + 2048, signal.end()), 256, c0, c1);
  b0.insert(b0.end(), c0.begin(), c0.end());
  b1.insert(b1.end(), c1.begin(), c1.end());
  ASSERT_EQ(a0.size(), b0.size());
  for (std::size_t i = 0; i < a0.size(); ++i) {
    ASSERT_EQ(a0[i], b0[i]) << i;
    ASSERT_EQ(a1[i], b1[i]) << i;
  }
}

TEST_F(AbiDispatch, InputZeroMayShareTheBufferOfOutputZero) {
  MeasurementHost separate;
  ASSERT_NE(separate.open(), nullptr) << separate.error();
  host.startup(48000.0f, 512);
  separate.startup(48000.0f, 512);
  const std::vector<float> signal = noise(8 * 512, 777);
  std::vector<float> ref0, ref1;
  separate.processMono(signal, 512, ref0, ref1);

  std::vector<float> shared(512), in1(512, 0.0f), out1(512);
  for (std::size_t block = 0; block < 8; ++block) {
    std::copy_n(signal.begin() + static_cast<std::ptrdiff_t>(block * 512), 512, shared.begin());
    float* inputs[2] = {shared.data(), in1.data()};
    float* outputs[2] = {shared.data(), out1.data()};
    host.process(inputs, outputs, 512);
    for (std::size_t i = 0; i < 512; ++i) {
      ASSERT_EQ(shared[i], ref0[block * 512 + i]) << block * 512 + i;
      ASSERT_EQ(out1[i], ref1[block * 512 + i]) << block * 512 + i;
    }
  }
}

TEST_F(AbiDispatch, OutputIsFiniteAndInputOneIsIgnored) {
  host.startup(44100.0f, 300);
  MeasurementHost other;
  ASSERT_NE(other.open(), nullptr) << other.error();
  other.startup(44100.0f, 300);
  const std::vector<float> signal = noise(3000, 99);
  const std::vector<float> junk = noise(300, 5);
  std::vector<float> a0(300), a1(300), b0(300), b1(300), zeros(300, 0.0f), in(300);
  for (std::size_t block = 0; block < 10; ++block) {
    std::copy_n(signal.begin() + static_cast<std::ptrdiff_t>(block * 300), 300, in.begin());
    std::vector<float> in1 = junk;
    float* quiet[2] = {in.data(), zeros.data()};
    float* loud[2] = {in.data(), in1.data()};
    float* outA[2] = {a0.data(), a1.data()};
    float* outB[2] = {b0.data(), b1.data()};
    host.process(quiet, outA, 300);
    other.process(loud, outB, 300);
    for (std::size_t i = 0; i < 300; ++i) {
      ASSERT_TRUE(std::isfinite(a0[i]) && std::isfinite(a1[i]));
      ASSERT_EQ(a0[i], b0[i]);
      ASSERT_EQ(a1[i], b1[i]);
    }
  }
}

TEST_F(AbiDispatch, MissingBuffersAreSurvived) {
  host.startup(44100.0f, 64);
  std::vector<float> in(64, 0.5f), out0(64, 7.0f), out1(64, 7.0f);
  float* inputs[2] = {in.data(), nullptr};
  float* noInput[2] = {nullptr, nullptr};
  float* outputs[2] = {out0.data(), out1.data()};
  float* halfOutputs[2] = {out0.data(), nullptr};
  host.process(inputs, nullptr, 64);
  host.process(inputs, halfOutputs, 64);
  EXPECT_EQ(out0[0], 7.0f);  // nothing written without a complete set of outputs
  host.process(nullptr, outputs, 64);
  host.process(noInput, outputs, 64);
  for (std::size_t i = 0; i < 64; ++i) ASSERT_EQ(out0[i], 0.0f) << i;  // silence, not garbage
  host.process(inputs, outputs, 64);  // a well-formed call afterwards works as usual
  for (std::size_t i = 0; i < 64; ++i) ASSERT_TRUE(std::isfinite(out0[i]) && std::isfinite(out1[i]));
}

#if defined(__x86_64__) || defined(__i386__)
TEST_F(AbiDispatch, ProcessingSetsFlushToZeroOnTheCallingThread) {
  const unsigned saved = _mm_getcsr();
  _mm_setcsr(saved & ~0x8040u);
  float in0[8] = {}, in1[8] = {}, out0[8], out1[8];
  float* inputs[2] = {in0, in1};
  float* outputs[2] = {out0, out1};
  host.process(inputs, outputs, 0);
  const unsigned after = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(after & 0x8040u, 0x8040u);
  // Only the two bits change.
  EXPECT_EQ(after & ~0x8040u, saved & ~0x8040u);
}
#endif

TEST_F(AbiDispatch, RateChangeKeepsTheHostsParameterValues) {
  const float set[] = {0.25f, 1.0f, 0.5f};
  for (VstInt32 i = 0; i < 3; ++i) host.setParameter(i, set[i]);
  float before[13];
  for (VstInt32 i = 0; i < 13; ++i) before[i] = host.getParameter(i);
  for (float rate : {48000.0f, 96000.0f, 22050.0f, 44100.7f}) {
    host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    for (VstInt32 i = 0; i < 13; ++i) EXPECT_EQ(host.getParameter(i), before[i]) << i << " @" << rate;
  }
}

TEST_F(AbiDispatch, UnusableRatesAreSurvived) {
  // Rates no host should send still leave a working effect behind.
  for (float rate : {0.0f, -48000.0f, 1e12f, std::nanf(""), INFINITY, 48000.0f}) {
    host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    std::vector<float> a, b;
    host.processMono(noise(1024), 256, a, b);
    for (std::size_t i = 0; i < a.size(); ++i)
      ASSERT_TRUE(std::isfinite(a[i]) && std::isfinite(b[i])) << "rate " << rate;
  }
}

TEST(AbiInstances, InstancesShareNoState) {
  MeasurementHost first, second;
  ASSERT_NE(first.open(), nullptr) << first.error();
  ASSERT_NE(second.open(), nullptr) << second.error();
  EXPECT_NE(first.effect(), second.effect());
  first.startup(44100.0f, 512);
  second.startup(44100.0f, 512);
  second.setParameter(0, 0.0f);
  EXPECT_NE(first.getParameter(0), second.getParameter(0));

  // Closing one leaves the other working.
  EXPECT_EQ(first.close(), 1);
  std::vector<float> a, b;
  second.processMono(noise(2048), 512, a, b);
  for (std::size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(std::isfinite(a[i]) && std::isfinite(b[i]));
  EXPECT_EQ(second.dispatch(effGetVstVersion), 2400);
}
