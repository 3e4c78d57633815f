// The record and identity a host sees when it loads the built plug-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "chain/chain.h"
#include "measurement_host.h"

using vardo::measure::MeasurementHost;

namespace {

std::string fourChars(VstIntPtr code) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((code >> shift) & 0xff);
  return s;
}

}  // namespace

TEST(AbiIdentity, RecordCarriesTheEffectsCountsFlagsAndDelay) {
  MeasurementHost host;
  AEffect* e = host.open();
  ASSERT_NE(e, nullptr) << host.error();
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(fourChars(e->magic), "VstP");
  EXPECT_EQ(e->uniqueID, 0x56415244);
  EXPECT_EQ(fourChars(e->uniqueID), "VARD");
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->numPrograms, 1);
  EXPECT_EQ(e->numParams, 13);
  EXPECT_EQ(e->flags, 0x10);
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->initialDelay, vardo::kSignalPathDelay);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->realQualities, 0);
  EXPECT_EQ(e->offQualities, 0);
  EXPECT_EQ(e->resvd1, 0);
  EXPECT_EQ(e->resvd2, 0);
  EXPECT_NE(e->object, nullptr);
  EXPECT_NE(e->dispatcher, nullptr);
  EXPECT_NE(e->process, nullptr);
  EXPECT_NE(e->processReplacing, nullptr);
  EXPECT_NE(e->processDoubleReplacing, nullptr);
  EXPECT_NE(e->setParameter, nullptr);
  EXPECT_NE(e->getParameter, nullptr);
  for (char c : e->future) EXPECT_EQ(c, 0);
}

TEST(AbiIdentity, NamesVersionsAndCategory) {
  MeasurementHost host;
  ASSERT_NE(host.open(), nullptr) << host.error();

  char name[256];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(host.dispatch(effGetEffectName, 0, 0, name), 1);
  EXPECT_STREQ(name, "Tovrel_KORVA-MX31f7");
  // The copy zero-fills the 32 bytes a host is promised and writes nothing beyond.
  for (int i = 19; i < 32; ++i) EXPECT_EQ(name[i], 0) << i;
  EXPECT_EQ(name[32], 'x');

  char vendor[256];
  std::memset(vendor, 'x', sizeof vendor);
  EXPECT_EQ(host.dispatch(effGetVendorString, 0, 0, vendor), 1);
  EXPECT_STREQ(vendor, "Tovrel");
  EXPECT_EQ(vendor[63], 0);
  EXPECT_EQ(vendor[64], 'x');

  EXPECT_EQ(host.textOf(effGetProductString), "Tovrel_KORVA-MX31f7");
  EXPECT_EQ(host.dispatch(effGetProductString, 0, 0, name), 1);

  EXPECT_EQ(host.dispatch(effGetVendorVersion), 0);
  EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(host.dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(fourChars(host.dispatch(effIdentify)), "NvEf");
  EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategUnknown);
  EXPECT_EQ(host.dispatch(effGetNumMidiInputChannels), 1);
  EXPECT_EQ(host.dispatch(effGetNumMidiOutputChannels), 0);
  EXPECT_EQ(host.dispatch(effGetTailSize), 0);
}

TEST(AbiIdentity, AZeroVersionAnswerRefusesTheLoad) {
  MeasurementHost host;
  EXPECT_EQ(host.open(0), nullptr);
  const auto calls = host.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].opcode, audioMasterVersion);
  EXPECT_FALSE(calls[0].hadEffect);

  // A host that answers properly afterwards gets an effect from the same library.
  EXPECT_NE(host.open(2400), nullptr) << host.error();
}

TEST(AbiIdentity, CreationAsksTheHostOnlyForItsVersion) {
  MeasurementHost host;
  ASSERT_NE(host.open(), nullptr) << host.error();
  const auto calls = host.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].opcode, audioMasterVersion);
  EXPECT_FALSE(calls[0].hadEffect);
}

TEST(AbiIdentity, CloseAnswersOne) {
  MeasurementHost host;
  ASSERT_NE(host.open(), nullptr) << host.error();
  EXPECT_EQ(host.close(), 1);
  EXPECT_EQ(host.effect(), nullptr);
}
