// The effect class built directly around DSP variants: the unique ID rule,
// identity texts taken from metadata, instrument handling, and creation that
// asks nothing of a host that refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "chain/chain.h"
#include "allocation_counter.h"
#include "chain/lane_sets.h"
#include "meta_table.h"
#include "mydsp.h"
#include "vardo.h"
#include "test_support.h"
#include "vst_ui.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

// The real DSP with its metadata changed under one key.
class MetadataDsp : public mydsp {
 public:
  MetadataDsp(std::string key, std::string value) : fKey(std::move(key)), fValue(std::move(value)) {}
  void declareMetadata(MetaTable* table) override {
    mydsp::declareMetadata(table);
    table->declare(fKey.c_str(), fValue.c_str());
  }

 private:
  std::string fKey, fValue;
};

// An instrument-style DSP: no inputs, and optionally no outputs either.
class InstrumentDsp : public mydsp {
 public:
  explicit InstrumentDsp(int outputs) : fOutputs(outputs) {}
  int inputCount() override { return 0; }
  int outputCount() override { return fOutputs; }

 private:
  int fOutputs;
};

VstIntPtr versionHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr refusingHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

// Builds an effect around dsp the way the library entry does.
std::unique_ptr<Vardo> makeEffect(mydsp* dsp, audioMasterCallback host = &versionHost) {
  auto* table = new vstUI();
  dsp->declareControls(table);
  return std::make_unique<Vardo>(host, dsp, table);
}

VstInt32 uniqueIdFor(const std::string& id) {
  return makeEffect(new MetadataDsp("id", id))->getAeffect()->uniqueID;
}

}  // namespace

TEST(EffectClass, UniqueIdIsTheFirstFourBytesOfTheIdText) {
  EXPECT_EQ(uniqueIdFor("ZARO"), 0x5A41524F);
  EXPECT_EQ(uniqueIdFor("VARDO"), 0x56415244);
  EXPECT_EQ(uniqueIdFor("abcdefgh"), 0x61626364);
  // Shorter texts read as padded with zero bytes.
  EXPECT_EQ(uniqueIdFor("ab"), 0x61620000);
  EXPECT_EQ(uniqueIdFor("Q"), 0x51000000);
  // The first byte counts unsigned, the other three signed, added with wrap-around:
  // 0xFF000000 + (-128 << 16) + (-1 << 8) + 'B' = 0xFE7FFF42.
  EXPECT_EQ(static_cast<std::uint32_t>(uniqueIdFor("\xff\x80\xff" "B")), 0xFE7FFF42u);
  EXPECT_EQ(static_cast<std::uint32_t>(uniqueIdFor("A\x80" "BC")), 0x40804243u);
}

TEST(EffectClass, EmptyIdTextFallsBackToTheLabelChecksum) {
  // The sum of every label byte of the thirteen controls, taken modulo 128.
  int sum = 0;
  for (const char* label : vardo::test::kControlNames)
    for (const char* c = label; *c; ++c) sum += static_cast<signed char>(*c);
  EXPECT_EQ(uniqueIdFor(""), 0x56415244 + sum % 128);
  EXPECT_NE(sum % 128, 0);  // the fallback really differs from the default
}

