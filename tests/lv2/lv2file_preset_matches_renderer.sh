#!/bin/sh
# A preset loaded in a lilv host (lv2file -P) gives the samples the renderer
# gives with the same preset, started cold and with the plug-in's delay kept,
# as the host keeps it.
# usage: lv2file_preset_matches_renderer.sh <directory holding vardo.lv2> <vardo> <input clip>
if ! command -v lv2file >/dev/null 2>&1 || ! command -v sox >/dev/null 2>&1; then
  echo "SKIPPED: lv2file or sox is not installed (apt-get install lv2file sox)"
  exit 77
fi
LV2_PATH=$(cd "$1" && pwd)
export LV2_PATH
vardo=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
sox "$3" -e floating-point -b 32 "$scratch/in.wav" trim 0 2 || exit 1
failed=0
for pair in "tape Tape" "am AM radio" "phone Phone" "vinyl Vinyl" "field Field recording"; do
  name=${pair%% *}
  label=${pair#* }
  lv2file -i "$scratch/in.wav" -o "$scratch/host-$name.wav" -P "$label" urn:vardo:lv2:vardo \
    >"$scratch/log" 2>&1 || { cat "$scratch/log"; echo "FAILED: lv2file -P '$label'"; failed=1; continue; }
  "$vardo" -q render --preset "$name" --no-warm-up --no-latency-compensation --bit-depth 32f \
    "$scratch/in.wav" "$scratch/vardo-$name.wav" || { echo "FAILED: vardo render --preset $name"; failed=1; continue; }
  sox -V1 "$scratch/host-$name.wav" -t f32 "$scratch/host.raw"
  sox -V1 "$scratch/vardo-$name.wav" -t f32 "$scratch/vardo.raw"
  if cmp -s "$scratch/host.raw" "$scratch/vardo.raw" && [ -s "$scratch/host.raw" ]; then
    echo "preset $name: the same samples"
  else
    echo "FAILED: preset $name: lv2file and vardo render differ"; failed=1
  fi
done
exit $failed
