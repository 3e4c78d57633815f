#!/usr/bin/env bash
# Instruction counts per sample of the plug-in and of the plain per-sample
# reference chain (callgrind; repeatable, unlike timings on a shared machine),
# and the plug-in's costliest functions.
#   scripts/profile.sh [RATE] [SECONDS]     (defaults: 48000 1)
set -euo pipefail
cd "$(dirname "$0")/.."
rate=${1:-48000}
seconds=${2:-1}
if ! command -v valgrind >/dev/null; then
  echo "valgrind is needed: sudo apt-get install valgrind" >&2
  exit 1
fi
run=build/linux/bench/vardo_profile_run
if [ ! -x "$run" ]; then
  echo "$run is missing: cmake --preset linux && cmake --build build/linux --target vardo_profile_run" >&2
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

count() {  # which toggle-function -> instruction count
  valgrind --tool=callgrind --callgrind-out-file="$out/$1.out" --toggle-collect="$2" \
    "$run" "$1" "$rate" "$seconds" 2>&1 | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
samples=$("$run" plugin "$rate" "$seconds" | sed -n 's/^plugin: \([0-9]*\) samples.*/\1/p')
plugin=$(count plugin 'mydsp::computeBlock*')
reference=$(count reference 'vardo::Chain<float>::processBlock*')
awk -v p="$plugin" -v r="$reference" -v n="$samples" -v fs="$rate" 'BEGIN {
  printf "%d Hz, %d samples\n", fs, n
  printf "plug-in:   %8.0f instructions per sample\n", p / n
  printf "reference: %8.0f instructions per sample\n", r / n
  printf "ratio:     %8.2f\n", r / p
}'
echo
callgrind_annotate --inclusive=no "$out/plugin.out" 2>/dev/null | sed -n '/file:function/,$p' | sed -n 3,14p
