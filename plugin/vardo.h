// The Vardo effect: adapts the DSP to the host. Owns the main DSP, its
// parameter table and ten voices for an instrument-style DSP.
#pragma once

#include <atomic>
#include <cstdint>

#include "audioeffectx.h"
#include "fixed_containers.h"

class dsp;
class vstUI;
class Voice;

class Vardo : public AudioEffectX {
 public:
  static constexpr int kVoiceCount = 10;
  // Pending note events beyond this many are dropped.
  static constexpr std::size_t kEventCapacity = 1024;
  // Scratch buffers are sized at creation and grow only on setBlockSize, up
  // to the largest size a block-size announcement may ask for; longer blocks
  // are rendered in pieces.
  static constexpr VstInt32 kInitialScratchFrames = 1024;
  static constexpr VstInt32 kMaxScratchFrames = 1 << 16;

  Vardo(audioMasterCallback audioMaster, dsp* mainDsp, vstUI* table);
  ~Vardo() override;

  // Effect path and configuration (vardo.cpp).
  void setSampleRate(float rate) override;
  void setBlockSize(VstInt32 size) override;
  void resume() override;
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
  bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
  VstInt32 getNumMidiInputChannels() override { return 1; }
  VstInt32 getNumMidiOutputChannels() override { return 0; }
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override;
  VstInt32 canDo(char* text) override;

  // Parameter surface (vardo_parameters.cpp).
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;
  bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) override;

  // MIDI, programs and the voice path (vardo_midi.cpp).
  void setProgram(VstInt32 program) override;
  void getProgramName(char* name) override;
  void setProgramName(char* name) override;
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
  VstInt32 processEvents(VstEvents* events) override;
  VstInt32 getMidiProgramName(VstInt32 channel, MidiProgramName* program) override;
  VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* program) override;
  VstInt32 getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category) override;

  // Diagnostic lines of the audio thread that standard error could not take
  // at once and that were dropped.
  std::uint64_t droppedLogLines() const { return fDroppedLogLines.load(std::memory_order_relaxed); }

 private:
  struct NoteVoice {
    int note = 0;
    int voice = 0;
  };

  void processVoices(float** inputs, float** outputs, VstInt32 frames);
  void renderVoices(float** inputs, float** outputs, VstInt32 start, VstInt32 count);
  void allNotesOff();
  void logFromAudioThread(const char* line);
  void growScratch(VstInt32 frames);

  dsp* fDSP;
  vstUI* fVstUI;
  int fCurNote = 0;
  int fCurVelocity = 0;
  int fCurDelta = 0;
  FixedFifo<int, kEventCapacity> fNoteQueue;
  FixedFifo<int, kEventCapacity> fVelocityQueue;
  FixedFifo<int, kEventCapacity> fDeltaQueue;
  char fProgramName[kVstMaxProgNameLen + 1];
  Voice* fVoices[kVoiceCount] = {};
  FixedList<NoteVoice, kVoiceCount> fPlayingNotes;
  FixedList<int, kVoiceCount> fReleasedVoices;
  FixedFifo<int, kVoiceCount> fFreeVoices;
  float** fOutBuffers = nullptr;
  VstInt32 fOutBufferFrames = kInitialScratchFrames;
  std::atomic<std::uint64_t> fDroppedLogLines{0};
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
