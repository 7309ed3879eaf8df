#!/usr/bin/env bash
# Makes the demo SoundPack's three sounds into the directory given: tones of different
# pitch, one per format the plug-in plays, so a listener can tell them apart.
set -euo pipefail
out="${1:?usage: make_demo_pack.sh OUTPUT_DIR}"
mkdir -p "$out"
cd "$out"
sox -q -n -r 44100 -c 1 -b 16 moo.wav synth 0.8 sine 330 fade 0.02 0.8 0.05 vol 0.6
sox -q -n -r 44100 -c 1 -b 16 baa-src.wav synth 0.6 sine 550 fade 0.02 0.6 0.05 vol 0.6
lame --quiet -b 64 baa-src.wav baa.mp3
sox -q -n -r 44100 -c 1 -b 16 ding-src.wav synth 0.5 sine 880 fade 0.02 0.5 0.05 vol 0.6
oggenc -Q -q 3 ding-src.wav -o ding.ogg
rm -f baa-src.wav ding-src.wav
