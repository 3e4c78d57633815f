#!/bin/sh
# Builds bench/experimental_simd_probe.cpp for AVX2 without FMA, once on the
# native eight-lane type and once on fixed_size<8>, and runs both.
#
# The whole AVX2 lane set on <experimental/simd> is bench/experimental_simd_lanes.patch
# (its eight-lane primitives on native_simd<float>): apply it to a copy of the
# tree, build vardo_bench and dsp_tests there, and run
#   vardo_bench --benchmark_filter='lanes/2'
#   dsp_tests --gtest_filter='ChainExactness/*'

set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
out=${TMPDIR:-/tmp}/vardo-simd-probe
mkdir -p "$out"
for abi in native fixed; do
  define=
  [ "$abi" = fixed ] && define=-DPROBE_FIXED_SIZE
  ${CXX:-g++} -std=c++20 -O2 -mavx2 -mno-fma -ffp-contract=off $define \
    "$here/bench/experimental_simd_probe.cpp" -o "$out/probe-$abi"
  echo "== $abi"
  "$out/probe-$abi"
done
