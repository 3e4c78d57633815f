// Placeholder parameter surface, compiled only while the real one is absent.
#include <cstdio>
#include <cstring>

#include "vst_ui.h"

vstUIObject::vstUIObject(const char* label, float* zone) : fLabel(label), fZone(zone) {}
void vstUIObject::getLabel(char* text, std::size_t capacity) const {
  std::snprintf(text, capacity, "%s", fLabel.c_str());
}
void vstUIObject::setNormalized(double value) { *fZone = static_cast<float>(value); }
void vstUIObject::setRealValue(double value) { *fZone = static_cast<float>(value); }
float vstUIObject::getNormalized() const { return *fZone; }
float vstUIObject::getRealValue() const { return *fZone; }
void vstUIObject::getDisplay(char* text, std::size_t capacity) const {
  std::snprintf(text, capacity, "%f", static_cast<double>(*fZone));
}
int vstUIObject::labelChecksum() const {
  int sum = 0;
  for (char c : fLabel) sum += static_cast<signed char>(c);
  return sum;
}

vstSlider::vstSlider(const char* label, float* zone, float init, float min, float max,
                     float step)
    : vstUIObject(label, zone), fInit(init), fMin(min), fMax(max), fStep(step), fPrecision(0) {}
void vstSlider::setNormalized(double value) {
  *fZone = static_cast<float>(fMin + value * (fMax - fMin));
}
void vstSlider::setRealValue(double value) { *fZone = static_cast<float>(value); }
float vstSlider::getNormalized() const { return (*fZone - fMin) / (fMax - fMin); }
void vstSlider::getDisplay(char* text, std::size_t capacity) const {
  vstUIObject::getDisplay(text, capacity);
}
void vstButton::setNormalized(double value) { *fZone = value > 0.5 ? 1.0f : 0.0f; }
void vstButton::getDisplay(char* text, std::size_t capacity) const {
  vstUIObject::getDisplay(text, capacity);
}
void vstCheckButton::setNormalized(double value) { *fZone = value > 0.5 ? 1.0f : 0.0f; }
void vstCheckButton::getDisplay(char* text, std::size_t capacity) const {
  vstUIObject::getDisplay(text, capacity);
}

void vstUI::openTabGroup(const char*) {}
void vstUI::openHorizontalGroup(const char*) {}
void vstUI::openGroup(const char*) {}
void vstUI::closeGroup() {}
void vstUI::declareButton(const char* label, float* zone) {
  fUITable.push_back(std::make_unique<vstButton>(label, zone));
}
void vstUI::declareCheckButton(const char* label, float* zone) {
  fUITable.push_back(std::make_unique<vstCheckButton>(label, zone));
}
void vstUI::declareVerticalSlider(const char* label, float* zone, float init, float min,
                                  float max, float step) {
  fUITable.push_back(std::make_unique<vstSlider>(label, zone, init, min, max, step));
}
void vstUI::declareSlider(const char* label, float* zone, float init, float min, float max,
                          float step) {
  fUITable.push_back(std::make_unique<vstSlider>(label, zone, init, min, max, step));
}
void vstUI::declareNumberEntry(const char* label, float* zone, float init, float min, float max,
                               float step) {
  fUITable.push_back(std::make_unique<vstSlider>(label, zone, init, min, max, step));
}
void vstUI::addHorizontalMeter(const char*, float*, float, float) {}
void vstUI::addVerticalMeter(const char*, float*, float, float) {}
void vstUI::addSoundFile(const char*, const char*, void**) {}
void vstUI::declareControlMeta(float* zone, const char* key, const char* value) {
  fMetaData[zone][key] = value;
}
const std::string* vstUI::metadata(int, const std::string&) const { return nullptr; }
