#include "chain/chain.h"

#include "chain/chain_kernels.h"

namespace vardo {

template class Chain<ShippingLane>;
#if VARDO_AVX_CHAIN
// The chain on eight AVX lanes is ordinary baseline code around the band and
// width stages, which chain_avx.cpp builds for AVX.
template class Chain<Avx8>;
// And around lanes_avx2.cpp's eight AVX2 lanes.
template class Chain<Avx2x8>;
// Likewise around chain_avx512.cpp's sixteen lanes.
template class Chain<Avx16>;
#endif

}  // namespace vardo
