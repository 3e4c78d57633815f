// The effect base classes on their own: the record they fill, the defaults
// every effect inherits, how answers are typed, and what the host-call
// wrappers send.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <vector>

#include "audioeffectx.h"

namespace {

struct SentCall {
  AEffect* effect;
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  void* ptr;
  float opt;
};

std::vector<SentCall> gSent;
VstIntPtr gHostAnswer = 0;

VstIntPtr recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                        void* ptr, float opt) {
  gSent.push_back(SentCall{effect, opcode, index, value, ptr, opt});
  return gHostAnswer;
}

// The smallest effect: only the one operation without a default.
class BareEffect : public AudioEffectX {
 public:
  BareEffect(audioMasterCallback master, VstInt32 programs = 3, VstInt32 params = 7)
      : AudioEffectX(master, programs, params) {}
  void processReplacing(float**, float**, VstInt32 frames) override { lastFrames = frames; }
  void setParameter(VstInt32 index, float value) override {
    parameterCalls.push_back({index, value, gSent.size()});
  }
  AudioEffect* self() { return this; }
  using AudioEffect::blockSize;
  using AudioEffect::sampleRate;

  struct ParameterCall {
    VstInt32 index;
    float value;
    std::size_t hostCallsBefore;
  };
  std::vector<ParameterCall> parameterCalls;
  VstInt32 lastFrames = -1;
};

// Overrides that answer at the edges of their types.
class EdgeEffect : public BareEffect {
 public:
  using BareEffect::BareEffect;
  VstPlugCategory getPlugCategory() override { return static_cast<VstPlugCategory>(-1); }
  VstInt32 getVendorVersion() override { return -1; }
  bool getInputProperties(VstInt32, VstPinProperties*) override { return true; }
  VstIntPtr vendorSpecific(VstInt32, VstIntPtr, void*, float) override {
    return VstIntPtr{0x123456789};
  }
  VstInt32 canDo(char* text) override {
    return std::strcmp(text, "receiveVstMidiEvent") == 0 && midi ? 1 : -1;
  }
  float getParameter(VstInt32 index) override { return 0.125f * static_cast<float>(index); }
  void close() override { closed = true; }
  ~EdgeEffect() override {
    if (destroyed) *destroyed = closed ? 2 : 1;
  }
  bool midi = false;
  bool closed = false;
  int* destroyed = nullptr;
};

// Operations that fail by throwing, as an allocation can.
class ThrowingEffect : public BareEffect {
 public:
  using BareEffect::BareEffect;
  VstInt32 getVendorVersion() override { throw std::runtime_error("no version"); }
  void close() override { throw std::bad_alloc(); }
  ~ThrowingEffect() override {
    if (destroyed) *destroyed = true;
  }
  bool* destroyed = nullptr;
};

class EffectBase : public ::testing::Test {
 protected:
  void SetUp() override {
    gSent.clear();
    gHostAnswer = 0;
  }
};

}  // namespace

TEST_F(EffectBase, RecordStartsWithTheBaseIdentity) {
  BareEffect effect(nullptr, 3, 7);
  AEffect* e = effect.getAeffect();
  EXPECT_EQ(e->magic, kEffectMagic);
  EXPECT_EQ(e->numPrograms, 3);
  EXPECT_EQ(e->numParams, 7);
  EXPECT_EQ(e->numInputs, 1);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags, effFlagsCanReplacing);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->object, static_cast<void*>(effect.self()));
  EXPECT_EQ(e->uniqueID, 0x4E6F4566);  // 'NoEf'
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->user, nullptr);
  EXPECT_EQ(effect.getSampleRate(), 44100.0f);
  EXPECT_EQ(effect.getBlockSize(), 1024);
  EXPECT_EQ(effect.getEditor(), nullptr);
}