TEST(EffectClass, IdentityTextsComeFromTheMetadata) {
  auto effect = makeEffect(new MetadataDsp("version", "2.9"));
  EXPECT_EQ(effect->getVendorVersion(), 2);
  EXPECT_EQ(makeEffect(new MetadataDsp("version", "-3.5"))->getVendorVersion(), -3);
  EXPECT_EQ(makeEffect(new MetadataDsp("version", "17beta"))->getVendorVersion(), 17);
  // Numbers an int cannot hold read as 0, like text that is no number.
  EXPECT_EQ(makeEffect(new MetadataDsp("version", "1e20"))->getVendorVersion(), 0);
  EXPECT_EQ(makeEffect(new MetadataDsp("version", "nan"))->getVendorVersion(), 0);

  // A long name is cut to fit the host's 32 bytes with its terminator, a long vendor its 64.
  const std::string longName(40, 'n');
  auto named = makeEffect(new MetadataDsp("name", longName));
  char text[128];
  std::memset(text, 'x', sizeof text);
  EXPECT_TRUE(named->getEffectName(text));
  EXPECT_EQ(std::string(text), std::string(31, 'n'));
  EXPECT_EQ(text[32], 'x');
  std::memset(text, 'x', sizeof text);
  EXPECT_TRUE(named->getProductString(text));
  EXPECT_EQ(std::string(text), longName);

  auto vendor = makeEffect(new MetadataDsp("author", std::string(80, 'v')));
  std::memset(text, 'x', sizeof text);
  EXPECT_TRUE(vendor->getVendorString(text));
  EXPECT_EQ(std::string(text), std::string(63, 'v'));
  EXPECT_EQ(text[64], 'x');
  EXPECT_FALSE(vendor->getVendorString(nullptr));
}

TEST(EffectClass, WithoutAHostTheRecordKeepsTheBaseCounts) {
  auto effect = makeEffect(new mydsp(), nullptr);
  AEffect* e = effect->getAeffect();
  EXPECT_EQ(e->numInputs, 1);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->uniqueID, 0x4E6F4566);
  EXPECT_EQ(e->numParams, 13);
  EXPECT_EQ(e->initialDelay, vardo::kSignalPathDelay);
  // Still a working effect.
  float in[64] = {}, zeros[64] = {}, out0[64], out1[64];
  float* inputs[2] = {in, zeros};
  float* outputs[2] = {out0, out1};
  effect->processReplacing(inputs, outputs, 64);
  for (float v : out0) EXPECT_EQ(v, 0.0f);
}

TEST(EffectClass, AnInstrumentWithoutOutputsWarnsOnceAndStillBuilds) {
  testing::internal::CaptureStderr();
  auto silent = makeEffect(new InstrumentDsp(0));
  const std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_EQ(warning,
            "*** vardo: vsti: No signal inputs or outputs, and Vardo has no MIDI outputs!\n");
  AEffect* e = silent->getAeffect();
  EXPECT_EQ(e->numInputs, 0);
  EXPECT_EQ(e->numOutputs, 0);
  EXPECT_EQ(e->flags, effFlagsCanReplacing | effFlagsIsSynth);
  EXPECT_EQ(e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0), kPlugCategSynth);
  VstPinProperties pin{};
  EXPECT_EQ(e->dispatcher(e, effGetOutputProperties, 0, 0, &pin, 0), 0);

  testing::internal::CaptureStderr();
  auto instrument = makeEffect(new InstrumentDsp(2));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(instrument->getAeffect()->flags, effFlagsCanReplacing | effFlagsIsSynth);
  // A stereo output pair is still reported as such.
  EXPECT_EQ(instrument->getAeffect()->dispatcher(instrument->getAeffect(),
                                                 effGetOutputProperties, 1, 0, &pin, 0),
            1);
  EXPECT_EQ(pin.flags, 3);
}

TEST(EffectClass, ARefusingHostGetsNullAndNothingIsAllocated) {
  AEffect* refused = nullptr;
  long refusedAllocations = 0;
  {
    vardo::test::CountAllocations counter;
    refused = VSTPluginMain(&refusingHost);
    refusedAllocations = counter.count();
  }
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(refusedAllocations, 0);
  EXPECT_EQ(VSTPluginMain(nullptr), nullptr);

  // The same entry with a willing host allocates the instance.
  AEffect* made = nullptr;
  long madeAllocations = 0;
  {
    vardo::test::CountAllocations counter;
    made = VSTPluginMain(&versionHost);
    madeAllocations = counter.count();
  }
  ASSERT_NE(made, nullptr);
  EXPECT_GT(madeAllocations, 11);  // eleven DSP objects at least
  EXPECT_EQ(made->dispatcher(made, effClose, 0, 0, nullptr, 0), 1);
}

