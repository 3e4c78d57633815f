// The host's parameter calls: index i is entry i of the main table, and every
// value the host sets is mirrored into the same control of each voice.
#include <cstring>

#include "text_and_numbers.h"
#include "vardo.h"
#include "voice.h"
#include "vst_ui.h"

namespace {

// Hosts promise no more than 64 bytes for a parameter name or display text.
constexpr std::size_t kParameterTextCapacity = kVstMaxLabelLen;

void writeText(char* out, const char* text) { copyText(out, kParameterTextCapacity, text, true); }

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
  copyText(label, kVstMaxParamStrLen + 1, unit != nullptr ? unit->c_str() : "", true);
}

bool Vardo::getParameterProperties(VstInt32 index, VstParameterProperties* properties) {
  if (properties == nullptr || index < 0 || index >= fVstUI->size()) return false;
  if (index == fVstUI->fGateIndex) properties->flags |= kVstParameterIsSwitch;
  fVstUI->at(index)->getLabel(properties->label, sizeof properties->label);
  return true;
}
