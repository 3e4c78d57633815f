#include "chain.h"

#include "chain_kernels.h"

namespace vardo {

template class Chain<ShippingLane>;

}  // namespace vardo
