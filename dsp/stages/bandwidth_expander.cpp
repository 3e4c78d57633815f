#include "bandwidth_expander.h"

namespace vardo {

void BandwidthExpander::setRate(const SampleRate&) {}
void BandwidthExpander::prepareBlock(const ControlFields&, const SampleRate&) {}
void BandwidthExpander::clear() {}
float BandwidthExpander::process(float s) { return s; }

}  // namespace vardo
