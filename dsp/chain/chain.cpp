#include "chain/chain.h"

#include "chain/chain_kernels.h"

namespace vardo {

template class Chain<ShippingLane>;
#if VARDO_AVX_CHAIN
// The chain on each wide lane type is ordinary baseline code around the band
// and width stages, which that type's unit (lanes_<set>.cpp) builds for its
// instruction set.
#define VARDO_INSTANTIATE_CHAIN(V) template class Chain<V>;
VARDO_WIDE_LANE_TYPES(VARDO_INSTANTIATE_CHAIN)
#undef VARDO_INSTANTIATE_CHAIN
#endif

}  // namespace vardo
