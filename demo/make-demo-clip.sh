#!/bin/sh
# Makes demo/demo-clip.wav, the bundled demo clip: synthetic speech from
# espeak-ng and a few plucked tones from sox, band-limited to about 4 kHz and
# laid over a steady hiss, like a worn archive recording. Mono, 44100 Hz,
# 16-bit WAV, about 15 seconds. Every sound in it is generated here; sox runs
# with repeatable random numbers (-R) and no dither, so the clip comes out
# the same on every run with the same tool versions.
#
# Needs: espeak-ng, sox.   Usage: demo/make-demo-clip.sh [OUTPUT.wav]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$here/demo-clip.wav"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "make-demo-clip: $tool is needed" >&2; exit 1; }
done

rate=44100
SOX="sox -R -D -V1"

# Speech: two short paragraphs in espeak-ng's default English voice.
espeak-ng -v en -s 150 -w "$work/speech1.wav" \
  "This is an old recording, made long ago on a narrow tape. The high notes are gone, and a soft hiss sits under everything."
espeak-ng -v en -s 150 -w "$work/speech2.wav" \
  "Listen to how the voice sounds before and after the restoration."

# Tones: a rising arpeggio and a closing chord of plucked strings.
i=0
for note in A3 C4 E4 A4 C5 E5; do
  $SOX -n -r $rate -c 1 "$work/note$i.wav" synth 0.3 pluck "$note" fade 0 0.3 0.1 gain -6
  i=$((i + 1))
done
$SOX -n -r $rate -c 1 "$work/chord.wav" synth 1.6 pluck A3 pluck C4 pluck E4 fade 0 1.6 0.8 gain -6
$SOX -n -r $rate -c 1 "$work/gap.wav" trim 0 0.4

for part in speech1 speech2; do
  $SOX "$work/$part.wav" -r $rate -c 1 "$work/$part-r.wav" gain -3
done

$SOX "$work/note0.wav" "$work/note1.wav" "$work/note2.wav" "$work/note3.wav" \
  "$work/note4.wav" "$work/note5.wav" "$work/gap.wav" "$work/speech1-r.wav" "$work/gap.wav" \
  "$work/chord.wav" "$work/gap.wav" "$work/speech2-r.wav" "$work/gap.wav" "$work/programme.wav"

# The worn medium: everything above about 4 kHz removed, then hiss added
# across the whole band at about -40 dB below full scale.
$SOX "$work/programme.wav" "$work/narrow.wav" sinc -4000 gain -n -4
length=$(soxi -D "$work/narrow.wav")
$SOX -n -r $rate -c 1 "$work/hiss.wav" synth "$length" whitenoise gain -42
$SOX -m -v 1 "$work/narrow.wav" -v 1 "$work/hiss.wav" -r $rate -c 1 -b 16 -e signed-integer "$out"

echo "make-demo-clip: wrote $out ($(soxi -d "$out"), $(soxi -r "$out") Hz, $(wc -c <"$out") bytes)"
