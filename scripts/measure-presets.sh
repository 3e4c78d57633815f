#!/bin/sh
# Reproduces every figure of docs/manual.md: makes the project's clips
# (demo/make-material-clips.sh), renders them with the built-in presets and
# with the defaults, renders the demo clip with each control at either end,
# measures the results with sox and prints the manual's tables in Markdown.
# The spectrograms (one per kind of material, before on top, after below)
# are written beside the renders.
#
#   scripts/measure-presets.sh [OUTDIR]      (default: build/measure)
#
# With MEASURE_UPDATE_DOCS=1 the spectrograms are also copied to
# docs/manual/. VARDO names the renderer (default: build/linux/tools/vardo,
# built by 'cmake --build build/linux --target vardo vardo_cli').
#
# What is measured, over both output channels, in dBFS:
#   RMS      the whole file
#   peak     the largest sample
#   speech   RMS over the two spoken sentences
#   pauses   RMS over the middle second of the three pauses (the hiss)
#   S/P      speech over pauses, dB: how far the noise sits below the voice
#   >5.5k    RMS above 5.5 kHz: the band the bandwidth expansion fills
#   width    (demo clip) the channels' difference over their sum, dB
#   lift     gain at 43-54 Hz relative to 995-1006 Hz, with the same
#            settings, on 20 s of flat hiss at -30 dBFS (after the first 5 s)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-"$root/build/measure"}
vardo=${VARDO:-"$root/build/linux/tools/vardo"}
[ -x "$vardo" ] || { echo "measure-presets: build the renderer first ($vardo)" >&2; exit 1; }
for tool in sox soxi awk espeak-ng; do
  command -v "$tool" >/dev/null || { echo "measure-presets: $tool is needed" >&2; exit 1; }
done

clips="$out/clips"
renders="$out/renders"
mkdir -p "$renders"
"$root/demo/make-material-clips.sh" "$clips" >/dev/null
# The telephone clip is resampled first, as the manual says.
sox -R -D -V1 "$clips/phone-8k.wav" -r 44100 "$clips/phone.wav" rate -v

# --- measuring ---------------------------------------------------------------
# RMS (or peak) over [start, end) of a file, over all its channels, in dB.
stat() {  # stat FILE START END "RMS lev dB"|"Pk lev dB"
  sox -V1 "$1" -n trim "$2" "=$3" stats 2>&1 | awk -v key="$4" 'index($0, key) == 1 {
    n = split(substr($0, length(key) + 1), v, " "); print v[1]; exit }'
}

# Power mean of the windows listed in a file (lines "start end"), in dB.
windows() {  # windows FILE WINDOWLIST
  while read -r start end; do stat "$1" "$start" "$end" "RMS lev dB"; done <"$2" |
    awk '{ p += 10 ^ ($1 / 10); n++ } END { printf "%.1f", 10 * log(p / n) / log(10) }'
}

whole() {  # whole FILE "RMS lev dB"|"Pk lev dB"
  sox -V1 "$1" -n stats 2>&1 | awk -v key="$2" 'index($0, key) == 1 {
    n = split(substr($0, length(key) + 1), v, " "); printf "%.1f", v[1]; exit }'
}

band() {  # band FILE LOW-HIGH: RMS in the band from 5 s on, dB
  sox -V1 "$1" -n trim 5 sinc -n 32767 "$2" -n 32767 stats 2>&1 | awk 'index($0, "RMS lev dB") == 1 {
    print $4; exit }'
}

# Low-end lift of the settings: output over input at 43-54 Hz, less the same
# at 995-1006 Hz, on flat hiss.
lift() {  # lift ARGS...
  "$vardo" -q render -y "$@" --bit-depth 32f "$clips/hiss.wav" "$renders/lift.wav"
  awk -v ol="$(band "$renders/lift.wav" 43-54)" -v il="$(band "$clips/hiss.wav" 43-54)" \
      -v oh="$(band "$renders/lift.wav" 995-1006)" -v ih="$(band "$clips/hiss.wav" 995-1006)" \
      'BEGIN { printf "%+.1f", (ol - il) - (oh - ih) }'
}

