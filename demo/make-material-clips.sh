#!/bin/sh
# Makes the clips the manual's figures are measured on: clean programmes from
# the alsa-utils voice recordings, several espeak-ng voices and two songs,
# each worn in the way of tape, AM, telephone, worn disc, mains hum (50 and
# 60 Hz) and a noisy field recording, at stated noise levels measured on the
# noise alone; flat hiss for the low-end lift; layout.json with the training
# and held-out sets and every clip's speech, pause and start windows.
# scripts/quality/material.py does the work and documents the media.
#
# Needs: python3 with numpy and scipy, espeak-ng, alsa-utils.
# Usage: demo/make-material-clips.sh OUTDIR
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: make-material-clips.sh OUTDIR}
exec /usr/bin/python3 "$root/scripts/quality/material.py" "$out"
