#!/bin/sh
# The main job: build the plug-in and the command-line renderer, restore the
# bundled demo clip and draw before/after spectrograms.
#
#   sudo ./scripts/demo.sh        (root only to install missing packages)
#
# Writes build/demo/demo-restored.wav, build/demo/demo-before.png and
# build/demo/demo-after.png. With DEMO_UPDATE_DOCS=1 the pictures are also
# copied to docs/ for the README. JOBS sets the build's parallel jobs.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

say() { printf '\n== %s\n' "$*"; }

# --- what the build and the pictures need -----------------------------------
# The project's one package list; installs what is missing (as root) or
# names it and stops.
say "checking the packages"
"$root/scripts/install-deps.sh"

# --- build ------------------------------------------------------------------
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
say "building the plug-in and the renderer (linux preset, $jobs jobs)"
cmake --preset linux >/dev/null
cmake --build build/linux --target vardo vardo_cli -j "$jobs"

vardo=build/linux/tools/vardo
clip=demo/demo-clip.wav
out=build/demo
mkdir -p "$out"

# --- render -----------------------------------------------------------------
say "what a host sees"
"$vardo" info
# The clip's own bandwidth is about 4 kHz: the lowpass goes just above it, so
# the hiss above is cut and the bandwidth expansion rebuilds the high band
# from the programme itself.
say "restoring $clip"
"$vardo" render -y "$clip" "$out/demo-restored.wav" --set "Lowpass Filter=4500 Hz"

# --- pictures ---------------------------------------------------------------
say "spectrograms"
sox "$clip" -n spectrogram -x 900 -y 257 -z 100 -t "Demo clip, before" \
  -c "band-limited to 4 kHz, with hiss" -o "$out/demo-before.png"
sox "$out/demo-restored.wav" -n spectrogram -x 900 -y 257 -z 100 -t "Demo clip, after" \
  -c "channels A (top) and B (bottom)" -o "$out/demo-after.png"
echo "wrote $out/demo-restored.wav, $out/demo-before.png, $out/demo-after.png"

if [ "${DEMO_UPDATE_DOCS:-0}" = 1 ]; then
  mkdir -p docs
  cp "$out/demo-before.png" "$out/demo-after.png" docs/
  echo "copied the pictures to docs/"
fi
