#include "controls.h"

#include "control_access.h"
#include "meta_table.h"
#include "ui.h"

ControlFields snapshotControls(const ControlFields& fields) {
  ControlFields copy;
  const float* from = &fields.lowpassFilter;
  float* to = &copy.lowpassFilter;
  for (int i = 0; i < kControlCount; ++i) to[i] = loadControl(from + i);
  return copy;
}

void declareControlFields(UI* ui, ControlFields& f) {
  ui->openGroup("Tovrel_KORVA-MX31f7");
  ui->declareSlider("Lowpass Filter", &f.lowpassFilter, 9600.0f, 1000.0f, 15000.0f, 100.0f);
  ui->declareControlMeta(&f.disableVezeEq, "controls", "00");
  ui->declareCheckButton("Disable VEZE EQ", &f.disableVezeEq);
  ui->declareControlMeta(&f.autoEqThreshold, "controls", "05");
  ui->declareSlider("Auto-EQ Threshold", &f.autoEqThreshold, -60.0f, -90.0f, 0.0f, 1.0f);
  ui->declareControlMeta(&f.autoEqDensityLimit, "controls", "06");
  ui->declareSlider("Auto-EQ Density Limit Threshold", &f.autoEqDensityLimit, -3.0f, -30.0f, 0.0f,
                    1.0f);
  ui->declareControlMeta(&f.noisegateGain, "controls", "10");
  ui->declareSlider("Noisegate Gain dB", &f.noisegateGain, 55.0f, 0.0f, 70.0f, 1.0f);
  ui->declareControlMeta(&f.expanderGainTrim, "controls", "25");
  ui->declareSlider("Stereo Expander Gain Trim", &f.expanderGainTrim, 0.0f, -12.0f, 12.0f, 1.0f);
  ui->declareControlMeta(&f.expanderLimitPercent, "controls", "27");
  ui->declareSlider("Stereo Expander Limit in Percent", &f.expanderLimitPercent, 170.0f, 0.0f,
                    200.0f, 1.0f);
  ui->declareControlMeta(&f.expanderOffset, "controls", "32");
  ui->declareSlider("Stereo Expander Offset", &f.expanderOffset, 1.1f, 0.0f, 2.0f, 0.01f);
  ui->declareControlMeta(&f.outputAgcThreshold, "controls", "90");
  ui->declareSlider("Output AGC Threshold", &f.outputAgcThreshold, -6.0f, -12.0f, 3.0f, 1.0f);
  ui->declareControlMeta(&f.bandwidthExpansionLevel, "controls", "99");
  ui->declareSlider("Bandwidth Expansion Level", &f.bandwidthExpansionLevel, 16.0f, -96.0f, 24.0f,
                    1.0f);
  ui->declareControlMeta(&f.dnrSensitivity, "da", "");
  ui->declareControlMeta(&f.dnrSensitivity, "unit", "x");
  ui->declareSlider("DNR Sensitivity", &f.dnrSensitivity, 300.0f, 10.0f, 300.0f, 1.0f);
  ui->declareControlMeta(&f.dnr2Sensitivity, "dc", "");
  ui->declareControlMeta(&f.dnr2Sensitivity, "unit", "x");
  ui->declareSlider("DNR2 Sensitivity", &f.dnr2Sensitivity, 250.0f, 0.0f, 300.0f, 1.0f);
  ui->declareControlMeta(&f.dnrLpfDisable, "sa", "");
  ui->declareCheckButton("DNR LPF Disable", &f.dnrLpfDisable);
  ui->closeGroup();
}

void resetControlFields(ControlFields& f) {
  storeControl(&f.lowpassFilter, 9600.0f);
  storeControl(&f.disableVezeEq, 0.0f);
  storeControl(&f.autoEqThreshold, -60.0f);
  storeControl(&f.autoEqDensityLimit, -3.0f);
  storeControl(&f.noisegateGain, 55.0f);
  storeControl(&f.expanderGainTrim, 0.0f);
  storeControl(&f.expanderLimitPercent, 170.0f);
  storeControl(&f.expanderOffset, 1.1f);
  storeControl(&f.outputAgcThreshold, -6.0f);
  storeControl(&f.bandwidthExpansionLevel, 16.0f);
  storeControl(&f.dnrSensitivity, 300.0f);
  storeControl(&f.dnr2Sensitivity, 250.0f);
  storeControl(&f.dnrLpfDisable, 0.0f);
}

void declareMetadataPairs(MetaTable* m) {
  static const char* const kPairs[][2] = {
      {"Unique_ID", "v7f07"},
      {"analyzers_lib_name", "Vardo Analyzer Library"},
      {"analyzers_lib_version", "0.0"},
      {"author", "Tovrel"},
      {"basics_lib_name", "Vardo Basic Element Library"},
      {"basics_lib_version", "0.0"},
      {"compilation_options", "-single -scal"},
      {"filename", "Tovrel_KORVA-MX31f7.dsp"},
      {"filters_lib_name", "Vardo Filters Library"},
      {"filters_lib_version", "0.0"},
      {"library_path", "Tovrel_KORVA-MX31f7"},
      {"maths_lib_author", "BRENK"},
      {"maths_lib_copyright", "BRENK"},
      {"maths_lib_license", "LGPL with exception"},
      {"maths_lib_name", "Vardo Math Library"},
      {"maths_lib_version", "2.1"},
      {"misceffects_lib_name", "Vardo Math Library"},
      {"misceffects_lib_version", "2.0"},
      {"name", "Tovrel_KORVA-MX31f7"},
      {"noises_lib_name", "Vardo Noise Generator Library"},
      {"noises_lib_version", "0.0"},
      {"signals_lib_name", "Vardo Signal Routing Library"},
      {"signals_lib_version", "0.0"},
      {"version", "v7f07"},
  };
  for (const auto& pair : kPairs) m->declare(pair[0], pair[1]);
}
