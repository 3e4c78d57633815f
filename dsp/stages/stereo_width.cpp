#include "stereo_width.h"

namespace vardo {

void StereoWidth::setRate(const SampleRate&) {}
void StereoWidth::prepareBlock(const ControlFields&, const SampleRate&) {}
void StereoWidth::clear() {}
void StereoWidth::process(const BandOutputs& bands, float& sumA, float& sumB) {
  sumA = bands.mono;
  sumB = bands.mono;
}

}  // namespace vardo
