#include "lane_dispatch.h"

#include "float4.h"

namespace vardo {

const char* laneDispatchName() {
#if VARDO_FLOAT4_SSE2
  return "sse2";
#else
  return "plain";
#endif
}

}  // namespace vardo
