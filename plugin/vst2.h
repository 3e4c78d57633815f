// The VST 2.4 binary interface as this plug-in and its hosts speak it: records,
// constants and opcode numbers for 64-bit targets. Written from the published
// facts of the interface; every record's size and field offset is checked below.
#pragma once

#include <cstddef>
#include <cstdint>

using VstInt16 = std::int16_t;
using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;

static_assert(sizeof(void*) == 8, "only 64-bit targets are supported");

struct AEffect;

extern "C" {
using audioMasterCallback = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs,
                                    VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                          VstInt32 sampleFrames);
using AEffectSetParameterProc = void (*)(AEffect* effect, VstInt32 index, float value);
using AEffectGetParameterProc = float (*)(AEffect* effect, VstInt32 index);
using VstPluginMainProc = AEffect* (*)(audioMasterCallback host);
}

constexpr VstInt32 fourCharCode(char a, char b, char c, char d) {
  return static_cast<VstInt32>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                               (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                               (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                               static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

constexpr VstInt32 kEffectMagic = fourCharCode('V', 's', 't', 'P');

struct AEffect {
  VstInt32 magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;  // deprecated accumulating call
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;
  VstIntPtr resvd1;
  VstIntPtr resvd2;
  VstInt32 initialDelay;
  VstInt32 realQualities;  // deprecated
  VstInt32 offQualities;   // deprecated
  float ioRatio;           // deprecated
  void* object;
  void* user;
  VstInt32 uniqueID;
  VstInt32 version;
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56];
};

struct VstEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  char data[16];
};

struct VstEvents {
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[2];  // really numEvents entries
};

struct VstMidiEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 noteLength;
  VstInt32 noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

constexpr VstInt32 kVstMidiType = 1;
constexpr VstInt32 kVstSysExType = 6;

struct VstPinProperties {
  char label[64];
  VstInt32 flags;
  VstInt32 arrangementType;
  char shortLabel[8];
  char future[48];
};

enum VstPinPropertiesFlags : VstInt32 {
  kVstPinIsActive = 1 << 0,
  kVstPinIsStereo = 1 << 1,
  kVstPinUseSpeaker = 1 << 2,
};

struct VstParameterProperties {
  float stepFloat;
  float smallStepFloat;
  float largeStepFloat;
  char label[64];
  VstInt32 flags;
  VstInt32 minInteger;
  VstInt32 maxInteger;
  VstInt32 stepInteger;
  VstInt32 largeStepInteger;
  char shortLabel[8];
  VstInt16 displayIndex;
  VstInt16 category;
  VstInt16 numParametersInCategory;
  VstInt16 reserved;
  char categoryLabel[24];
  char future[16];
};

enum VstParameterFlags : VstInt32 {
  kVstParameterIsSwitch = 1 << 0,
  kVstParameterUsesIntegerMinMax = 1 << 1,
  kVstParameterUsesFloatStep = 1 << 2,
  kVstParameterUsesIntStep = 1 << 3,
  kVstParameterSupportsDisplayIndex = 1 << 4,
  kVstParameterSupportsDisplayCategory = 1 << 5,
  kVstParameterCanRamp = 1 << 6,
};

struct MidiProgramName {
  VstInt32 thisProgramIndex;
  char name[64];
  char midiProgram;
  char midiBankMsb;
  char midiBankLsb;
  char reserved;
  VstInt32 parentCategoryIndex;
  VstInt32 flags;
};

struct MidiProgramCategory {
  VstInt32 thisCategoryIndex;
  char name[64];
  VstInt32 parentCategoryIndex;
  VstInt32 flags;
};

struct MidiKeyName {
  VstInt32 thisProgramIndex;
  VstInt32 thisKeyNumber;
  char keyName[64];
  VstInt32 reserved;
  VstInt32 flags;
};

struct VstKeyCode {
  VstInt32 character;
  unsigned char virt;
  unsigned char modifier;
};

struct ERect {
  VstInt16 top;
  VstInt16 left;
  VstInt16 bottom;
  VstInt16 right;
};

struct VstSpeakerArrangement;  // only passed through as a pointer
struct VstTimeInfo;            // only passed through as a pointer

enum VstStringLengths : VstInt32 {
  kVstMaxProgNameLen = 24,
  kVstMaxParamStrLen = 8,
  kVstMaxVendorStrLen = 64,
  kVstMaxProductStrLen = 64,
  kVstMaxEffectNameLen = 32,
  kVstMaxLabelLen = 64,
  kVstMaxShortLabelLen = 8,
  kVstMaxCategLabelLen = 24,
  kVstMaxNameLen = 64,
};

enum VstAEffectFlags : VstInt32 {
  effFlagsHasEditor = 0x1,
  effFlagsHasClip = 0x2,
  effFlagsHasVu = 0x4,
  effFlagsCanMono = 0x8,
  effFlagsCanReplacing = 0x10,
  effFlagsProgramChunks = 0x20,
  effFlagsIsSynth = 0x100,
  effFlagsNoSoundInStop = 0x200,
  effFlagsExtIsAsync = 0x400,
  effFlagsExtHasBuffer = 0x800,
  effFlagsCanDoubleReplacing = 0x1000,
};

enum VstPlugCategory : VstInt32 {
  kPlugCategUnknown = 0,
  kPlugCategEffect,
  kPlugCategSynth,
  kPlugCategAnalysis,
  kPlugCategMastering,
  kPlugCategSpacializer,
  kPlugCategRoomFx,
  kPlugSurroundFx,
  kPlugCategRestoration,
  kPlugCategOfflineProcess,
  kPlugCategShell,
  kPlugCategGenerator,
};

enum AEffectOpcodes : VstInt32 {
  effOpen = 0, effClose, effSetProgram, effGetProgram, effSetProgramName, effGetProgramName,
  effGetParamLabel, effGetParamDisplay, effGetParamName, effGetVu, effSetSampleRate,
  effSetBlockSize, effMainsChanged, effEditGetRect, effEditOpen, effEditClose, effEditDraw,
  effEditMouse, effEditKey, effEditIdle, effEditTop, effEditSleep, effIdentify, effGetChunk,
  effSetChunk, effProcessEvents, effCanBeAutomated, effString2Parameter,
  effGetNumProgramCategories, effGetProgramNameIndexed, effCopyProgram, effConnectInput,
  effConnectOutput, effGetInputProperties, effGetOutputProperties, effGetPlugCategory,
  effGetCurrentPosition, effGetDestinationBuffer, effOfflineNotify, effOfflinePrepare,
  effOfflineRun, effProcessVarIo, effSetSpeakerArrangement, effSetBlockSizeAndSampleRate,
  effSetBypass, effGetEffectName, effGetErrorText, effGetVendorString, effGetProductString,
  effGetVendorVersion, effVendorSpecific, effCanDo, effGetTailSize, effIdle, effGetIcon,
  effSetViewPosition, effGetParameterProperties, effKeysRequired, effGetVstVersion,
  effEditKeyDown, effEditKeyUp, effSetEditKnobMode, effGetMidiProgramName,
  effGetCurrentMidiProgram, effGetMidiProgramCategory, effHasMidiProgramsChanged,
  effGetMidiKeyName, effBeginSetProgram, effEndSetProgram, effGetSpeakerArrangement,
  effShellGetNextPlugin, effStartProcess, effStopProcess, effSetTotalSampleToProcess,
  effSetPanLaw, effBeginLoadBank, effBeginLoadProgram, effSetProcessPrecision,
  effGetNumMidiInputChannels, effGetNumMidiOutputChannels,
};
static_assert(effEditTop == 20 && effIdentify == 22 && effProcessEvents == 25);
static_assert(effGetInputProperties == 33 && effGetEffectName == 45 && effCanDo == 51);
static_assert(effGetParameterProperties == 56 && effGetVstVersion == 58);
static_assert(effGetMidiProgramName == 62 && effGetSpeakerArrangement == 69);
static_assert(effGetNumMidiOutputChannels == 79);

enum AudioMasterOpcodes : VstInt32 {
  audioMasterAutomate = 0, audioMasterVersion, audioMasterCurrentId, audioMasterIdle,
  audioMasterPinConnected, audioMasterUnused5, audioMasterWantMidi, audioMasterGetTime,
  audioMasterProcessEvents, audioMasterSetTime, audioMasterTempoAt,
  audioMasterGetNumAutomatableParameters, audioMasterGetParameterQuantization,
  audioMasterIOChanged, audioMasterNeedIdle, audioMasterSizeWindow, audioMasterGetSampleRate,
  audioMasterGetBlockSize, audioMasterGetInputLatency, audioMasterGetOutputLatency,
  audioMasterGetPreviousPlug, audioMasterGetNextPlug, audioMasterWillReplaceOrAccumulate,
  audioMasterGetCurrentProcessLevel, audioMasterGetAutomationState, audioMasterOfflineStart,
  audioMasterOfflineRead, audioMasterOfflineWrite, audioMasterOfflineGetCurrentPass,
  audioMasterOfflineGetCurrentMetaPass, audioMasterSetOutputSampleRate,
  audioMasterGetOutputSpeakerArrangement, audioMasterGetVendorString,
  audioMasterGetProductString, audioMasterGetVendorVersion, audioMasterVendorSpecific,
  audioMasterSetIcon, audioMasterCanDo, audioMasterGetLanguage, audioMasterOpenWindow,
  audioMasterCloseWindow, audioMasterGetDirectory, audioMasterUpdateDisplay,
  audioMasterBeginEdit, audioMasterEndEdit, audioMasterOpenFileSelector,
  audioMasterCloseFileSelector, audioMasterEditFile, audioMasterGetChunkFile,
  audioMasterGetInputSpeakerArrangement,
};
static_assert(audioMasterWantMidi == 6 && audioMasterGetSampleRate == 16);
static_assert(audioMasterCanDo == 37 && audioMasterGetInputSpeakerArrangement == 49);

// Record layouts: sizes and offsets for 64-bit targets.
#define VST_CHECK_OFFSET(record, field, offset) \
  static_assert(offsetof(record, field) == (offset), #record "::" #field " offset")

static_assert(sizeof(AEffect) == 192);
VST_CHECK_OFFSET(AEffect, magic, 0);
VST_CHECK_OFFSET(AEffect, dispatcher, 8);
VST_CHECK_OFFSET(AEffect, process, 16);
VST_CHECK_OFFSET(AEffect, setParameter, 24);
VST_CHECK_OFFSET(AEffect, getParameter, 32);
VST_CHECK_OFFSET(AEffect, numPrograms, 40);
VST_CHECK_OFFSET(AEffect, numParams, 44);
VST_CHECK_OFFSET(AEffect, numInputs, 48);
VST_CHECK_OFFSET(AEffect, numOutputs, 52);
VST_CHECK_OFFSET(AEffect, flags, 56);
VST_CHECK_OFFSET(AEffect, resvd1, 64);
VST_CHECK_OFFSET(AEffect, resvd2, 72);
VST_CHECK_OFFSET(AEffect, initialDelay, 80);
VST_CHECK_OFFSET(AEffect, realQualities, 84);
VST_CHECK_OFFSET(AEffect, offQualities, 88);
VST_CHECK_OFFSET(AEffect, ioRatio, 92);
VST_CHECK_OFFSET(AEffect, object, 96);
VST_CHECK_OFFSET(AEffect, user, 104);
VST_CHECK_OFFSET(AEffect, uniqueID, 112);
VST_CHECK_OFFSET(AEffect, version, 116);
VST_CHECK_OFFSET(AEffect, processReplacing, 120);
VST_CHECK_OFFSET(AEffect, processDoubleReplacing, 128);
VST_CHECK_OFFSET(AEffect, future, 136);

VST_CHECK_OFFSET(VstEvents, numEvents, 0);
VST_CHECK_OFFSET(VstEvents, reserved, 8);
VST_CHECK_OFFSET(VstEvents, events, 16);

static_assert(sizeof(VstEvent) == 32);
VST_CHECK_OFFSET(VstEvent, type, 0);
VST_CHECK_OFFSET(VstEvent, byteSize, 4);
VST_CHECK_OFFSET(VstEvent, deltaFrames, 8);
VST_CHECK_OFFSET(VstEvent, flags, 12);
VST_CHECK_OFFSET(VstEvent, data, 16);

static_assert(sizeof(VstMidiEvent) == 32);
VST_CHECK_OFFSET(VstMidiEvent, type, 0);
VST_CHECK_OFFSET(VstMidiEvent, byteSize, 4);
VST_CHECK_OFFSET(VstMidiEvent, deltaFrames, 8);
VST_CHECK_OFFSET(VstMidiEvent, flags, 12);
VST_CHECK_OFFSET(VstMidiEvent, noteLength, 16);
VST_CHECK_OFFSET(VstMidiEvent, noteOffset, 20);
VST_CHECK_OFFSET(VstMidiEvent, midiData, 24);
VST_CHECK_OFFSET(VstMidiEvent, detune, 28);
VST_CHECK_OFFSET(VstMidiEvent, noteOffVelocity, 29);
VST_CHECK_OFFSET(VstMidiEvent, reserved1, 30);
VST_CHECK_OFFSET(VstMidiEvent, reserved2, 31);

static_assert(sizeof(VstPinProperties) == 128);
VST_CHECK_OFFSET(VstPinProperties, label, 0);
VST_CHECK_OFFSET(VstPinProperties, flags, 64);
VST_CHECK_OFFSET(VstPinProperties, arrangementType, 68);
VST_CHECK_OFFSET(VstPinProperties, shortLabel, 72);
VST_CHECK_OFFSET(VstPinProperties, future, 80);

static_assert(sizeof(VstParameterProperties) == 152);
VST_CHECK_OFFSET(VstParameterProperties, stepFloat, 0);
VST_CHECK_OFFSET(VstParameterProperties, smallStepFloat, 4);
VST_CHECK_OFFSET(VstParameterProperties, largeStepFloat, 8);
VST_CHECK_OFFSET(VstParameterProperties, label, 12);
VST_CHECK_OFFSET(VstParameterProperties, flags, 76);
VST_CHECK_OFFSET(VstParameterProperties, minInteger, 80);
VST_CHECK_OFFSET(VstParameterProperties, maxInteger, 84);
VST_CHECK_OFFSET(VstParameterProperties, stepInteger, 88);
VST_CHECK_OFFSET(VstParameterProperties, largeStepInteger, 92);
VST_CHECK_OFFSET(VstParameterProperties, shortLabel, 96);
VST_CHECK_OFFSET(VstParameterProperties, displayIndex, 104);
VST_CHECK_OFFSET(VstParameterProperties, category, 106);
VST_CHECK_OFFSET(VstParameterProperties, numParametersInCategory, 108);
VST_CHECK_OFFSET(VstParameterProperties, reserved, 110);
VST_CHECK_OFFSET(VstParameterProperties, categoryLabel, 112);
VST_CHECK_OFFSET(VstParameterProperties, future, 136);

static_assert(sizeof(MidiProgramName) == 80);
VST_CHECK_OFFSET(MidiProgramName, thisProgramIndex, 0);
VST_CHECK_OFFSET(MidiProgramName, name, 4);
VST_CHECK_OFFSET(MidiProgramName, midiProgram, 68);
VST_CHECK_OFFSET(MidiProgramName, midiBankMsb, 69);
VST_CHECK_OFFSET(MidiProgramName, midiBankLsb, 70);
VST_CHECK_OFFSET(MidiProgramName, reserved, 71);
VST_CHECK_OFFSET(MidiProgramName, parentCategoryIndex, 72);
VST_CHECK_OFFSET(MidiProgramName, flags, 76);

static_assert(sizeof(MidiProgramCategory) == 76);
VST_CHECK_OFFSET(MidiProgramCategory, thisCategoryIndex, 0);
VST_CHECK_OFFSET(MidiProgramCategory, name, 4);
VST_CHECK_OFFSET(MidiProgramCategory, parentCategoryIndex, 68);
VST_CHECK_OFFSET(MidiProgramCategory, flags, 72);

static_assert(sizeof(MidiKeyName) == 80);
VST_CHECK_OFFSET(MidiKeyName, thisProgramIndex, 0);
VST_CHECK_OFFSET(MidiKeyName, thisKeyNumber, 4);
VST_CHECK_OFFSET(MidiKeyName, keyName, 8);
VST_CHECK_OFFSET(MidiKeyName, reserved, 72);
VST_CHECK_OFFSET(MidiKeyName, flags, 76);

static_assert(sizeof(VstKeyCode) == 8);
VST_CHECK_OFFSET(VstKeyCode, character, 0);
VST_CHECK_OFFSET(VstKeyCode, virt, 4);
VST_CHECK_OFFSET(VstKeyCode, modifier, 5);

static_assert(sizeof(ERect) == 8);

#undef VST_CHECK_OFFSET
