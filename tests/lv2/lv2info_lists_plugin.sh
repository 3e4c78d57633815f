#!/bin/sh
# lv2info finds the plug-in through LV2_PATH and lists one audio input, two
# audio outputs, thirteen control inputs, the latency output and the presets.
# usage: lv2info_lists_plugin.sh <directory holding vardo.lv2>
if ! command -v lv2info >/dev/null 2>&1; then
  echo "SKIPPED: lv2info is not installed (apt-get install lilv-utils)"
  exit 77
fi
LV2_PATH=$1
export LV2_PATH
out=$(lv2info urn:vardo:lv2:vardo) || { echo "FAILED: lv2info did not find the plug-in"; exit 1; }
echo "$out"
# One "kind kind" line per port: its two type lines joined.
kinds=$(printf '%s\n' "$out" | awk '
  /^\tPort [0-9]+:/ { if (port != "") print port; port = ""; next }
  /(Input|Output)Port|(Audio|Control)Port/ { sub(/.*#/, ""); port = port " " $0 }
  END { if (port != "") print port }')
failed=0
check() {
  if [ "$2" != "$3" ]; then echo "FAILED: $1: $2, expected $3"; failed=1; fi
}
control_in=$(printf '%s\n' "$kinds" | grep ControlPort | grep -c InputPort)
control_out=$(printf '%s\n' "$kinds" | grep ControlPort | grep -c OutputPort)
audio_in=$(printf '%s\n' "$kinds" | grep AudioPort | grep -c InputPort)
audio_out=$(printf '%s\n' "$kinds" | grep AudioPort | grep -c OutputPort)
check "control inputs" "$control_in" 13
check "control outputs" "$control_out" 1
check "audio inputs" "$audio_in" 1
check "audio outputs" "$audio_out" 2
printf '%s\n' "$out" | grep -q "Has latency:.*yes, reported by port 16" ||
  { echo "FAILED: no latency port reported"; failed=1; }
printf '%s\n' "$out" | grep -q "hardRTCapable" || { echo "FAILED: not hard real-time capable"; failed=1; }
for preset in Tape "AM radio" Phone Vinyl "Field recording"; do
  printf '%s\n' "$out" | grep -q "^[[:space:]]*$preset\$" || { echo "FAILED: preset $preset not listed"; failed=1; }
done
exit $failed
