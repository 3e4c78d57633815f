// Placeholder parameter entries, compiled only while the real ones are absent.
#include <cstdio>

#include "vardo.h"
#include "voice.h"
#include "vst_ui.h"

void Vardo::setParameter(VstInt32 index, float value) {
  if (index < 0 || index >= fVstUI->size()) return;
  fVstUI->at(index)->setNormalized(value);
  for (Voice* voice : fVoices) voice->at(index)->setNormalized(value);
}
float Vardo::getParameter(VstInt32 index) {
  if (index < 0 || index >= fVstUI->size()) return 0.0f;
  return fVstUI->at(index)->getNormalized();
}
void Vardo::getParameterLabel(VstInt32, char* label) { label[0] = 0; }
void Vardo::getParameterDisplay(VstInt32 index, char* text) {
  if (index < 0 || index >= fVstUI->size()) {
    std::snprintf(text, 9, "IndexOut");
    return;
  }
  fVstUI->at(index)->getDisplay(text, 9);
}
void Vardo::getParameterName(VstInt32 index, char* text) {
  if (index < 0 || index >= fVstUI->size()) {
    std::snprintf(text, 9, "IndexOut");
    return;
  }
  fVstUI->at(index)->getLabel(text, 64);
}
bool Vardo::getParameterProperties(VstInt32, VstParameterProperties*) { return false; }
