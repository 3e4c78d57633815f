// Placeholder voice, compiled only while the real one is absent.
#include "voice.h"

Voice::Voice(dsp* voiceDsp, int sampleRate) : fDSP(voiceDsp) {
  fDSP->declareControls(this);
  fDSP->initializeInstance(sampleRate);
}
Voice::~Voice() = default;
