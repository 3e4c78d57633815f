// A small instrument for exercising the voice path: no audio inputs, the five
// voice controls, and outputs that show what a voice is doing. Channel 0
// carries the voice's level (gain while the gate is held, then a short linear
// release); channel 1 carries the bent frequency in kHz times that level.
#pragma once

#include <cmath>
#include <vector>

#include "control_access.h"
#include "dsp.h"
#include "meta_table.h"
#include "ui.h"

class InstrumentDsp : public dsp {
 public:
  static constexpr int kReleaseSamples = 16;

  explicit InstrumentDsp(int outputs = 2) : fOutputs(outputs) {}

  int inputCount() override { return 0; }
  int outputCount() override { return fOutputs; }
  void declareControls(UI* ui) override {
    ui->openGroup("instrument");
    ui->declareSlider("freq", &freq, 440.0f, 20.0f, 20000.0f, 1.0f);
    ui->declareSlider("gain", &gain, 0.5f, 0.0f, 1.0f, 0.01f);
    ui->declareButton("gate", &gate);
    ui->declareSlider("prevfreq", &prevfreq, 0.0f, 0.0f, 20000.0f, 1.0f);
    ui->declareSlider("pitchbend", &pitchbend, 0.0f, -1.0f, 1.0f, 0.001f);
    ui->declareSlider("brightness", &brightness, 0.25f, 0.0f, 1.0f, 0.01f);
    ui->closeGroup();
  }
  int sampleRate() override { return fRate; }
  void initialize(int rate) override { initializeInstance(rate); }
  void initializeInstance(int rate) override {
    computeRateConstants(rate);
    resetControls();
    clearState();
  }
  void computeRateConstants(int rate) override { fRate = rate; }
  void resetControls() override {
    freq = 440.0f;
    gain = 0.5f;
    gate = 0.0f;
    prevfreq = 0.0f;
    pitchbend = 0.0f;
    brightness = 0.25f;
  }
  void clearState() override {
    fReleaseLeft = 0;
    renderedSamples = 0;
    largestBlock = 0;
  }
  // Clones are the voices' DSPs; the original lists them, in creation order,
  // so a test can look at each voice's controls (they belong to the voices).
  dsp* cloneFresh() override {
    auto* clone = new InstrumentDsp(fOutputs);
    clones.push_back(clone);
    return clone;
  }
  void declareMetadata(MetaTable* m) override { m->declare("name", "test instrument"); }

  void computeBlock(int count, float**, float** outputs) override {
    const float g = loadControl(&gain);
    const bool held = loadControl(&gate) > 0.5f;
    const float bent =
        loadControl(&freq) * static_cast<float>(std::pow(2.0, loadControl(&pitchbend) / 6.0));
    if (count > largestBlock) largestBlock = count;
    for (int i = 0; i < count; ++i) {
      if (held)
        fReleaseLeft = kReleaseSamples;
      else if (fReleaseLeft > 0)
        --fReleaseLeft;
      const float level = g * static_cast<float>(fReleaseLeft) / kReleaseSamples;
      outputs[0][i] = level;
      if (fOutputs > 1) outputs[1][i] = level * bent / 1000.0f;
    }
    renderedSamples += count;
  }
  void computeBlockAt(double, int count, float** inputs, float** outputs) override {
    computeBlock(count, inputs, outputs);
  }
  int inputRate(int) override { return -1; }
  int outputRate(int channel) override { return channel >= 0 && channel < fOutputs ? 1 : -1; }

  // Controls, as declared.
  float freq = 0.0f;
  float gain = 0.0f;
  float gate = 0.0f;
  float prevfreq = 0.0f;
  float pitchbend = 0.0f;
  float brightness = 0.0f;

  // What the tests read.
  std::vector<InstrumentDsp*> clones;
  long renderedSamples = 0;
  int largestBlock = 0;

 private:
  int fOutputs;
  int fRate = 0;
  int fReleaseLeft = 0;
};
