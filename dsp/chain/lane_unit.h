// What the unit of a wide lane type (chain/lanes_<set>.cpp, compiled for its
// instruction set) builds on its type: the band and width stages, and the
// fixed equaliser's four-lane passes in that set's encoding. The chain
// around them is baseline code, built in chain.cpp. Nothing else is included
// here, so the unit compiles no other code for its instruction set.
#pragma once

#define VARDO_INSTANTIATE_WIDE_STAGES(V) \
  template class BandEqualiser<V>;        \
  template class StereoWidth<V>;          \
  template void VezeEqualiser::processRunIn<V>(int, const float*, float*);
