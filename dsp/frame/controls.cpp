#include "frame/controls.h"

#include "frame/control_access.h"
#include "frame/meta_table.h"
#include "frame/ui.h"

ControlFields snapshotControls(const ControlFields& fields) {
  ControlFields copy;
  const float* from = &fields.lowpassFilter;
  float* to = &copy.lowpassFilter;
  for (int i = 0; i < kControlCount; ++i) to[i] = loadControl(from + i);
  return copy;
}

void declareControlFields(UI* ui, ControlFields& f) {
  ui->openGroup(kControlGroup);
  for (const ControlRow& c : kControlTable) {
    float* zone = &(f.*c.field);
    for (int m = 0; m < c.metaCount; ++m) ui->declareControlMeta(zone, c.meta[m].key, c.meta[m].value);
    if (c.kind == ControlKind::kCheckButton) {
      ui->declareCheckButton(c.label, zone);
    } else {
      ui->declareSlider(c.label, zone, c.init, c.min, c.max, c.step);
    }
  }
  ui->closeGroup();
}

void resetControlFields(ControlFields& f) {
  for (const ControlRow& c : kControlTable) storeControl(&(f.*c.field), c.init);
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
