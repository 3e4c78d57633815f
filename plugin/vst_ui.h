// The parameter surface: a UI builder that turns each control a DSP declares
// into a host parameter object, in declaration order.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui.h"

// A host parameter bound to one DSP control field. Host values are 0 ... 1.
class vstUIObject {
 public:
  vstUIObject(const char* label, float* zone);
  virtual ~vstUIObject() = default;
  // Copies the label into text, at most capacity bytes with the terminator.
  virtual void getLabel(char* text, std::size_t capacity) const;
  virtual void setNormalized(double value);
  virtual void setRealValue(double value);
  virtual float getNormalized() const;
  virtual float getRealValue() const;
  virtual void getDisplay(char* text, std::size_t capacity) const;
  virtual int labelChecksum() const;

  const std::string& label() const { return fLabel; }
  float* zone() const { return fZone; }

 protected:
  std::string fLabel;
  float* fZone;
};

class vstSlider : public vstUIObject {
 public:
  vstSlider(const char* label, float* zone, float init, float min, float max, float step);
  void setNormalized(double value) override;
  void setRealValue(double value) override;
  float getNormalized() const override;
  void getDisplay(char* text, std::size_t capacity) const override;

  int precision() const { return fPrecision; }
  float minimum() const { return fMin; }
  float maximum() const { return fMax; }
  float initial() const { return fInit; }
  float step() const { return fStep; }

 private:
  float fInit;
  float fMin;
  float fMax;
  float fStep;
  int fPrecision;
};

class vstButton : public vstUIObject {
 public:
  using vstUIObject::vstUIObject;
  void setNormalized(double value) override;
  void getDisplay(char* text, std::size_t capacity) const override;
};

class vstCheckButton : public vstUIObject {
 public:
  using vstUIObject::vstUIObject;
  void setNormalized(double value) override;
  void getDisplay(char* text, std::size_t capacity) const override;
};

// Stores a value given in the control's own units, as hosts that speak in
// real values (LV2 control ports) send it: a slider clamps it into its range
// (NaN gives the minimum), a button or check button is on above one half,
// just as for the same value sent normalised.
void setPlainValue(vstUIObject& control, double value);

class vstUI : public UI {
 public:
  vstUI() = default;
  ~vstUI() override = default;

  void openTabGroup(const char* label) override;
  void openHorizontalGroup(const char* label) override;
  void openGroup(const char* label) override;
  void closeGroup() override;
  void declareButton(const char* label, float* zone) override;
  void declareCheckButton(const char* label, float* zone) override;
  void declareVerticalSlider(const char* label, float* zone, float init, float min, float max,
                             float step) override;
  void declareSlider(const char* label, float* zone, float init, float min, float max,
                     float step) override;
  void declareNumberEntry(const char* label, float* zone, float init, float min, float max,
                          float step) override;
  void addHorizontalMeter(const char* label, float* zone, float min, float max) override;
  void addVerticalMeter(const char* label, float* zone, float min, float max) override;
  void addSoundFile(const char* label, const char* url, void** soundFile) override;
  void declareControlMeta(float* zone, const char* key, const char* value) override;

  int size() const { return static_cast<int>(fUITable.size()); }
  vstUIObject* at(int index) const { return fUITable[static_cast<std::size_t>(index)].get(); }
  // The metadata value stored for a control under key, or null.
  const std::string* metadata(int index, const std::string& key) const;

  int fFreqIndex = -1;
  int fGainIndex = -1;
  int fGateIndex = -1;
  int fPrevFreqIndex = -1;
  int fPitchbendIndex = -1;

 protected:
  std::vector<std::unique_ptr<vstUIObject>> fUITable;
  std::map<const float*, std::map<std::string, std::string>> fMetaData;
};
