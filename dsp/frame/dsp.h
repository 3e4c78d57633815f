// The DSP interface the plug-in shell drives: one object per voice or effect,
// initialised for a sample rate, declaring its controls to a UI builder and
// processing replacing blocks of 32-bit float samples.
#pragma once

class UI;
class MetaTable;

class dsp {
 public:
  virtual ~dsp() = default;
  virtual int inputCount() = 0;
  virtual int outputCount() = 0;
  virtual void declareControls(UI* builder) = 0;
  virtual int sampleRate() = 0;
  virtual void initialize(int rate) = 0;
  virtual void initializeInstance(int rate) = 0;
  virtual void computeRateConstants(int rate) = 0;
  virtual void resetControls() = 0;
  virtual void clearState() = 0;
  virtual dsp* cloneFresh() = 0;
  virtual void declareMetadata(MetaTable* collector) = 0;
  virtual void computeBlock(int count, float** inputs, float** outputs) = 0;
  virtual void computeBlockAt(double timeStamp, int count, float** inputs, float** outputs) = 0;
  virtual int inputRate(int channel) = 0;
  virtual int outputRate(int channel) = 0;
};
