#include "audioeffectx.h"

namespace {

char* text(void* ptr) { return static_cast<char*>(ptr); }
VstInt32 int32(VstIntPtr value) { return static_cast<VstInt32>(value); }

}  // namespace

// ---------------------------------------------------------------------------
// Opcodes 25 ... 79; everything else goes to the base dispatcher.

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
  switch (opcode) {
    case effProcessEvents:
      return intAnswer(processEvents(static_cast<VstEvents*>(ptr)));
    case effCanBeAutomated:
      return boolAnswer(canParameterBeAutomated(index));
    case effString2Parameter:
      return boolAnswer(string2parameter(index, text(ptr)));
    case effGetProgramNameIndexed:
      return boolAnswer(getProgramNameIndexed(int32(value), index, text(ptr)));
    case effGetInputProperties:
      return boolAnswer(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetOutputProperties:
      return boolAnswer(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetPlugCategory:
      // The category travels as an unsigned 32-bit value.
      return static_cast<VstIntPtr>(static_cast<std::uint32_t>(getPlugCategory()));
    case effOfflineNotify:
      return boolAnswer(offlineNotify(static_cast<VstAudioFile*>(ptr), int32(value), index != 0));
    case effOfflinePrepare:
      return boolAnswer(offlinePrepare(static_cast<VstOfflineTask*>(ptr), int32(value)));
    case effOfflineRun:
      return boolAnswer(offlineRun(static_cast<VstOfflineTask*>(ptr), int32(value)));
    case effProcessVarIo:
      return boolAnswer(processVariableIo(static_cast<VstVariableIo*>(ptr)));
    case effSetSpeakerArrangement:
      return boolAnswer(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                              static_cast<VstSpeakerArrangement*>(ptr)));
    case effSetBypass:
      return boolAnswer(setBypass(value != 0));
    case effGetEffectName:
      return boolAnswer(getEffectName(text(ptr)));
    case effGetVendorString:
      return boolAnswer(getVendorString(text(ptr)));
    case effGetProductString:
      return boolAnswer(getProductString(text(ptr)));
    case effGetVendorVersion:
      return intAnswer(getVendorVersion());
    case effVendorSpecific:
      return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return intAnswer(canDo(text(ptr)));
    case effGetTailSize:
      return intAnswer(getGetTailSize());
    case effGetParameterProperties:
      return boolAnswer(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
    case effGetVstVersion:
      return intAnswer(getVstVersion());
    case effEditKeyDown:
    case effEditKeyUp:
      if (!editor) return 0;
      {
        VstKeyCode key{};
        key.character = index;
        key.virt = static_cast<unsigned char>(value);
        key.modifier = static_cast<unsigned char>(static_cast<int>(opt));
        return boolAnswer(opcode == effEditKeyDown ? editor->onKeyDown(key)
                                                   : editor->onKeyUp(key));
      }
    case effSetEditKnobMode:
      return editor ? boolAnswer(editor->setKnobMode(int32(value))) : 0;
    case effGetMidiProgramName:
      return intAnswer(getMidiProgramName(index, static_cast<MidiProgramName*>(ptr)));
    case effGetCurrentMidiProgram:
      return intAnswer(getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr)));
    case effGetMidiProgramCategory:
      return intAnswer(getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr)));
    case effHasMidiProgramsChanged:
      return boolAnswer(hasMidiProgramsChanged(index));
    case effGetMidiKeyName:
      return boolAnswer(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
    case effBeginSetProgram:
      return boolAnswer(beginSetProgram());
    case effEndSetProgram:
      return boolAnswer(endSetProgram());
    case effGetSpeakerArrangement:
      return boolAnswer(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                              static_cast<VstSpeakerArrangement**>(ptr)));
    case effShellGetNextPlugin:
      return intAnswer(getNextShellPlugin(text(ptr)));
    case effStartProcess:
      return intAnswer(startProcess());
    case effStopProcess:
      return intAnswer(stopProcess());
    case effSetTotalSampleToProcess:
      return intAnswer(setTotalSampleToProcess(int32(value)));
    case effSetPanLaw:
      return boolAnswer(setPanLaw(int32(value), opt));
    case effBeginLoadBank:
      return intAnswer(beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr)));
    case effBeginLoadProgram:
      return intAnswer(beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr)));
    case effSetProcessPrecision:
      return boolAnswer(setProcessPrecision(int32(value)));
    case effGetNumMidiInputChannels:
      return intAnswer(getNumMidiInputChannels());
    case effGetNumMidiOutputChannels:
      return intAnswer(getNumMidiOutputChannels());
    default:
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

void AudioEffectX::resume() {
  if ((cEffect.flags & effFlagsIsSynth) ||
      canDo(const_cast<char*>("receiveVstMidiEvent")) == 1)
    wantEvents(1);
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input,
                                         VstSpeakerArrangement** output) {
  if (input) *input = nullptr;
  if (output) *output = nullptr;
  return false;
}

