// The extended effect base class: dispatch of the opcodes 25 ... 79, the
// extended host queries, and a default for every extended operation.
#pragma once

#include "audioeffect.h"

// Records that this plug-in only passes through as pointers.
struct VstPatchChunkInfo;
struct VstVariableIo;
struct VstFileSelect;
struct VstSpeakerProperties;
struct VstOfflineTask;
struct VstAudioFile;
struct VstWindow;

class AudioEffectX : public AudioEffect {
 public:
  AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
      : AudioEffect(audioMaster, numPrograms, numParams) {}

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) override;
  // Asks the host for MIDI when the effect is an instrument or takes MIDI events.
  void resume() override;

  virtual bool canParameterBeAutomated(VstInt32 index) {
    (void)index;
    return true;
  }
  virtual bool string2parameter(VstInt32 index, char* text) {
    (void)index, (void)text;
    return false;
  }
  virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) {
    (void)index, (void)properties;
    return false;
  }
  virtual bool beginEdit(VstInt32 index);
  virtual bool endEdit(VstInt32 index);
  virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    (void)category, (void)index, (void)text;
    return false;
  }
  virtual bool beginSetProgram() { return false; }
  virtual bool endSetProgram() { return false; }
  virtual VstInt32 beginLoadBank(VstPatchChunkInfo* info) {
    (void)info;
    return 0;
  }
  virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* info) {
    (void)info;
    return 0;
  }
  virtual bool ioChanged();
  virtual double updateSampleRate();
  virtual VstInt32 updateBlockSize();
  virtual VstInt32 getInputLatency();
  virtual VstInt32 getOutputLatency();
  virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties) {
    (void)index, (void)properties;
    return false;
  }
  virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    (void)index, (void)properties;
    return false;
  }
  virtual bool setSpeakerArrangement(VstSpeakerArrangement* input,
                                     VstSpeakerArrangement* output) {
    (void)input, (void)output;
    return false;
  }
  virtual bool getSpeakerArrangement(VstSpeakerArrangement** input,
                                     VstSpeakerArrangement** output);
  virtual bool setBypass(bool onOff) {
    (void)onOff;
    return false;
  }
  virtual bool setPanLaw(VstInt32 type, float value) {
    (void)type, (void)value;
    return false;
  }
  virtual bool setProcessPrecision(VstInt32 precision) {
    (void)precision;
    return false;
  }
  virtual VstInt32 getNumMidiInputChannels() { return 0; }
  virtual VstInt32 getNumMidiOutputChannels() { return 0; }
  virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
  virtual VstInt32 getCurrentProcessLevel();
  virtual VstInt32 getAutomationState();
  virtual VstInt32 processEvents(VstEvents* events) {
    (void)events;
    return 0;
  }
  virtual VstInt32 startProcess() { return 0; }
  virtual VstInt32 stopProcess() { return 0; }
  virtual bool processVariableIo(VstVariableIo* io) {
    (void)io;
    return false;
  }
  virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }
  virtual bool getHostVendorString(char* text);
  virtual bool getHostProductString(char* text);
  virtual VstInt32 getHostVendorVersion();
  virtual VstIntPtr hostVendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt);
  virtual bool canHostDo(char* text);
  virtual VstInt32 getHostLanguage();
  virtual void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
  virtual void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual void* getDirectory();
  virtual bool getEffectName(char* name) {
    (void)name;
    return false;
  }
  virtual bool getVendorString(char* text) {
    (void)text;
    return false;
  }
  virtual bool getProductString(char* text) {
    (void)text;
    return false;
  }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    (void)index, (void)value, (void)ptr, (void)opt;
    return 0;
  }
  virtual VstInt32 canDo(char* text) {
    (void)text;
    return 0;
  }
  virtual VstInt32 getVstVersion() { return 2400; }
  virtual VstPlugCategory getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
  }
  virtual VstInt32 getMidiProgramName(VstInt32 channel, MidiProgramName* program) {
    (void)channel, (void)program;
    return 0;
  }
  virtual VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* program) {
    (void)channel, (void)program;
    return -1;
  }
  virtual VstInt32 getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category) {
    (void)channel, (void)category;
    return 0;
  }
  virtual bool hasMidiProgramsChanged(VstInt32 channel) {
    (void)channel;
    return false;
  }
  virtual bool getMidiKeyName(VstInt32 channel, MidiKeyName* keyName) {
    (void)channel, (void)keyName;
    return false;
  }
  virtual bool updateDisplay();
  virtual bool sizeWindow(VstInt32 width, VstInt32 height);
  virtual bool openFileSelector(VstFileSelect* selector);
  virtual bool closeFileSelector(VstFileSelect* selector);
  virtual VstInt32 getNextShellPlugin(char* name) {
    (void)name;
    return 0;
  }
  // Speaker-arrangement record utilities. This interface carries arrangements
  // only as opaque pointers, so these report that they did nothing.
  virtual bool allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 channels) {
    (void)arrangement, (void)channels;
    return false;
  }
  virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement) {
    (void)arrangement;
    return false;
  }
  virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
    (void)to, (void)from;
    return false;
  }
  virtual bool matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
    (void)to, (void)from;
    return false;
  }
  virtual bool offlineRead(VstOfflineTask* task, VstInt32 option, bool readSource = true);
  virtual bool offlineWrite(VstOfflineTask* task, VstInt32 option);
  virtual bool offlineStart(VstAudioFile* files, VstInt32 count, VstInt32 newCount);
  virtual VstInt32 offlineGetCurrentPass();
  virtual VstInt32 offlineGetCurrentMetaPass();
  virtual bool offlineNotify(VstAudioFile* files, VstInt32 count, bool start) {
    (void)files, (void)count, (void)start;
    return false;
  }
  virtual bool offlinePrepare(VstOfflineTask* task, VstInt32 count) {
    (void)task, (void)count;
    return false;
  }
  virtual bool offlineRun(VstOfflineTask* task, VstInt32 count) {
    (void)task, (void)count;
    return false;
  }
  virtual VstInt32 offlineGetNumPasses() { return 0; }
  virtual VstInt32 offlineGetNumMetaPasses() { return 0; }

  // Deprecated operations, kept in their places.
  virtual void wantEvents(VstInt32 filter = 1);
  virtual VstInt32 tempoAt(VstInt32 position);
  virtual VstInt32 getNumAutomatableParameters();
  virtual VstInt32 getParameterQuantization();
  virtual VstInt32 getNumCategories() { return 1; }
  virtual bool copyProgram(VstInt32 destination) {
    (void)destination;
    return false;
  }
  virtual bool needIdle();
  virtual AEffect* getPreviousPlug(VstInt32 input);
  virtual AEffect* getNextPlug(VstInt32 output);
  virtual void inputConnected(VstInt32 index, bool state) { (void)index, (void)state; }
  virtual void outputConnected(VstInt32 index, bool state) { (void)index, (void)state; }
  virtual VstInt32 willProcessReplacing();
  virtual void wantAsyncOperation(bool state = true) { setFlag(effFlagsExtIsAsync, state); }
  virtual void hasExternalBuffer(bool state = true) { setFlag(effFlagsExtHasBuffer, state); }
  virtual VstInt32 reportCurrentPosition() { return 0; }
  virtual float* reportDestinationBuffer() { return nullptr; }
  virtual void setOutputSamplerate(float rate);
  virtual VstSpeakerArrangement* getInputSpeakerArrangement();
  virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
  virtual VstInt32 openWindow(VstWindow* window);
  virtual VstInt32 closeWindow(VstWindow* window);
  virtual void setBlockSizeAndSampleRate(VstInt32 size, float rate) {
    blockSize = size;
    sampleRate = rate;
  }
  virtual bool getErrorText(char* text) {
    (void)text;
    return false;
  }
  virtual void* getIcon() { return nullptr; }
  virtual bool setViewPosition(VstInt32 x, VstInt32 y) {
    (void)x, (void)y;
    return false;
  }
  virtual VstInt32 fxIdle() { return 0; }
  virtual bool keysRequired() { return false; }
  virtual bool getChunkFile(void* nativePath);
};
