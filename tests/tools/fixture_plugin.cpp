// Small VST 2.4 effects that the renderer's tests load in place of the real
// plug-in. FIXTURE_KIND selects which one this library is:
//   1  a delay: output 0 is input 0 delayed by kDelay samples and scaled by
//      the "Gain" parameter (host value x 2), output 1 is its negation;
//      it reports kDelay as its initialDelay. Its "Slow" parameter makes
//      every block take 2 ms, so a render can be interrupted part-way.
//   2  a library whose entry hands back a record without the 'VstP' magic.
//   3  a library with no VST entry at all.
#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstring>
#include <vector>

#include "vst2.h"

#if defined(_WIN32)
#define FIXTURE_EXPORT extern "C" __declspec(dllexport)
#else
#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#if FIXTURE_KIND == 1

namespace {

constexpr int kDelay = 100;
constexpr int kParamCount = 3;
constexpr const char* kParamNames[kParamCount] = {"Gain", "Mute", "Slow"};

struct DelayEffect {
  AEffect record{};
  float gain = 0.5f;  // host value; the signal gain is twice this
  float mute = 0.0f;
  float slow = 0.0f;
  std::vector<float> line = std::vector<float>(kDelay, 0.0f);
  int position = 0;
};

DelayEffect* self(AEffect* effect) { return static_cast<DelayEffect*>(effect->object); }

VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr,
                     float) {
  DelayEffect* e = self(effect);
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
    case effClose:
      delete e;
      return 1;
    case effGetParamName:
      std::strcpy(text, index >= 0 && index < kParamCount ? kParamNames[index] : "IndexOut");
      return 0;
    case effGetParamLabel:
      std::strcpy(text, index == 0 ? "x2" : "");
      return 0;
    case effGetParamDisplay:
      if (index == 0) std::snprintf(text, 16, "%.3f", 2.0 * e->gain);
      else std::strcpy(text, (index == 1 ? e->mute : e->slow) > 0.5f ? "ON" : "OFF");
      return 0;
    case effSetSampleRate:
      std::fill(e->line.begin(), e->line.end(), 0.0f);
      return 0;
    case effGetEffectName:
      std::strcpy(text, "Fixture Delay");
      return 1;
    case effGetVendorString:
      std::strcpy(text, "Fixture Works");
      return 1;
    case effGetVstVersion:
      return 2400;
    default:
      return 0;
  }
}

void setParameter(AEffect* effect, VstInt32 index, float value) {
  if (index == 0) self(effect)->gain = value;
  if (index == 1) self(effect)->mute = value;
  if (index == 2) self(effect)->slow = value;
}

float getParameter(AEffect* effect, VstInt32 index) {
  const DelayEffect* e = self(effect);
  return index == 0 ? e->gain : index == 1 ? e->mute : index == 2 ? e->slow : 0.0f;
}

void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  DelayEffect* e = self(effect);
  if (e->slow > 0.5f) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const float gain = e->mute > 0.5f ? 0.0f : 2.0f * e->gain;
  for (VstInt32 i = 0; i < frames; ++i) {
    const float delayed = e->line[static_cast<std::size_t>(e->position)];
    e->line[static_cast<std::size_t>(e->position)] = inputs[0][i];
    e->position = (e->position + 1) % kDelay;
    outputs[0][i] = gain * delayed;
    outputs[1][i] = -gain * delayed;
  }
}

}  // namespace

FIXTURE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
  if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  auto* e = new DelayEffect;
  AEffect& r = e->record;
  r.magic = kEffectMagic;
  r.dispatcher = dispatcher;
  r.setParameter = setParameter;
  r.getParameter = getParameter;
  r.processReplacing = processReplacing;
  r.numPrograms = 1;
  r.numParams = kParamCount;
  r.numInputs = 2;
  r.numOutputs = 2;
  r.flags = effFlagsCanReplacing;
  r.initialDelay = kDelay;
  r.object = e;
  r.uniqueID = fourCharCode('T', 'F', 'i', 'x');
  r.version = 1;
  return &r;
}

#elif FIXTURE_KIND == 2

FIXTURE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
  static AEffect record{};  // magic left at 0
  return &record;
}

#else

FIXTURE_EXPORT int fixtureWithoutEntry() { return 0; }

#endif
