#include "stereo_width.h"

#include "stereo_width_kernels.h"

namespace vardo {

WidthRateDesign designWidthRate(const SampleRate& rate) {
  WidthRateDesign d;
  static_cast<WidthPoles&>(d) = widthPoles(rate);
  d.componentRelease.setRate(rate.r, 0.03f);
  return d;
}

template class StereoWidth<Float4>;

}  // namespace vardo
