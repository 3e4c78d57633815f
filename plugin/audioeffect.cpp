#include "audioeffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

AudioEffect* owner(AEffect* e) { return e ? static_cast<AudioEffect*>(e->object) : nullptr; }

// Bounded formatted text: never more than maxLen bytes, terminator included.
template <typename... Args>
void boundedFormat(char* text, VstInt32 maxLen, const char* format, Args... args) {
  if (!text || maxLen < 1) return;
  std::snprintf(text, static_cast<std::size_t>(maxLen), format, args...);
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback master, VstInt32 programs, VstInt32 params)
    : audioMaster(master), numPrograms(programs), numParams(params) {
  std::memset(&cEffect, 0, sizeof cEffect);
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = &dispatchEntry;
  cEffect.process = &processEntry;
  cEffect.setParameter = &setParameterEntry;
  cEffect.getParameter = &getParameterEntry;
  cEffect.numPrograms = programs;
  cEffect.numParams = params;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = effFlagsCanReplacing;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.uniqueID = fourCharCode('N', 'o', 'E', 'f');
  cEffect.version = 1;
  cEffect.processReplacing = &processReplacingEntry;
  cEffect.processDoubleReplacing = &processDoubleReplacingEntry;
}

AudioEffect::~AudioEffect() { delete editor; }

// ---------------------------------------------------------------------------
// Record entries

// No exception may cross into the host: an operation that fails that way
// answers 0, like an opcode that is not handled.
VstIntPtr AudioEffect::dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt) {
  AudioEffect* effect = owner(e);
  if (!effect) return 0;
  if (opcode == effClose) {
    try {
      effect->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
    }
    delete effect;
    return 1;
  }
  try {
    return effect->dispatcher(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

// The base versions of these operations do nothing (getParameter answers 0),
// so an effect that keeps them gets exactly that from its record.
void AudioEffect::processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
  if (AudioEffect* effect = owner(e)) effect->process(inputs, outputs, frames);
}

void AudioEffect::processReplacingEntry(AEffect* e, float** inputs, float** outputs,
                                        VstInt32 frames) {
  if (AudioEffect* effect = owner(e)) effect->processReplacing(inputs, outputs, frames);
}

void AudioEffect::processDoubleReplacingEntry(AEffect* e, double** inputs, double** outputs,
                                              VstInt32 frames) {
  if (AudioEffect* effect = owner(e)) effect->processDoubleReplacing(inputs, outputs, frames);
}

void AudioEffect::setParameterEntry(AEffect* e, VstInt32 index, float value) {
  if (AudioEffect* effect = owner(e)) effect->setParameter(index, value);
}

float AudioEffect::getParameterEntry(AEffect* e, VstInt32 index) {
  AudioEffect* effect = owner(e);
  return effect ? effect->getParameter(index) : 0.0f;
}

// ---------------------------------------------------------------------------
// Opcodes 0 ... 24

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
  switch (opcode) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      if (value < numPrograms) setProgram(static_cast<VstInt32>(value));
      return 0;
    case effGetProgram:
      return intAnswer(getProgram());
    case effSetProgramName:
      setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<VstInt32>(value));
      return 0;
    case effMainsChanged:
      if (value)
        resume();
      else
        suspend();
      return 0;
    case effEditGetRect:
      if (editor) editor->getRect(static_cast<ERect**>(ptr));
      return 0;
    case effEditOpen:
      if (editor) editor->open(ptr);
      return 0;
    case effEditClose:
      if (editor) editor->close();
      return 0;
    case effEditIdle:
      if (editor) editor->idle();
      return 0;
    case effIdentify:
      return fourCharCode('N', 'v', 'E', 'f');
    case effGetChunk:
      return intAnswer(getChunk(static_cast<void**>(ptr), index != 0));
    case effSetChunk:
      return intAnswer(setChunk(ptr, static_cast<VstInt32>(value), index != 0));
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------
// Host calls

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
  return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
  const auto answer = static_cast<VstInt32>(callHost(audioMasterVersion));
  return answer == 0 ? 1 : answer;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
  return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

// The host answers 0 for a connected pin; without a host every pin counts as connected.
bool AudioEffect::isInputConnected(VstInt32 input) {
  return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
  return callHost(audioMasterPinConnected, output, 1) == 0;
}

// ---------------------------------------------------------------------------
// Text conversions

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
  if (value <= 0.0f)
    boundedFormat(text, maxLen, "%s", "-oo");
  else
    boundedFormat(text, maxLen, "%.2f", 20.0 * std::log10(static_cast<double>(value)));
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
  if (samples == 0.0f)
    boundedFormat(text, maxLen, "%s", "0");
  else
    boundedFormat(text, maxLen, "%.2f",
                  static_cast<double>(sampleRate) / static_cast<double>(samples));
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
  if (sampleRate == 0.0f)
    boundedFormat(text, maxLen, "%s", "0");
  else
    boundedFormat(text, maxLen, "%.2f",
                  static_cast<double>(samples) * 1000.0 / static_cast<double>(sampleRate));
}

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
  boundedFormat(text, maxLen, "%.2f", static_cast<double>(value));
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
  boundedFormat(text, maxLen, "%d", static_cast<int>(value));
}