TEST_F(EffectBase, FlagSettersTouchOnlyTheirBit) {
  BareEffect effect(nullptr);
  const std::vector<std::pair<std::function<void(bool)>, VstInt32>> setters = {
      {[&](bool s) { effect.canProcessReplacing(s); }, 0x10},
      {[&](bool s) { effect.canDoubleReplacing(s); }, 0x1000},
      {[&](bool s) { effect.programsAreChunks(s); }, 0x20},
      {[&](bool s) { effect.hasVu(s); }, 0x4},
      {[&](bool s) { effect.hasClip(s); }, 0x2},
      {[&](bool s) { effect.canMono(s); }, 0x8},
      {[&](bool s) { effect.isSynth(s); }, 0x100},
      {[&](bool s) { effect.noTail(s); }, 0x200},
      {[&](bool s) { effect.wantAsyncOperation(s); }, 0x400},
      {[&](bool s) { effect.hasExternalBuffer(s); }, 0x800},
  };
  AEffect* e = effect.getAeffect();
  for (const auto& [set, bit] : setters) {
    for (VstInt32 others : {0, 0x1fff}) {
      e->flags = others & ~bit;
      set(true);
      EXPECT_EQ(e->flags, (others & ~bit) | bit) << std::hex << bit;
      set(false);
      EXPECT_EQ(e->flags, others & ~bit) << std::hex << bit;
    }
  }
}