// Blocks of audio through the effect, counting allocations.
static void processingAllocatesNothing() {
  auto effect = makeEffect(new mydsp());
  effect->setSampleRate(48000.0f);
  effect->setBlockSize(256);
  float in[256], zeros[256] = {}, out0[256], out1[256];
  for (int i = 0; i < 256; ++i) in[i] = (i % 17) * 0.01f - 0.08f;
  float* inputs[2] = {in, zeros};
  float* outputs[2] = {out0, out1};
  long allocations = 0;
  {
    vardo::test::CountAllocations counter;
    for (int block = 0; block < 8; ++block) effect->processReplacing(inputs, outputs, 256);
    effect->processReplacing(inputs, outputs, 0);
    allocations = counter.count();
  }
  EXPECT_EQ(allocations, 0);
}

// On every lane set the processor runs.
TEST(EffectClass, ProcessingAllocatesNothing) {
  for (const vardo::LaneSetRow& row : vardo::laneSets()) {
    const vardo::LaneSet set = row.set;
    if (!vardo::laneSetAvailable(set)) continue;
    SCOPED_TRACE(vardo::laneSetName(set));
    vardo::chooseLaneSetForTesting(set);
    processingAllocatesNothing();
    vardo::chooseLaneSetForTesting(std::nullopt);
  }
}

TEST(EffectClass, BlockSizeAnnouncementsClaimBoundedMemory) {
  // The effect path never renders through the scratch buffers: nothing grows.
  auto effect = makeEffect(new mydsp());
  {
    vardo::test::CountAllocations counter;
    effect->setBlockSize(1 << 30);
    EXPECT_EQ(counter.count(), 0);
  }
  EXPECT_EQ(effect->getBlockSize(), 1 << 30);

  // An instrument's buffers grow with the announcement, but only so far.
  auto instrument = makeEffect(new InstrumentDsp(2));
  {
    vardo::test::CountAllocations counter;
    instrument->setBlockSize(4096);
    EXPECT_GE(counter.bytes(), 2 * 4096 * static_cast<long long>(sizeof(float)));
  }
  {
    vardo::test::CountAllocations counter;
    instrument->setBlockSize(0x7fffffff);
    EXPECT_LE(counter.bytes(), 2 * 65536 * static_cast<long long>(sizeof(float)) + 4096);
  }
  EXPECT_EQ(instrument->getBlockSize(), 0x7fffffff);
}

TEST(EffectClass, RateChangeResetsStateButKeepsControlsBitForBit) {
  auto* dsp = new mydsp();
  auto effect = makeEffect(dsp);
  const ControlFields fresh = dsp->controls();
  effect->setSampleRate(96000.0f);
  EXPECT_EQ(dsp->sampleRate(), 96000);
  EXPECT_EQ(std::memcmp(&fresh, &dsp->controls(), sizeof fresh), 0);

  effect->setParameter(0, 0.25f);
  effect->setParameter(7, 0.9f);
  const ControlFields set = dsp->controls();
  EXPECT_NE(std::memcmp(&fresh, &set, sizeof fresh), 0);
  // Some state to clear.
  float in[128], zeros[128] = {}, out0[128], out1[128];
  for (int i = 0; i < 128; ++i) in[i] = (i % 7) * 0.1f - 0.3f;
  float* inputs[2] = {in, zeros};
  float* outputs[2] = {out0, out1};
  effect->processReplacing(inputs, outputs, 128);
  EXPECT_EQ(dsp->sampleCounter(), 128u);

  effect->setSampleRate(44100.7f);  // truncated to 44100
  EXPECT_EQ(dsp->sampleRate(), 44100);
  EXPECT_EQ(dsp->sampleCounter(), 0u);
  EXPECT_EQ(std::memcmp(&set, &dsp->controls(), sizeof set), 0);
}
