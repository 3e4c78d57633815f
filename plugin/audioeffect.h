// The effect base class: owns the AEffect record the host holds, turns the
// record's plain function entries into virtual calls, and wraps the calls the
// effect can make back to the host. Every operation has a harmless default.
#pragma once

#include "vst2.h"

// An editor window attached to an effect. This plug-in never attaches one; the
// interface exists so the dispatcher can forward the editor opcodes.
class AEffEditor {
 public:
  virtual ~AEffEditor() = default;
  virtual bool getRect(ERect** rect) {
    if (rect) *rect = nullptr;
    return false;
  }
  virtual bool open(void* window) {
    (void)window;
    return false;
  }
  virtual void close() {}
  virtual void idle() {}
  virtual bool onKeyDown(VstKeyCode& key) {
    (void)key;
    return false;
  }
  virtual bool onKeyUp(VstKeyCode& key) {
    (void)key;
    return false;
  }
  virtual bool setKnobMode(VstInt32 mode) {
    (void)mode;
    return false;
  }
};

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();

  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt);

  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}

  virtual void setSampleRate(float rate) { sampleRate = rate; }
  virtual void setBlockSize(VstInt32 size) { blockSize = size; }

  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {
    (void)inputs, (void)outputs, (void)sampleFrames;
  }

  virtual void setParameter(VstInt32 index, float value) { (void)index, (void)value; }
  virtual float getParameter(VstInt32 index) {
    (void)index;
    return 0.0f;
  }
  virtual void setParameterAutomated(VstInt32 index, float value);

  virtual VstInt32 getProgram() { return curProgram; }
  virtual void setProgram(VstInt32 program) { curProgram = program; }
  virtual void setProgramName(char* name) { (void)name; }
  virtual void getProgramName(char* name) { clearText(name); }

  virtual void getParameterLabel(VstInt32 index, char* label) { (void)index, clearText(label); }
  virtual void getParameterDisplay(VstInt32 index, char* text) { (void)index, clearText(text); }
  virtual void getParameterName(VstInt32 index, char* text) { (void)index, clearText(text); }

  virtual VstInt32 getChunk(void** data, bool isPreset) {
    (void)data, (void)isPreset;
    return 0;
  }
  virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    (void)data, (void)byteSize, (void)isPreset;
    return 0;
  }

  virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
  virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
  virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
  virtual void canDoubleReplacing(bool state = true) {
    setFlag(effFlagsCanDoubleReplacing, state);
  }
  virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
  virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

  virtual AEffEditor* getEditor() { return editor; }
  virtual AEffect* getAeffect() { return &cEffect; }
  virtual float getSampleRate() { return sampleRate; }
  virtual VstInt32 getBlockSize() { return blockSize; }

  virtual VstInt32 getMasterVersion();
  virtual VstInt32 getCurrentUniqueId();
  virtual void masterIdle();

  // Text conversions for parameter displays, each bounded by maxLen bytes
  // including the terminator.
  virtual void dB2string(float value, char* text, VstInt32 maxLen);
  virtual void Hz2string(float samples, char* text, VstInt32 maxLen);
  virtual void ms2string(float samples, char* text, VstInt32 maxLen);
  virtual void float2string(float value, char* text, VstInt32 maxLen);
  virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

  // Deprecated accumulating process and metering.
  virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    (void)inputs, (void)outputs, (void)sampleFrames;
  }
  virtual float getVu() { return 0.0f; }
  virtual void hasVu(bool state = true) { setFlag(effFlagsHasVu, state); }
  virtual void hasClip(bool state = true) { setFlag(effFlagsHasClip, state); }
  virtual void canMono(bool state = true) { setFlag(effFlagsCanMono, state); }
  virtual void setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }
  virtual void setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }
  virtual bool isInputConnected(VstInt32 input);
  virtual bool isOutputConnected(VstInt32 output);

 protected:
  // One call to the host with the effect's own record; 0 when there is no host.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f);
  void setFlag(VstInt32 flag, bool state) {
    if (state)
      cEffect.flags |= flag;
    else
      cEffect.flags &= ~flag;
  }
  static void clearText(char* text) {
    if (text) *text = 0;
  }

  audioMasterCallback audioMaster;
  AEffEditor* editor = nullptr;
  float sampleRate = 44100.0f;
  VstInt32 blockSize = 1024;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 curProgram = 0;
  AEffect cEffect;

 private:
  // The plain entries stored in the record.
  static VstIntPtr dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                 void* ptr, float opt);
  static void processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
  static void processReplacingEntry(AEffect* e, float** inputs, float** outputs,
                                    VstInt32 frames);
  static void processDoubleReplacingEntry(AEffect* e, double** inputs, double** outputs,
                                          VstInt32 frames);
  static void setParameterEntry(AEffect* e, VstInt32 index, float value);
  static float getParameterEntry(AEffect* e, VstInt32 index);
};

// Answers as the dispatcher hands them to the host: a bool becomes exactly 0
// or 1, a 32-bit answer is sign-extended to the pointer-sized result.
inline VstIntPtr boolAnswer(bool b) { return b ? 1 : 0; }
inline VstIntPtr intAnswer(VstInt32 v) { return static_cast<VstIntPtr>(v); }
