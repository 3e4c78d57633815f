// The chain on eight AVX lanes. This unit alone is compiled for AVX, and the
// rest of the program enters it only through newEightLaneChain, after
// checking that the processor has AVX. Everything compiled here carries the
// eight-lane type in its name, so none of it can stand in for a baseline
// function of the same name elsewhere (a test checks the object's symbols).
#include "avx8.h"
#include "chain_kernels.h"
#include "chain_runner.h"
#include "stages/band_equaliser_kernels.h"
#include "stages/stereo_width_kernels.h"

namespace vardo {

template class BandEqualiser<Avx8>;
template class StereoWidth<Avx8>;
template class Chain<Avx8>;

ChainRunner* newEightLaneChain() { return new ChainOn<Avx8>(); }

}  // namespace vardo
