#!/bin/sh
# Makes the clips the manual's recommendations are measured on: one
# programme (synthetic speech from espeak-ng and plucked tones from sox) worn
# in five ways, plus flat hiss for the equaliser's response and the tape clip
# with mains hum. Every sound is generated here; sox runs with repeatable
# random numbers (-R) and no dither, and the clicks come from awk with a fixed
# seed, so the clips are the same on every run with the same tool versions.
#
#   tape.wav      cassette or reel tape: band-limited to 4 kHz, steady hiss
#   tape-hum.wav  the same with 50 Hz mains hum and its harmonics
#   am.wav        AM broadcast: compressed, 100 Hz to 4.5 kHz, static noise
#   phone-8k.wav  telephone: 300 Hz to 3.4 kHz, 8 kHz mu-law, line noise
#   vinyl.wav     worn disc: 6 kHz top, surface noise, crackle, rumble
#   field.wav     field recording: full band, distant voice, birds, wind
#   hiss.wav      20 s of flat (white) hiss at -30 dBFS RMS
#   pauses.txt    start and end (s) of the pause windows in every clip
#
# Needs: espeak-ng, sox, awk.   Usage: demo/make-material-clips.sh OUTDIR
set -eu

out=${1:?usage: make-material-clips.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

for tool in espeak-ng sox awk; do
  command -v "$tool" >/dev/null || { echo "make-material-clips: $tool is needed" >&2; exit 1; }
done

rate=44100
SOX="sox -R -D -V1"

# --- the programme: speech, a pause, tones, a pause, speech, a pause ---------
espeak-ng -v en -s 150 -w "$work/s1.wav" \
  "Good evening. This recording was made many years ago, and it has worn with time."
espeak-ng -v en+f3 -s 145 -w "$work/s2.wav" \
  "Listen to the voice, the noise between the words, and the deep notes."
for part in s1 s2; do
  $SOX "$work/$part.wav" -r $rate -c 1 "$work/$part-r.wav" gain -n -3
done
i=0
for note in A2 E3 A3 C4 E4 A4; do
  $SOX -n -r $rate -c 1 "$work/n$i.wav" synth 0.35 pluck "$note" fade 0 0.35 0.1 gain -6
  i=$((i + 1))
done
$SOX -n -r $rate -c 1 "$work/gap.wav" trim 0 1.5
$SOX -n -r $rate -c 1 "$work/lead.wav" trim 0 0.5
$SOX "$work/lead.wav" "$work/s1-r.wav" "$work/gap.wav" "$work/n0.wav" "$work/n1.wav" \
  "$work/n2.wav" "$work/n3.wav" "$work/n4.wav" "$work/n5.wav" "$work/gap.wav" \
  "$work/s2-r.wav" "$work/gap.wav" "$work/programme.wav"
length=$(soxi -D "$work/programme.wav")

# The pause windows: the middle second of each 1.5 s gap, clear of the
# decay of what came before.
s1=$(soxi -D "$work/s1-r.wav")
tones=2.1
s2=$(soxi -D "$work/s2-r.wav")
awk -v s1="$s1" -v t="$tones" -v s2="$s2" 'BEGIN {
  g1 = 0.5 + s1; g2 = g1 + 1.5 + t; g3 = g2 + 1.5 + s2
  printf "%.3f %.3f\n%.3f %.3f\n%.3f %.3f\n", g1 + 0.3, g1 + 1.3, g2 + 0.3, g2 + 1.3, g3 + 0.3, g3 + 1.3
}' >"$out/pauses.txt"
# The programme windows: the two spoken sentences.
awk -v s1="$s1" -v t="$tones" -v s2="$s2" 'BEGIN {
  g1 = 0.5 + s1; g2 = g1 + 1.5 + t
  printf "%.3f %.3f\n%.3f %.3f\n", 0.5, 0.5 + s1, g2 + 1.5, g2 + 1.5 + s2
}' >"$out/speech.txt"

noise() {  # noise KIND LEVEL_DB OUTPUT [EFFECTS...]
  kind=$1 level=$2 file=$3
  shift 3
  $SOX -n -r $rate -c 1 "$file" synth "$length" "$kind" "$@" gain "$level"
}

finish() {  # mix the inputs at unity into a 16-bit clip
  target=$1
  shift
  $SOX -m "$@" -r $rate -c 1 -b 16 -e signed-integer "$target"
}