top() {  # top FILE: RMS above 5.5 kHz over the whole file, dB ("-" when the file has no such band)
  if [ "$(soxi -V1 -r "$1")" -le 11000 ]; then echo "-"; return; fi
  sox -V1 "$1" -n sinc 5500 stats 2>&1 | awk 'index($0, "RMS lev dB") == 1 { printf "%.1f", $4; exit }'
}

row() {  # row LABEL FILE [LIFT]: a table row of the figures of one file
  rms=$(whole "$2" "RMS lev dB")
  peak=$(whole "$2" "Pk lev dB")
  speech=$(windows "$2" "$clips/speech.txt")
  pauses=$(windows "$2" "$clips/pauses.txt")
  ratio=$(awk -v s="$speech" -v p="$pauses" 'BEGIN { printf "%.1f", s - p }')
  printf '| %s | %s | %s | %s | %s | %s | %s | %s |\n' "$1" "$rms" "$peak" "$speech" "$pauses" "$ratio" \
    "$(top "$2")" "${3:--}"
}

header() {
  echo '| | RMS | peak | speech | pauses | S/P dB | >5.5k | lift dB |'
  echo '|---|---|---|---|---|---|---|---|'
}

spectrogram() {  # spectrogram BEFORE AFTER PNG TITLE: before on top, channel A below
  sox -R -D -V1 "$1" -r 44100 -c 1 "$renders/before.wav"
  sox -R -D -V1 "$2" "$renders/after.wav" remix 1
  sox -R -D -V1 -M "$renders/before.wav" "$renders/after.wav" "$renders/pair.wav"
  sox -R -V1 "$renders/pair.wav" -n spectrogram -x 640 -y 129 -z 100 -t "$4" \
    -c "top: before; bottom: after (channel A)" -o "$3"
}