// ---------------------------------------------------------------------------
// Host calls. Each sends one opcode with the effect's record; without a host
// the answer is 0 (see AudioEffect::callHost).

bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }
bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }
bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }

double AudioEffectX::updateSampleRate() {
  const VstIntPtr answer = callHost(audioMasterGetSampleRate);
  if (answer > 0) sampleRate = static_cast<float>(answer);
  return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize() {
  const VstIntPtr answer = callHost(audioMasterGetBlockSize);
  if (answer > 0) blockSize = int32(answer);
  return blockSize;
}

VstInt32 AudioEffectX::getInputLatency() { return int32(callHost(audioMasterGetInputLatency)); }
VstInt32 AudioEffectX::getOutputLatency() { return int32(callHost(audioMasterGetOutputLatency)); }

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
  return int32(callHost(audioMasterGetCurrentProcessLevel));
}
VstInt32 AudioEffectX::getAutomationState() {
  return int32(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::getHostVendorString(char* name) {
  return callHost(audioMasterGetVendorString, 0, 0, name) != 0;
}
bool AudioEffectX::getHostProductString(char* name) {
  return callHost(audioMasterGetProductString, 0, 0, name) != 0;
}
VstInt32 AudioEffectX::getHostVendorVersion() {
  return int32(callHost(audioMasterGetVendorVersion));
}
VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 index, VstIntPtr value, void* ptr,
                                           float opt) {
  return callHost(audioMasterVendorSpecific, index, value, ptr, opt);
}
bool AudioEffectX::canHostDo(char* name) { return callHost(audioMasterCanDo, 0, 0, name) != 0; }
VstInt32 AudioEffectX::getHostLanguage() { return int32(callHost(audioMasterGetLanguage)); }
void* AudioEffectX::getDirectory() {
  return reinterpret_cast<void*>(callHost(audioMasterGetDirectory));
}
bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }
bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return callHost(audioMasterSizeWindow, width, height) != 0;
}
bool AudioEffectX::openFileSelector(VstFileSelect* selector) {
  return selector && callHost(audioMasterOpenFileSelector, 0, 0, selector) != 0;
}
bool AudioEffectX::closeFileSelector(VstFileSelect* selector) {
  return selector && callHost(audioMasterCloseFileSelector, 0, 0, selector) != 0;
}
bool AudioEffectX::getChunkFile(void* nativePath) {
  return nativePath && callHost(audioMasterGetChunkFile, 0, 0, nativePath) != 0;
}

bool AudioEffectX::offlineRead(VstOfflineTask* task, VstInt32 option, bool readSource) {
  return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, task) != 0;
}
bool AudioEffectX::offlineWrite(VstOfflineTask* task, VstInt32 option) {
  return callHost(audioMasterOfflineWrite, 0, option, task) != 0;
}
bool AudioEffectX::offlineStart(VstAudioFile* files, VstInt32 count, VstInt32 newCount) {
  return callHost(audioMasterOfflineStart, newCount, count, files) != 0;
}
VstInt32 AudioEffectX::offlineGetCurrentPass() {
  return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0;
}
VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
  return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}

void AudioEffectX::wantEvents(VstInt32 filter) { callHost(audioMasterWantMidi, 0, filter); }
VstInt32 AudioEffectX::tempoAt(VstInt32 position) {
  return int32(callHost(audioMasterTempoAt, 0, position));
}
VstInt32 AudioEffectX::getNumAutomatableParameters() {
  return int32(callHost(audioMasterGetNumAutomatableParameters));
}
VstInt32 AudioEffectX::getParameterQuantization() {
  return int32(callHost(audioMasterGetParameterQuantization));
}
bool AudioEffectX::needIdle() { return callHost(audioMasterNeedIdle) != 0; }
AEffect* AudioEffectX::getPreviousPlug(VstInt32 input) {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, input));
}
AEffect* AudioEffectX::getNextPlug(VstInt32 output) {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, output));
}
VstInt32 AudioEffectX::willProcessReplacing() {
  return int32(callHost(audioMasterWillReplaceOrAccumulate));
}
void AudioEffectX::setOutputSamplerate(float rate) {
  callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}
VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
  return reinterpret_cast<VstSpeakerArrangement*>(
      callHost(audioMasterGetInputSpeakerArrangement));
}
VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
  return reinterpret_cast<VstSpeakerArrangement*>(
      callHost(audioMasterGetOutputSpeakerArrangement));
}
VstInt32 AudioEffectX::openWindow(VstWindow* window) {
  return int32(callHost(audioMasterOpenWindow, 0, 0, window));
}
VstInt32 AudioEffectX::closeWindow(VstWindow* window) {
  return int32(callHost(audioMasterCloseWindow, 0, 0, window));
}
