#include "band_equaliser.h"

namespace vardo {

void BandEqualiser::setRate(const SampleRate&) {}
void BandEqualiser::prepareBlock(const ControlFields&, const SampleRate&) {}
void BandEqualiser::clear() {}
void BandEqualiser::process(float, float, std::uint32_t, BandOutputs& out) { out = {}; }

}  // namespace vardo
