// The plain-float instantiation of every lane-generic stage and of the chain:
// each kernel run one lane at a time. Tests and benchmarks hold the
// plug-in's chain to it; the plug-in never links it.
#include "chain/chain.h"
#include "chain/chain_kernels.h"
#include "stages/band_equaliser_kernels.h"
#include "stages/bandwidth_expander_kernels.h"
#include "stages/stereo_width_kernels.h"

namespace vardo {

template class BandEqualiser<float>;
template class StereoWidth<float>;
template class BandwidthExpander<float>;
template class Chain<float>;

// Eight lanes, for the exactness tests: the width at which the twelve bands
// are padded to sixteen lanes.
template class BandEqualiser<Float8>;
template class StereoWidth<Float8>;
template class BandwidthExpander<Float8>;
template class Chain<Float8>;

}  // namespace vardo
