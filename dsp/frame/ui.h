// The control-declaration builder: a DSP describes each of its controls (a
// 32-bit float field, its "zone") to a builder, which the shell turns into
// host parameters.
#pragma once

template <typename REAL>
class UIReal {
 public:
  virtual ~UIReal() = default;
  virtual void openTabGroup(const char* label) = 0;
  virtual void openHorizontalGroup(const char* label) = 0;
  virtual void openGroup(const char* label) = 0;
  virtual void closeGroup() = 0;
  virtual void declareButton(const char* label, REAL* zone) = 0;
  virtual void declareCheckButton(const char* label, REAL* zone) = 0;
  virtual void declareVerticalSlider(const char* label, REAL* zone, REAL init, REAL min, REAL max,
                                     REAL step) = 0;
  virtual void declareSlider(const char* label, REAL* zone, REAL init, REAL min, REAL max,
                             REAL step) = 0;
  virtual void declareNumberEntry(const char* label, REAL* zone, REAL init, REAL min, REAL max,
                                  REAL step) = 0;
  virtual void addHorizontalMeter(const char* label, REAL* zone, REAL min, REAL max) = 0;
  virtual void addVerticalMeter(const char* label, REAL* zone, REAL min, REAL max) = 0;
  virtual void addSoundFile(const char* label, const char* url, void** soundFile) = 0;
  virtual void declareControlMeta(REAL* zone, const char* key, const char* value) = 0;
};

class UI : public UIReal<float> {};
