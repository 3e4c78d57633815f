// The plain-float instantiation of every lane-generic stage and of the chain:
// each kernel run one lane at a time. Tests and benchmarks hold the
// plug-in's chain to it; the plug-in never links it.
#include "chain/chain.h"
#include "chain/chain_kernels.h"
#include "stages/band_equaliser_kernels.h"
#include "stages/bandwidth_expander_kernels.h"
#include "stages/stereo_width_kernels.h"

namespace vardo {

// And eight lanes, for the exactness tests: the width at which the twelve
// bands are padded to sixteen lanes.
#define VARDO_INSTANTIATE_REFERENCE(V)  \
  template class BandEqualiser<V>;     \
  template class StereoWidth<V>;       \
  template class BandwidthExpander<V>; \
  template class Chain<V>;
VARDO_REFERENCE_LANE_TYPES(VARDO_INSTANTIATE_REFERENCE)
#undef VARDO_INSTANTIATE_REFERENCE

}  // namespace vardo
