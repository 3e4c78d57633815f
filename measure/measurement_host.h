// A minimal VST 2.4 host for measurement, shared by the benchmark and the
// tests: loads the built plug-in library the way a DAW does (dlopen, dlsym
// "VSTPluginMain") and drives it only through the AEffect record's entries.
// Every call the plug-in makes back to the host is recorded.
//
//   MeasurementHost host;                // VARDO_PLUGIN_PATH by default
//   AEffect* effect = host.open();       // answers audioMasterVersion with 2400
//   ASSERT_NE(effect, nullptr) << host.error();
//   host.startup(48000.0f, 512);         // effOpen, rate, block size, mains on
//   host.setParameter(0, 0.5f);
//   std::vector<float> left, right;
//   host.processMono(signal, 512, left, right);
//   host.dispatch(effGetEffectName, 0, 0, buffer);
//   host.countCalls(audioMasterWantMidi);
//   // the destructor sends effClose if still open and unloads the library
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "vst2.h"

namespace vardo::measure {

// One call from the plug-in to the host callback.
struct HostCall {
  VstInt32 opcode = 0;
  VstInt32 index = 0;
  VstIntPtr value = 0;
  float opt = 0.0f;
  bool hadEffect = false;  // the call carried a record pointer
};

class MeasurementHost {
 public:
  explicit MeasurementHost(std::string path = VARDO_PLUGIN_PATH);
  ~MeasurementHost();
  MeasurementHost(const MeasurementHost&) = delete;
  MeasurementHost& operator=(const MeasurementHost&) = delete;

  // Loads the library (once) and calls VSTPluginMain. The host answers
  // audioMasterVersion with versionAnswer. Null on failure; see error().
  AEffect* open(VstIntPtr versionAnswer = 2400);
  // effOpen, effSetSampleRate, effSetBlockSize, effMainsChanged 1.
  void startup(float sampleRate = 44100.0f, VstInt32 blockSize = 512);

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f);
  void setParameter(VstInt32 index, float value);
  float getParameter(VstInt32 index);
  // Texts read into a zeroed buffer of 256 bytes.
  std::string parameterName(VstInt32 index);
  std::string parameterDisplay(VstInt32 index);
  std::string parameterLabel(VstInt32 index);
  std::string textOf(VstInt32 opcode, VstInt32 index = 0);

  // One replacing call with the caller's buffers.
  void process(float** inputs, float** outputs, VstInt32 frames);
  // Runs input (channel 0; channel 1 silent) through in blocks of blockSize
  // frames; out0 and out1 receive the two outputs, input.size() samples each.
  void processMono(const std::vector<float>& input, int blockSize, std::vector<float>& out0,
                   std::vector<float>& out1);

  // effClose through the record; answers what the plug-in answered. The
  // record is invalid afterwards.
  VstIntPtr close();

  AEffect* effect() const { return fEffect; }
  const std::string& error() const { return fError; }
  const std::string& path() const { return fPath; }

  // The host's answer for an opcode other than audioMasterVersion (default 0).
  void setAnswer(VstInt32 opcode, VstIntPtr answer);
  std::vector<HostCall> calls() const;
  int countCalls(VstInt32 opcode) const;
  void clearCalls();

 private:
  static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt);
  VstIntPtr answer(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                   float opt);
  bool load();

  std::string fPath;
  std::string fError;
  void* fLibrary = nullptr;
  AEffect* fEffect = nullptr;
  VstIntPtr fVersionAnswer = 2400;
  std::unordered_map<VstInt32, VstIntPtr> fAnswers;
  mutable std::mutex fMutex;
  std::vector<HostCall> fCalls;
};

}  // namespace vardo::measure
