#include "vst_ui.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "control_access.h"
#include "text_and_numbers.h"

namespace {

// v limited to [0, 1]; NaN counts as 0.
float clampUnit(double v) {
  if (!(v > 0.0)) return 0.0f;
  if (v > 1.0) return 1.0f;
  return static_cast<float>(v);
}

// A host value as float: values beyond the float range become infinities
// (the conversion itself would be undefined), all others convert as usual.
float toFloat(double v) {
  if (v > static_cast<double>(FLT_MAX)) return INFINITY;
  if (v < -static_cast<double>(FLT_MAX)) return -INFINITY;
  return static_cast<float>(v);
}

// v limited to [lo, hi]; anything not at or above lo, NaN included, gives lo.
float clampRange(float v, float lo, float hi) {
  if (!(v >= lo)) return lo;
  if (v > hi) return hi;
  return v;
}

// Decimals shown for a slider: the smallest p in 0..5 for which step times
// ten, p times over in float, is whole; 6 when there is none.
int precisionOf(float step) {
  float x = step;
  int p = 0;
  while (x != std::floor(x) && p < 5) {
    x = x * 10.0f;
    ++p;
  }
  if (x != std::floor(x)) p = 6;
  return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// vstUIObject: a control whose host value is its field value, within [0, 1].

vstUIObject::vstUIObject(const char* label, float* zone)
    : fLabel(label != nullptr ? label : ""), fZone(zone) {}

void vstUIObject::getLabel(char* text, std::size_t capacity) const {
  copyText(text, capacity, fLabel.c_str());
}

void vstUIObject::setNormalized(double value) { storeControl(fZone, clampUnit(value)); }

void vstUIObject::setRealValue(double value) { storeControl(fZone, clampUnit(value)); }

float vstUIObject::getNormalized() const { return loadControl(fZone); }

float vstUIObject::getRealValue() const { return loadControl(fZone); }

void vstUIObject::getDisplay(char* text, std::size_t capacity) const {
  if (text == nullptr || capacity == 0) return;
  std::snprintf(text, capacity, "%f", static_cast<double>(loadControl(fZone)));
}

int vstUIObject::labelChecksum() const {
  int sum = 0;
  for (char c : fLabel) sum += static_cast<signed char>(c);
  return sum;
}

// ---------------------------------------------------------------------------
// vstSlider: host values 0 ... 1 map linearly onto [fMin, fMax].

vstSlider::vstSlider(const char* label, float* zone, float init, float min, float max, float step)
    : vstUIObject(label, zone),
      fInit(init),
      fMin(min),
      fMax(max),
      fStep(step),
      fPrecision(precisionOf(step)) {}

void vstSlider::setNormalized(double value) {
  const float mapped = toFloat(value) * (fMax - fMin) + fMin;
  storeControl(fZone, clampRange(mapped, fMin, fMax));
}

void vstSlider::setRealValue(double value) {
  storeControl(fZone, clampRange(toFloat(value), fMin, fMax));
}

float vstSlider::getNormalized() const {
  const float range = fMax - fMin;
  // A slider declared with no range has only one position.
  if (!(range > 0.0f)) return 0.0f;
  return (loadControl(fZone) - fMin) / range;
}

void vstSlider::getDisplay(char* text, std::size_t capacity) const {
  if (text == nullptr || capacity == 0) return;
  const float value = loadControl(fZone);
  if (fPrecision > 0)
    std::snprintf(text, capacity, "%.*f", fPrecision, static_cast<double>(value));
  else
    std::snprintf(text, capacity, "%d", truncateToInt(value));
}

// ---------------------------------------------------------------------------
// Buttons: on above one half, off otherwise.

void vstButton::setNormalized(double value) { storeControl(fZone, value > 0.5 ? 1.0f : 0.0f); }

void vstButton::getDisplay(char* text, std::size_t capacity) const {
  copyText(text, capacity, loadControl(fZone) > 0.5f ? "ON" : "OFF");
}

void vstCheckButton::setNormalized(double value) {
  storeControl(fZone, value > 0.5 ? 1.0f : 0.0f);
}

void vstCheckButton::getDisplay(char* text, std::size_t capacity) const {
  copyText(text, capacity, loadControl(fZone) > 0.5f ? "ON" : "OFF");
}

// ---------------------------------------------------------------------------
// vstUI: the builder. Layout calls carry no parameters.

void vstUI::openTabGroup(const char*) {}
void vstUI::openHorizontalGroup(const char*) {}
void vstUI::openGroup(const char*) {}
void vstUI::closeGroup() {}

void vstUI::declareButton(const char* label, float* zone) {
  fUITable.push_back(std::make_unique<vstButton>(label, zone));
  if (label != nullptr && std::strcmp(label, "gate") == 0) fGateIndex = size() - 1;
}

void vstUI::declareCheckButton(const char* label, float* zone) {
  fUITable.push_back(std::make_unique<vstCheckButton>(label, zone));
}

void vstUI::declareVerticalSlider(const char* label, float* zone, float init, float min, float max,
                                  float step) {
  fUITable.push_back(std::make_unique<vstSlider>(label, zone, init, min, max, step));
  if (label == nullptr) return;
  // The controls an instrument's voice is driven through.
  const int index = size() - 1;
  if (std::strcmp(label, "gain") == 0)
    fGainIndex = index;
  else if (std::strcmp(label, "gate") == 0)
    fGateIndex = index;
  else if (std::strcmp(label, "freq") == 0)
    fFreqIndex = index;
  else if (std::strcmp(label, "prevfreq") == 0)
    fPrevFreqIndex = index;
  else if (std::strcmp(label, "pitchbend") == 0)
    fPitchbendIndex = index;
}

void vstUI::declareSlider(const char* label, float* zone, float init, float min, float max,
                          float step) {
  declareVerticalSlider(label, zone, init, min, max, step);
}

void vstUI::declareNumberEntry(const char* label, float* zone, float init, float min, float max,
                               float step) {
  declareVerticalSlider(label, zone, init, min, max, step);
}

void vstUI::addHorizontalMeter(const char*, float*, float, float) {}
void vstUI::addVerticalMeter(const char*, float*, float, float) {}
void vstUI::addSoundFile(const char*, const char*, void**) {}

void vstUI::declareControlMeta(float* zone, const char* key, const char* value) {
  fMetaData[zone][key != nullptr ? key : ""] = value != nullptr ? value : "";
}

const std::string* vstUI::metadata(int index, const std::string& key) const {
  if (index < 0 || index >= size()) return nullptr;
  const auto zoneEntry = fMetaData.find(at(index)->zone());
  if (zoneEntry == fMetaData.end()) return nullptr;
  const auto keyEntry = zoneEntry->second.find(key);
  return keyEntry == zoneEntry->second.end() ? nullptr : &keyEntry->second;
}
