// The host's parameter calls: index i is entry i of the main table, and every
// value the host sets is mirrored into the same control of each voice.
#include <cstring>

#include "vardo.h"
#include "voice.h"
#include "vst_ui.h"

namespace {

// Hosts promise no more than 64 bytes for a parameter name or display text.
constexpr std::size_t kParameterTextCapacity = kVstMaxLabelLen;

void writeText(char* out, const char* text) {
  if (out == nullptr) return;
  std::strncpy(out, text, kParameterTextCapacity - 1);
  out[kParameterTextCapacity - 1] = '\0';
}

}  // namespace

void Vardo::setParameter(VstInt32 index, float value) {
  if (index < 0 || index >= fVstUI->size()) return;
  fVstUI->at(index)->setNormalized(value);
  for (Voice* voice : fVoices)
    if (voice != nullptr && index < voice->size()) voice->at(index)->setNormalized(value);
}

float Vardo::getParameter(VstInt32 index) {
  if (index < 0 || index >= fVstUI->size()) return 0.0f;
  return fVstUI->at(index)->getNormalized();
}

void Vardo::getParameterName(VstInt32 index, char* text) {
  if (text == nullptr) return;
  if (index < 0 || index >= fVstUI->size()) {
    writeText(text, "IndexOut");
    return;
  }
  fVstUI->at(index)->getLabel(text, kParameterTextCapacity);
}

void Vardo::getParameterDisplay(VstInt32 index, char* text) {
  if (text == nullptr) return;
  if (index < 0 || index >= fVstUI->size()) {
    writeText(text, "IndexOut");
    return;
  }
  fVstUI->at(index)->getDisplay(text, kParameterTextCapacity);
}

void Vardo::getParameterLabel(VstInt32 index, char* label) {
  if (label == nullptr) return;
  // The unit, cut to the nominal 8 characters; the remainder is zero-filled.
  const std::string* unit = fVstUI->metadata(index, "unit");
  std::strncpy(label, unit != nullptr ? unit->c_str() : "", kVstMaxParamStrLen);
  label[kVstMaxParamStrLen] = '\0';
}

bool Vardo::getParameterProperties(VstInt32 index, VstParameterProperties* properties) {
  if (properties == nullptr || index < 0 || index >= fVstUI->size()) return false;
  if (index == fVstUI->fGateIndex) properties->flags |= kVstParameterIsSwitch;
  fVstUI->at(index)->getLabel(properties->label, sizeof properties->label);
  return true;
}