# --- tape: everything above 4 kHz gone, steady hiss at about -42 dB ---------
$SOX "$work/programme.wav" "$work/tape-p.wav" sinc -4000 gain -n -4
noise whitenoise -42 "$work/tape-n.wav"
finish "$out/tape.wav" "$work/tape-p.wav" "$work/tape-n.wav"
# ... and with hum: 50 Hz and its odd harmonics, the fundamental at -40 dB.
$SOX -n -r $rate -c 1 "$work/hum.wav" synth "$length" sine 50 sine 150 sine 250 \
  remix 1v0.01,2v0.004,3v0.002
finish "$out/tape-hum.wav" "$work/tape-p.wav" "$work/tape-n.wav" "$work/hum.wav"

# --- AM broadcast: heavy compression, 100 Hz to 4.5 kHz, static ------------
$SOX "$work/programme.wav" "$work/am-p.wav" compand 0.01,0.3 -60,-60,-30,-12,0,-6 -3 \
  sinc 100-4500 gain -n -3
noise pinknoise -38 "$work/am-n.wav" sinc 100-5000
finish "$out/am.wav" "$work/am-p.wav" "$work/am-n.wav"

# --- telephone: 300 Hz to 3.4 kHz, 8 kHz, mu-law, line noise ---------------
$SOX "$work/programme.wav" -r 8000 "$work/phone-p.wav" sinc 300-3400 gain -n -6
$SOX -n -r 8000 -c 1 "$work/phone-n.wav" synth "$length" whitenoise gain -48
$SOX -m "$work/phone-p.wav" "$work/phone-n.wav" -r 8000 -c 1 -e u-law -b 8 "$work/phone-u.wav"
$SOX "$work/phone-u.wav" -b 16 -e signed-integer "$out/phone-8k.wav"

# --- worn disc: 6 kHz top, surface noise, crackle, rumble ------------------
$SOX "$work/programme.wav" "$work/vinyl-p.wav" sinc 60-6000 gain -n -4
noise pinknoise -36 "$work/vinyl-n.wav" sinc 40-9000
noise brownnoise -30 "$work/vinyl-r.wav" sinc -25
# Crackle: about 12 clicks a second of random height and sign, each a
# few decaying samples, written as sox's text format.
awk -v rate=$rate -v seconds="$length" 'BEGIN {
  srand(1931); n = int(rate * seconds)
  printf "; Sample Rate %d\n; Channels 1\n", rate
  for (i = 0; i < n; i++) {
    if (rand() < 12 / rate) { a = (rand() < 0.5 ? -1 : 1) * (0.02 + 0.25 * rand() ^ 3); k = 0 }
    v = (k < 6) ? a * (1 - k / 6) : 0; k++
    printf "%.6f %.6f\n", i / rate, v
  }
}' >"$work/crackle.dat"
$SOX "$work/crackle.dat" -r $rate -c 1 "$work/vinyl-c.wav"
finish "$out/vinyl.wav" "$work/vinyl-p.wav" "$work/vinyl-n.wav" "$work/vinyl-r.wav" "$work/vinyl-c.wav"

# --- field recording: full band, distant voice, birds, wind ----------------
$SOX "$work/programme.wav" "$work/field-p.wav" gain -n -12
for k in 0 1 2 3 4 5 6 7; do
  $SOX -n -r $rate -c 1 "$work/bird$k.wav" synth 0.12 sine "$((3000 + 300 * k))-$((4500 + 200 * k))" \
    fade 0.02 0.12 0.04 gain -30 pad "$(awk -v k=$k -v l="$length" 'BEGIN { printf "%.3f", (k + 0.5) * l / 8 }')"
done
$SOX -m "$work"/bird*.wav "$work/birds.wav"
$SOX "$work/birds.wav" "$work/birds-l.wav" trim 0 "$length" pad 0 "$length" trim 0 "$length"
noise brownnoise -24 "$work/field-w.wav" sinc -300
noise whitenoise -52 "$work/field-n.wav"
finish "$out/field.wav" "$work/field-p.wav" "$work/birds-l.wav" "$work/field-w.wav" "$work/field-n.wav"

# --- flat hiss for the frequency response -----------------------------------
$SOX -n -r $rate -c 1 -b 16 -e signed-integer "$out/hiss.wav" synth 20 whitenoise gain -25.2

echo "make-material-clips: wrote $(ls "$out" | tr '\n' ' ')"
