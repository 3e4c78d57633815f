#include "output_agc.h"

namespace vardo {

void OutputAgc::setRate(const SampleRate&) {}
void OutputAgc::prepareBlock(const ControlFields&, const SampleRate&) {}
void OutputAgc::clear() {}
void OutputAgc::process(float, float, const SecondCorner&, std::uint32_t, float& out0,
                        float& out1) {
  out0 = 0.0f;
  out1 = 0.0f;
}

}  // namespace vardo