TEST_F(EffectBase, InheritedDefaultsAsTheHostSeesThem) {
  BareEffect effect(nullptr);
  AEffect* e = effect.getAeffect();
  auto dispatch = [&](VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                      float opt = 0.0f) { return e->dispatcher(e, op, index, value, ptr, opt); };
  EXPECT_EQ(dispatch(effGetCurrentMidiProgram), -1);
  EXPECT_EQ(dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(dispatch(effGetPlugCategory), kPlugCategUnknown);
  effect.isSynth(true);
  EXPECT_EQ(dispatch(effGetPlugCategory), kPlugCategSynth);
  EXPECT_EQ(dispatch(effCanBeAutomated, 99), 1);
  EXPECT_EQ(dispatch(effCanDo, 0, 0, const_cast<char*>("x")), 0);
  EXPECT_EQ(dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(dispatch(effGetInputProperties), 0);
  EXPECT_EQ(dispatch(effGetNumMidiInputChannels), 0);

  char text[16];
  std::memset(text, 'x', sizeof text);
  dispatch(effGetProgramName, 0, 0, text);
  EXPECT_EQ(text[0], 0);
  std::memset(text, 'x', sizeof text);
  dispatch(effGetParamDisplay, 2, 0, text);
  EXPECT_EQ(text[0], 0);

  // Program numbers at or above the count are ignored; the compare is signed.
  dispatch(effSetProgram, 0, 2);
  EXPECT_EQ(dispatch(effGetProgram), 2);
  dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(dispatch(effGetProgram), 2);
  dispatch(effSetProgram, 0, -3);
  EXPECT_EQ(dispatch(effGetProgram), -3);

  // Configuration values land in the members; only the low 32 bits of a size.
  dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
  EXPECT_EQ(effect.getSampleRate(), 96000.0f);
  dispatch(effSetBlockSize, 0, (VstIntPtr{1} << 32) + 256);
  EXPECT_EQ(effect.getBlockSize(), 256);
  effect.setBlockSizeAndSampleRate(64, 8000.0f);
  EXPECT_EQ(effect.getBlockSize(), 64);
  EXPECT_EQ(effect.getSampleRate(), 8000.0f);

  VstSpeakerArrangement* in = reinterpret_cast<VstSpeakerArrangement*>(8);
  VstSpeakerArrangement* out = in;
  EXPECT_FALSE(effect.getSpeakerArrangement(&in, &out));
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(effect.setTotalSampleToProcess(12345), 12345);
  EXPECT_EQ(effect.getNumCategories(), 1);
}

TEST_F(EffectBase, AnswersAreTypedPerOpcode) {
  EdgeEffect effect(nullptr);
  AEffect* e = effect.getAeffect();
  // A category travels zero-extended, a 32-bit int sign-extended, a pointer-sized answer whole.
  EXPECT_EQ(e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0), VstIntPtr{0xFFFFFFFF});
  EXPECT_EQ(e->dispatcher(e, effGetVendorVersion, 0, 0, nullptr, 0), -1);
  EXPECT_EQ(e->dispatcher(e, effVendorSpecific, 0, 0, nullptr, 0), VstIntPtr{0x123456789});
  EXPECT_EQ(e->dispatcher(e, effGetInputProperties, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(e->dispatcher(e, effSetTotalSampleToProcess, 0, -2, nullptr, 0), -2);
}

TEST_F(EffectBase, RecordEntriesReachTheObject) {
  BareEffect bare(nullptr);
  AEffect* b = bare.getAeffect();
  EXPECT_EQ(b->getParameter(b, 3), 0.0f);  // base default
  b->setParameter(b, 4, 0.5f);
  ASSERT_EQ(bare.parameterCalls.size(), 1u);
  EXPECT_EQ(bare.parameterCalls[0].index, 4);
  EXPECT_EQ(bare.parameterCalls[0].value, 0.5f);
  b->processReplacing(b, nullptr, nullptr, 0);
  EXPECT_EQ(bare.lastFrames, 0);
  b->process(b, nullptr, nullptr, 16);               // base: nothing
  b->processDoubleReplacing(b, nullptr, nullptr, 16);  // base: nothing
  EXPECT_EQ(bare.lastFrames, 0);

  EdgeEffect edge(nullptr);
  AEffect* e = edge.getAeffect();
  EXPECT_EQ(e->getParameter(e, 4), 0.5f);
}

TEST_F(EffectBase, CloseThroughTheRecordClosesThenDestroys) {
  int destroyed = 0;
  auto* effect = new EdgeEffect(&recordingHost);
  effect->destroyed = &destroyed;
  AEffect* e = effect->getAeffect();
  EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
  EXPECT_EQ(destroyed, 2);  // close() ran before the destructor
}

TEST_F(EffectBase, ResumeAsksForMidiOnlyForInstrumentsAndMidiTakers) {
  EdgeEffect effect(&recordingHost);
  AEffect* e = effect.getAeffect();
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
  EXPECT_TRUE(gSent.empty());

  effect.midi = true;
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
  ASSERT_EQ(gSent.size(), 1u);
  EXPECT_EQ(gSent[0].opcode, audioMasterWantMidi);
  EXPECT_EQ(gSent[0].value, 1);
  EXPECT_EQ(gSent[0].effect, e);

  effect.midi = false;
  effect.isSynth(true);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
  EXPECT_EQ(gSent.size(), 2u);
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0);
  EXPECT_EQ(gSent.size(), 2u);
}

TEST_F(EffectBase, WithoutAHostTheWrappersAnswerTheirFallbacks) {
  BareEffect effect(nullptr);
  EXPECT_EQ(effect.getMasterVersion(), 1);
  EXPECT_TRUE(effect.isInputConnected(0));
  EXPECT_TRUE(effect.isOutputConnected(1));
  EXPECT_EQ(effect.getCurrentUniqueId(), 0);
  EXPECT_FALSE(effect.beginEdit(0));
  EXPECT_FALSE(effect.ioChanged());
  EXPECT_EQ(effect.updateSampleRate(), 44100.0);
  EXPECT_EQ(effect.updateBlockSize(), 1024);
  EXPECT_EQ(effect.getTimeInfo(0), nullptr);
  EXPECT_FALSE(effect.canHostDo(const_cast<char*>("sizeWindow")));
  EXPECT_EQ(effect.getDirectory(), nullptr);
  EXPECT_EQ(effect.getPreviousPlug(0), nullptr);
  effect.setParameterAutomated(2, 0.25f);
  ASSERT_EQ(effect.parameterCalls.size(), 1u);  // the parameter is still set
}

TEST_F(EffectBase, WrappersSendTheirOpcodeAndArguments) {
  BareEffect effect(&recordingHost);
  AEffect* record = effect.getAeffect();
  int marker = 0;
  void* p = &marker;
  auto* task = static_cast<VstOfflineTask*>(p);
  auto* files = static_cast<VstAudioFile*>(p);
  struct Case {
    const char* name;
    std::function<void()> call;
    VstInt32 opcode, index;
    VstIntPtr value;
    void* ptr;
    float opt;
  };
  const Case cases[] = {
      {"getCurrentUniqueId", [&] { effect.getCurrentUniqueId(); }, 2, 0, 0, nullptr, 0},
      {"masterIdle", [&] { effect.masterIdle(); }, 3, 0, 0, nullptr, 0},
      {"isInputConnected", [&] { effect.isInputConnected(5); }, 4, 5, 0, nullptr, 0},
      {"isOutputConnected", [&] { effect.isOutputConnected(6); }, 4, 6, 1, nullptr, 0},
      {"wantEvents", [&] { effect.wantEvents(3); }, 6, 0, 3, nullptr, 0},
      {"getTimeInfo", [&] { effect.getTimeInfo(0x202); }, 7, 0, 0x202, nullptr, 0},
      {"tempoAt", [&] { effect.tempoAt(99); }, 10, 0, 99, nullptr, 0},
      {"getNumAutomatableParameters", [&] { effect.getNumAutomatableParameters(); }, 11, 0, 0,
       nullptr, 0},
      {"getParameterQuantization", [&] { effect.getParameterQuantization(); }, 12, 0, 0, nullptr,
       0},
      {"ioChanged", [&] { effect.ioChanged(); }, 13, 0, 0, nullptr, 0},
      {"needIdle", [&] { effect.needIdle(); }, 14, 0, 0, nullptr, 0},
      {"sizeWindow", [&] { effect.sizeWindow(640, 480); }, 15, 640, 480, nullptr, 0},
      {"updateSampleRate", [&] { effect.updateSampleRate(); }, 16, 0, 0, nullptr, 0},
      {"updateBlockSize", [&] { effect.updateBlockSize(); }, 17, 0, 0, nullptr, 0},
      {"getInputLatency", [&] { effect.getInputLatency(); }, 18, 0, 0, nullptr, 0},
      {"getOutputLatency", [&] { effect.getOutputLatency(); }, 19, 0, 0, nullptr, 0},
      {"getPreviousPlug", [&] { effect.getPreviousPlug(1); }, 20, 1, 0, nullptr, 0},
      {"getNextPlug", [&] { effect.getNextPlug(2); }, 21, 2, 0, nullptr, 0},
      {"willProcessReplacing", [&] { effect.willProcessReplacing(); }, 22, 0, 0, nullptr, 0},
      {"getCurrentProcessLevel", [&] { effect.getCurrentProcessLevel(); }, 23, 0, 0, nullptr, 0},
      {"getAutomationState", [&] { effect.getAutomationState(); }, 24, 0, 0, nullptr, 0},
      {"offlineStart", [&] { effect.offlineStart(files, 3, 2); }, 25, 2, 3, p, 0},
      {"offlineRead", [&] { effect.offlineRead(task, 4, true); }, 26, 1, 4, p, 0},
      {"offlineWrite", [&] { effect.offlineWrite(task, 5); }, 27, 0, 5, p, 0},
      {"offlineGetCurrentPass", [&] { effect.offlineGetCurrentPass(); }, 28, 0, 0, nullptr, 0},
      {"offlineGetCurrentMetaPass", [&] { effect.offlineGetCurrentMetaPass(); }, 29, 0, 0,
       nullptr, 0},
      {"setOutputSamplerate", [&] { effect.setOutputSamplerate(22050.0f); }, 30, 0, 0, nullptr,
       22050.0f},
      {"getOutputSpeakerArrangement", [&] { effect.getOutputSpeakerArrangement(); }, 31, 0, 0,
       nullptr, 0},
      {"getHostVendorString", [&] { effect.getHostVendorString(static_cast<char*>(p)); }, 32, 0,
       0, p, 0},
      {"getHostProductString", [&] { effect.getHostProductString(static_cast<char*>(p)); }, 33,
       0, 0, p, 0},
      {"getHostVendorVersion", [&] { effect.getHostVendorVersion(); }, 34, 0, 0, nullptr, 0},
      {"hostVendorSpecific", [&] { effect.hostVendorSpecific(7, 8, p, 9.0f); }, 35, 7, 8, p,
       9.0f},
      {"canHostDo", [&] { effect.canHostDo(static_cast<char*>(p)); }, 37, 0, 0, p, 0},
      {"getHostLanguage", [&] { effect.getHostLanguage(); }, 38, 0, 0, nullptr, 0},
      {"openWindow", [&] { effect.openWindow(static_cast<VstWindow*>(p)); }, 39, 0, 0, p, 0},
      {"closeWindow", [&] { effect.closeWindow(static_cast<VstWindow*>(p)); }, 40, 0, 0, p, 0},
      {"getDirectory", [&] { effect.getDirectory(); }, 41, 0, 0, nullptr, 0},
      {"updateDisplay", [&] { effect.updateDisplay(); }, 42, 0, 0, nullptr, 0},
      {"beginEdit", [&] { effect.beginEdit(4); }, 43, 4, 0, nullptr, 0},
      {"endEdit", [&] { effect.endEdit(4); }, 44, 4, 0, nullptr, 0},
      {"openFileSelector", [&] { effect.openFileSelector(static_cast<VstFileSelect*>(p)); }, 45,
       0, 0, p, 0},
      {"closeFileSelector", [&] { effect.closeFileSelector(static_cast<VstFileSelect*>(p)); },
       46, 0, 0, p, 0},
      {"getChunkFile", [&] { effect.getChunkFile(p); }, 48, 0, 0, p, 0},
      {"getInputSpeakerArrangement", [&] { effect.getInputSpeakerArrangement(); }, 49, 0, 0,
       nullptr, 0},
  };
  for (const Case& c : cases) {
    gSent.clear();
    c.call();
    ASSERT_EQ(gSent.size(), 1u) << c.name;
    const SentCall& s = gSent[0];
    EXPECT_EQ(s.effect, record) << c.name;
    EXPECT_EQ(s.opcode, c.opcode) << c.name;
    EXPECT_EQ(s.index, c.index) << c.name;
    EXPECT_EQ(s.value, c.value) << c.name;
    EXPECT_EQ(s.ptr, c.ptr) << c.name;
    EXPECT_EQ(s.opt, c.opt) << c.name;
  }

  // A null file selector or path is refused without asking the host.
  gSent.clear();
  EXPECT_FALSE(effect.openFileSelector(nullptr));
  EXPECT_FALSE(effect.closeFileSelector(nullptr));
  EXPECT_FALSE(effect.getChunkFile(nullptr));
  EXPECT_TRUE(gSent.empty());
}

TEST_F(EffectBase, WrappersInterpretTheHostsAnswers) {
  BareEffect effect(&recordingHost);
  gHostAnswer = 0;
  EXPECT_EQ(effect.getMasterVersion(), 1);  // a zero version reads as 1
  EXPECT_TRUE(effect.isInputConnected(0));  // 0 means connected
  EXPECT_FALSE(effect.needIdle());
  EXPECT_EQ(effect.updateSampleRate(), 44100.0);  // nothing usable: keeps its rate
  gHostAnswer = 2400;
  EXPECT_EQ(effect.getMasterVersion(), 2400);
  EXPECT_FALSE(effect.isOutputConnected(0));
  EXPECT_TRUE(effect.needIdle());
  EXPECT_TRUE(effect.beginEdit(0));
  gHostAnswer = 96000;
  EXPECT_EQ(effect.updateSampleRate(), 96000.0);
  EXPECT_EQ(effect.getSampleRate(), 96000.0f);
  gHostAnswer = 128;
  EXPECT_EQ(effect.updateBlockSize(), 128);
  gHostAnswer = -5;
  EXPECT_EQ(effect.updateBlockSize(), 128);
  EXPECT_EQ(effect.updateSampleRate(), 96000.0);
  gHostAnswer = 7;
  EXPECT_EQ(effect.offlineGetCurrentPass(), 1);
  EXPECT_EQ(effect.hostVendorSpecific(0, 0, nullptr, 0.0f), 7);

  // The automated parameter is set before the host hears of it.
  gSent.clear();
  effect.setParameterAutomated(3, 0.75f);
  ASSERT_EQ(effect.parameterCalls.size(), 1u);
  EXPECT_EQ(effect.parameterCalls[0].hostCallsBefore, 0u);
  ASSERT_EQ(gSent.size(), 1u);
  EXPECT_EQ(gSent[0].opcode, audioMasterAutomate);
  EXPECT_EQ(gSent[0].index, 3);
  EXPECT_EQ(gSent[0].value, 0);
  EXPECT_EQ(gSent[0].opt, 0.75f);
}

TEST_F(EffectBase, TextConversionsStayInsideTheirBuffers) {
  BareEffect effect(nullptr);
  char text[8];
  std::memset(text, 'x', sizeof text);
  effect.float2string(123456789.0f, text, 4);
  EXPECT_EQ(std::strlen(text), 3u);
  EXPECT_EQ(text[4], 'x');
  effect.dB2string(1.0f, text, 8);
  EXPECT_STREQ(text, "0.00");
  effect.dB2string(0.0f, text, 8);
  EXPECT_STREQ(text, "-oo");
  effect.int2string(-42, text, 8);
  EXPECT_STREQ(text, "-42");
  effect.Hz2string(441.0f, text, 8);  // 44100 / 441 samples
  EXPECT_STREQ(text, "100.00");
  effect.ms2string(441.0f, text, 8);
  EXPECT_STREQ(text, "10.00");
  effect.int2string(1, nullptr, 8);  // no buffer: nothing written, no fault
}

TEST_F(EffectBase, ExceptionsStopAtTheRecordEntry) {
  bool destroyed = false;
  auto* effect = new ThrowingEffect(nullptr);
  effect->destroyed = &destroyed;
  AEffect* e = effect->getAeffect();
  EXPECT_EQ(e->dispatcher(e, effGetVendorVersion, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0), 2400);  // still usable
  EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
  EXPECT_TRUE(destroyed);
}
