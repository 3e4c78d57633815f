// What every plug-in format's audio entry does before the DSP sees a block:
// the thread's denormal mode and the guard against host buffers that are
// missing. The VST 2.4 effect and the LV2 plug-in share it, so both drive the
// DSP the same way.
#pragma once

class dsp;

namespace vardo {

// Denormal results flush to zero and denormal operands read as zero on the
// calling thread (x86 MXCSR FTZ and DAZ, aarch64 FPCR.FZ, which covers both).
// Left set: the host's audio thread keeps it.
void enableFlushToZero();

// Checks a block's buffers for an effect DSP (one with inputs). Answers true
// when the DSP may process them. Otherwise the block is finished: nothing is
// written where an output buffer is missing, and outputs are silenced when
// input 0 is missing.
bool effectBuffersUsable(dsp& effect, float** inputs, float** outputs, int frames);

}  // namespace vardo
