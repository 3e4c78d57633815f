#!/bin/sh
# Renders the reference programmes with the native build and with the aarch64
# cross build under qemu-user, and requires the same output bits from both,
# the chains of the aarch64 build on its NEON lanes.
# Brings build/aarch64 up to date first. Exit 77 (skipped) only when the cross
# compiler or qemu-user is absent.
# Where the aarch64 tree has the command-line renderer too (libsndfile for
# arm64 installed), it must run under qemu and write the samples the native
# renderer writes.
# usage: compare_aarch64.sh <source dir> <native renderer> <native VST library> <native LV2 object> <scratch dir> [<native vardo>]
source_dir=$1
native=$2
native_vst=$3
native_lv2=$4
scratch=$5
native_cli=${6:-}

if ! command -v aarch64-linux-gnu-g++ >/dev/null 2>&1; then
  echo "SKIPPED: no cross compiler (apt-get install g++-aarch64-linux-gnu)"
  exit 77
fi
if ! command -v qemu-aarch64 >/dev/null 2>&1; then
  echo "SKIPPED: no qemu-user (apt-get install qemu-user)"
  exit 77
fi

build=$source_dir/build/aarch64
mkdir -p "$scratch" || exit 1
cd "$source_dir" || exit 1
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset aarch64 >"$scratch/configure.log" 2>&1 ||
    { cat "$scratch/configure.log"; echo "FAILED: cmake --preset aarch64"; exit 1; }
fi
targets="vardo vardo_lv2 vardo_reference_render"
if ninja -C "$build" -t targets all 2>/dev/null | grep -q '^vardo_cli:'; then targets="$targets vardo_cli"; fi
cmake --build "$build" --target $targets >"$scratch/build.log" 2>&1 ||
  { tail -40 "$scratch/build.log"; echo "FAILED: aarch64 build"; exit 1; }
for f in "$build/plugin/vardo.so" "$build/lib/lv2/vardo.lv2/vardo.so" "$build/lib/lv2/vardo.lv2/vardo.ttl"; do
  [ -f "$f" ] || { echo "FAILED: the aarch64 build made no $f"; exit 1; }
done
if command -v file >/dev/null 2>&1 && ! file -L "$build/plugin/vardo.so" | grep -q aarch64; then
  echo "FAILED: $build/plugin/vardo.so is not an aarch64 object"
  exit 1
fi

# The chains of the aarch64 build run on its NEON lanes.
lanes=$(qemu-aarch64 -L /usr/aarch64-linux-gnu "$build/tests/cross/vardo_reference_render" --lane-set)
if [ "$lanes" != neon ]; then
  echo "FAILED: the aarch64 build's chains run on '$lanes', not on its NEON lanes"
  exit 1
fi
echo "aarch64 under qemu: chains on the $lanes lane set"

"$native" "$native_vst" "$native_lv2" >"$scratch/native.txt" ||
  { cat "$scratch/native.txt"; echo "FAILED: native renderer"; exit 1; }
qemu-aarch64 -L /usr/aarch64-linux-gnu "$build/tests/cross/vardo_reference_render" \
  "$build/plugin/vardo.so" "$build/lib/lv2/vardo.lv2/vardo.so" >"$scratch/aarch64.txt" ||
  { cat "$scratch/aarch64.txt"; echo "FAILED: aarch64 renderer under qemu"; exit 1; }
cat "$scratch/aarch64.txt"
if ! diff "$scratch/native.txt" "$scratch/aarch64.txt"; then
  echo "FAILED: aarch64 output differs from x86-64 (< native, > aarch64)"
  exit 1
fi
echo "aarch64 under qemu: $(wc -l <"$scratch/native.txt") renders bit-identical to the native build"

# The renderer: a short piece of the demo clip, float output, the same
# samples (the files differ in the time stamp libsndfile writes into them).
if [ -x "$build/tools/vardo" ] && [ -n "$native_cli" ] && command -v sox >/dev/null 2>&1; then
  # The renderer never replaces a file, so an earlier run's renders go first.
  rm -f "$scratch/aarch64.wav" "$scratch/native.wav" || exit 1
  sox -V1 "$source_dir/demo/demo-clip.wav" "$scratch/piece.wav" trim 9 2 || { echo "FAILED: sox"; exit 1; }
  qemu-aarch64 -L /usr/aarch64-linux-gnu "$build/tools/vardo" info | grep -q "^library *$build/plugin/vardo.so$" ||
    { echo "FAILED: the aarch64 renderer does not load the aarch64 plug-in built beside it"; exit 1; }
  qemu-aarch64 -L /usr/aarch64-linux-gnu "$build/tools/vardo" -q render --bit-depth 32f \
    "$scratch/piece.wav" "$scratch/aarch64.wav" || { echo "FAILED: aarch64 renderer under qemu"; exit 1; }
  "$native_cli" -q render --bit-depth 32f "$scratch/piece.wav" "$scratch/native.wav" ||
    { echo "FAILED: native renderer"; exit 1; }
  sox -V1 "$scratch/aarch64.wav" -t f32 "$scratch/aarch64.f32" && sox -V1 "$scratch/native.wav" -t f32 "$scratch/native.f32" &&
    cmp -s "$scratch/aarch64.f32" "$scratch/native.f32" ||
    { echo "FAILED: the aarch64 renderer's output differs from the native one's"; exit 1; }
  echo "aarch64 renderer under qemu: the same samples as the native renderer"
fi
