#include "voice.h"

Voice::Voice(dsp* voiceDsp, int sampleRate) : fDSP(voiceDsp) {
  // The voice's table points at the voice's own control fields.
  fDSP->declareControls(this);
  fDSP->initializeInstance(sampleRate);
}

Voice::~Voice() = default;
