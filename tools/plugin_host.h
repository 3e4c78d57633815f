// Loading a VST 2.4 plug-in library and driving one effect instance the way a
// DAW does: entry call, opcode dispatch, parameters and replacing blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "vst2.h"

namespace vardo::tools {

// Every failure the renderer reports carries the process exit status that
// names its kind, so scripts can tell a missing file from a bad parameter.
enum class ExitStatus : int {
  ok = 0,
  failure = 1,       // one or more files of a batch failed
  usage = 2,         // malformed command line
  inputFile = 3,     // missing or unreadable input
  format = 4,        // unsupported audio format or bit depth
  parameter = 5,     // unknown parameter or value out of range
  plugin = 6,        // library missing or not a VST 2.4 plug-in
  write = 7,         // the output could not be written
  exists = 8,        // the output exists and was not to be replaced
  damaged = 9,       // the input is cut short or unreadable midway; its readable part rendered
};

class ToolError : public std::runtime_error {
 public:
  ToolError(ExitStatus status, const std::string& message)
      : std::runtime_error(message), fStatus(status) {}
  ExitStatus status() const { return fStatus; }

 private:
  ExitStatus fStatus;
};

// A loaded shared library that exports VSTPluginMain. Shared by every
// instance made from it; unloaded when the last owner goes.
class PluginLibrary {
 public:
  static std::shared_ptr<PluginLibrary> open(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::string& path() const { return fPath; }
  VstPluginMainProc entry() const { return fEntry; }

 private:
  PluginLibrary(std::string path, void* handle, VstPluginMainProc entry)
      : fPath(std::move(path)), fHandle(handle), fEntry(entry) {}
  std::string fPath;
  void* fHandle;
  VstPluginMainProc fEntry;
};

// The plug-in's library for this executable: <exe dir>/../lib/vst/vardo.so
// when installed, otherwise <exe dir>/../plugin/vardo.so as the build tree
// lays them out (vardo.dll on Windows).
std::string defaultPluginPath();

// Where the installed manual is, found beside the program as the plug-in is;
// a description of where to look when this copy is not installed.
std::string manualPath();

// One effect instance with the host side of the conversation: it answers the
// plug-in's callbacks with this instance's sample rate and block size.
class PluginInstance {
 public:
  explicit PluginInstance(std::shared_ptr<PluginLibrary> library);
  ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  AEffect* effect() const { return fEffect; }
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f) const;

  // Configuration, as a host does it before turning the effect on. Setting the
  // rate may reset the plug-in's parameters, so parameters come after it.
  void configure(double sampleRate, int blockSize);
  void resume();   // effMainsChanged 1 and effStartProcess
  void suspend();  // effStopProcess and effMainsChanged 0

  int numInputs() const { return fEffect->numInputs; }
  int numOutputs() const { return fEffect->numOutputs; }
  int numParams() const { return fEffect->numParams; }
  int initialDelay() const { return fEffect->initialDelay; }
  VstInt32 uniqueId() const { return fEffect->uniqueID; }

  std::string effectName() const;
  std::string vendorString() const;
  std::string productString() const;
  std::string parameterName(int index) const;
  std::string parameterLabel(int index) const;
  std::string parameterDisplay(int index) const;
  float parameter(int index) const;
  void setParameter(int index, float normalised) const;

  void processReplacing(float** inputs, float** outputs, int frames) const;

  double sampleRate() const { return fSampleRate; }
  int blockSize() const { return fBlockSize; }

 private:
  static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                VstIntPtr value, void* ptr, float opt);
  std::string textQuery(VstInt32 opcode, VstInt32 index) const;

  std::shared_ptr<PluginLibrary> fLibrary;
  AEffect* fEffect = nullptr;
  double fSampleRate = 44100.0;
  int fBlockSize = 512;
  bool fRunning = false;
};

}  // namespace vardo::tools
