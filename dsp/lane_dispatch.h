// Which set of vector lanes the chain runs on, for reports.
#pragma once

namespace vardo {

// "sse2" for four lanes in SSE registers, "plain" for the portable four-float
// fallback.
const char* laneDispatchName();

}  // namespace vardo
