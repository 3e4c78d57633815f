// Every lane type the stages and chains are built on, as lists X(type) that
// the declarations and instantiations of lane-generic code expand. A new lane
// set adds its type to one list here (and its row and unit, see
// chain/lane_sets.h).
//
// The narrow types are complete everywhere: the shipping four lanes, the
// plain-float reference and eight lanes as two fours for the exactness tests.
// Each wide type is complete only in its own unit (chain/lanes_<set>.cpp), so
// elsewhere whatever is built on it is declared, never instantiated.
#pragma once

#define VARDO_NARROW_LANE_TYPES(X) X(float) X(Float4) X(Float8)
#define VARDO_WIDE_LANE_TYPES(X) X(Avx8) X(Avx2x8) X(Avx16)
#define VARDO_LANE_TYPES(X) VARDO_NARROW_LANE_TYPES(X) VARDO_WIDE_LANE_TYPES(X)
// The narrow types other than the shipping one, built only into the reference library.
#define VARDO_REFERENCE_LANE_TYPES(X) X(float) X(Float8)