# --- the five kinds of material ---------------------------------------------
echo "## Presets on the project's clips"
echo
for entry in tape:tape am:am phone:phone vinyl:vinyl field:field; do
  preset=${entry%%:*}
  clip=${entry#*:}
  input="$clips/$clip.wav"
  "$vardo" -q render -y --bit-depth 32f "$input" "$renders/$clip-default.wav"
  "$vardo" -q render -y --bit-depth 32f --preset "$preset" "$input" "$renders/$clip-$preset.wav"
  echo "### $preset ($clip.wav)"
  echo
  header
  row "before" "$input"
  row "defaults" "$renders/$clip-default.wav" "$(lift)"
  row "--preset $preset" "$renders/$clip-$preset.wav" "$(lift --preset "$preset")"
  if [ "$clip" = phone ]; then
    # The same call rendered at its own 8 kHz, without resampling first.
    "$vardo" -q render -y --bit-depth 32f --preset phone "$clips/phone-8k.wav" "$renders/phone-8k.wav"
    row "--preset phone, left at 8 kHz" "$renders/phone-8k.wav"
  fi
  echo
  spectrogram "$input" "$renders/$clip-$preset.wav" "$renders/$clip.png" "$clip.wav, --preset $preset"
done

# --- hum on tape ---------------------------------------------------------------
hum() {  # hum FILE: level of the 45-55 Hz band over the whole file, dB
  sox -V1 "$1" -n sinc -n 32767 45-55 -n 32767 stats 2>&1 | awk 'index($0, "RMS lev dB") == 1 { print $4; exit }'
}
humrow() {  # humrow LABEL FILE [LIFT]: hum and speech, and hum below speech
  h=$(hum "$2")
  s=$(windows "$2" "$clips/speech.txt")
  printf '| %s | %.1f | %s | %.1f | %s |\n' "$1" "$h" "$s" "$(awk -v s="$s" -v h="$h" 'BEGIN { print s - h }')" "${3:--}"
}
echo "## Hum"
echo
echo '| | 50 Hz hum | speech | speech over hum, dB | lift dB |'
echo '|---|---|---|---|---|'
sox -R -D -V1 "$clips/tape-hum.wav" "$clips/tape-hum-notched.wav" \
  bandreject 50 4q bandreject 150 4q bandreject 250 4q highpass 60
"$vardo" -q render -y --bit-depth 32f "$clips/tape-hum.wav" "$renders/hum-default.wav"
"$vardo" -q render -y --bit-depth 32f --set "Disable VEZE EQ=on" "$clips/tape-hum.wav" "$renders/hum-noveze.wav"
"$vardo" -q render -y --bit-depth 32f --preset tape "$clips/tape-hum.wav" "$renders/hum-tape.wav"
"$vardo" -q render -y --bit-depth 32f --preset tape "$clips/tape-hum-notched.wav" "$renders/hum-notched.wav"
humrow "before" "$clips/tape-hum.wav"
humrow "defaults" "$renders/hum-default.wav" "$(lift)"
humrow "defaults, Disable VEZE EQ on" "$renders/hum-noveze.wav" "$(lift --set "Disable VEZE EQ=on")"
humrow "--preset tape" "$renders/hum-tape.wav" "$(lift --preset tape)"
humrow "notched with sox first, then --preset tape" "$renders/hum-notched.wav"
echo

# --- why the presets' band ceiling and threshold -----------------------------
for sweep in "Noisegate Gain dB:55 45 40 35 30" "Auto-EQ Threshold:-60 -45 -40 -35 -30 -25"; do
  name=${sweep%%:*}
  echo "## $name on tape.wav, the rest of --preset tape kept"
  echo
  header
  for value in ${sweep#*:}; do
    "$vardo" -q render -y --bit-depth 32f --preset tape --set "$name=$value" "$clips/tape.wav" "$renders/sweep.wav"
    row "$name = $value" "$renders/sweep.wav"
  done
  echo
done

# --- every control at either end, on the demo clip -----------------------------
# The demo clip's pause at 10.2 s, and its Lowpass Filter of 4500 Hz as in
# the README.
demo="$root/demo/demo-clip.wav"
echo "## Each control at either end (demo clip, Lowpass Filter 4500 Hz)"
echo
echo '| setting | RMS | peak | pause at 10.2 s | S - N | >5.5k | width |'
echo '|---|---|---|---|---|---|---|'
width() {  # width FILE: difference of the channels over their sum, dB ("-" for mono)
  if [ "$(soxi -V1 -c "$1")" -lt 2 ]; then echo "-"; return; fi
  awk -v d="$(sox -V1 "$1" -n remix 1v0.5,2v-0.5 stats 2>&1 | awk 'index($0, "RMS lev dB") == 1 { print $4; exit }')" \
      -v s="$(sox -V1 "$1" -n remix 1v0.5,2v0.5 stats 2>&1 | awk 'index($0, "RMS lev dB") == 1 { print $4; exit }')" \
      'BEGIN { if (d == "-inf") print "mono"; else printf "%.1f", d - s }'
}
demorow() {  # demorow LABEL FILE: RMS, peak, the pause, RMS over the pause, the top band, width
  printf '| %s | %s | %s | %.1f | %.1f | %s | %s |\n' "$1" "$(whole "$2" "RMS lev dB")" \
    "$(whole "$2" "Pk lev dB")" "$(stat "$2" 10.0 10.4 "RMS lev dB")" \
    "$(awk -v r="$(whole "$2" "RMS lev dB")" -v p="$(stat "$2" 10.0 10.4 "RMS lev dB")" 'BEGIN { print r - p }')" \
    "$(top "$2")" "$(width "$2")"
}
demorender() {  # demorender LABEL [SET...]
  label=$1
  shift
  "$vardo" -q render -y --bit-depth 32f --set "Lowpass Filter=4500" "$@" "$demo" "$renders/demo.wav"
  demorow "$label" "$renders/demo.wav"
}
demorow "input" "$demo"
demorender "defaults"
"$vardo" --json params | awk -F'"' '/"name":/ { print $4 }' | while read -r name; do
  case "$name" in
    "Lowpass Filter") ends="1000 15000" ;;
    "Disable VEZE EQ" | "DNR LPF Disable") ends="on" ;;
    *) ends=$("$vardo" --json params | awk -v n="$name" -F'[:,]' '
         index($0, "\"name\": \"" n "\"") { found = 1 }
         found && /"min"/ { min = $2 + 0 }
         found && /"max"/ { print min, $2 + 0; exit }') ;;
  esac
  for value in $ends; do
    demorender "$name = $value" --set "$name=$value"
  done
done
echo

if [ "${MEASURE_UPDATE_DOCS:-0}" = 1 ]; then
  mkdir -p "$root/docs/manual"
  for clip in tape am phone vinyl field; do cp "$renders/$clip.png" "$root/docs/manual/"; done
  echo "measure-presets: copied the spectrograms to docs/manual/" >&2
fi
