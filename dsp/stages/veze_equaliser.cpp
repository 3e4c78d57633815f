#include "veze_equaliser.h"

namespace vardo {

void VezeEqualiser::setRate(const SampleRate&) {}
void VezeEqualiser::prepareBlock(const ControlFields&, const SampleRate&) {}
void VezeEqualiser::clear() {}
float VezeEqualiser::process(float o) { return o; }

}  // namespace vardo
