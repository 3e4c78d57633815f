// Placeholder MIDI, program and voice path, compiled only while the real one is absent.
#include <cstring>

#include "dsp.h"
#include "vardo.h"

void Vardo::setProgram(VstInt32) {}
void Vardo::getProgramName(char* name) { std::strcpy(name, fProgramName); }
void Vardo::setProgramName(char*) {}
bool Vardo::getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
VstInt32 Vardo::processEvents(VstEvents*) { return 0; }
VstInt32 Vardo::getMidiProgramName(VstInt32, MidiProgramName*) { return 0; }
VstInt32 Vardo::getCurrentMidiProgram(VstInt32, MidiProgramName*) { return 0; }
VstInt32 Vardo::getMidiProgramCategory(VstInt32, MidiProgramCategory*) { return 0; }
void Vardo::processVoices(float**, float**, VstInt32) {}
void Vardo::renderVoices(float**, float**, VstInt32, VstInt32) {}
void Vardo::allNotesOff() {}
void Vardo::growScratch(VstInt32) {}
