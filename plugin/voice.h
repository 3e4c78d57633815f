// One voice of the polyphonic path: its own DSP (of the same class as the
// main one) and its own parameter table bound to that DSP's controls.
#pragma once

#include <memory>

#include "dsp.h"
#include "vst_ui.h"

class Voice : public vstUI {
 public:
  // Takes ownership of voiceDsp (a fresh, uninitialised object), declares its
  // controls into this table and initialises it for sampleRate.
  Voice(dsp* voiceDsp, int sampleRate);
  ~Voice() override;

  dsp* voiceDsp() const { return fDSP.get(); }

 private:
  std::unique_ptr<dsp> fDSP;
};
