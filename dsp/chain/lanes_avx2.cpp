// The band and width stages on eight AVX2 lanes: the eight-lane source of
// lanes_avx.cpp, compiled for AVX2, where the integer and permute operations
// work on all eight lanes at once. The program enters this unit's code only
// from a chain built after a run-time check of the processor, and everything
// compiled here lives in the namespace of its own lane type, vardo::avx2 (a
// test checks the object's symbols).
#include "chain/lane_unit.h"
#include "math/avx8_transcendentals.h"
#include "simd/avx8.h"
#include "stages/band_equaliser_kernels.h"
#include "stages/stereo_width_kernels.h"
#include "stages/veze_equaliser_kernels.h"

namespace vardo {

VARDO_INSTANTIATE_WIDE_STAGES(Avx2x8)

}  // namespace vardo
