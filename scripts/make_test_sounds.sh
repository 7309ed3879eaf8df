#!/usr/bin/env bash
# Makes the short sounds the tests play, into the directory given (created if needed):
# tones as PCM WAV (8/16-bit, mono/stereo, several rates), MP3, MP2 and Ogg Vorbis, and
# a few files that only look like sounds. Everything is generated, so nothing
# third-party lands in the repository.
set -euo pipefail
out="${1:?usage: make_test_sounds.sh OUTPUT_DIR}"
mkdir -p "$out"
cd "$out"

tone() {  # tone FILE SECONDS RATE CHANNELS BITS
  local freqs=(sine 440)
  [ "$4" = 2 ] && freqs=(sine 440 sine 660)  # a different tone per channel
  sox -q -n -r "$3" -c "$4" -b "$5" -e "$([ "$5" = 8 ] && echo unsigned || echo signed)" \
    "$1" synth "$2" "${freqs[@]}" vol 0.5
}

tone tone_8bit_mono_11025.wav 0.5 11025 1 8
tone tone_16bit_stereo_22050.wav 0.5 22050 2 16
tone tone_16bit_mono_44100.wav 0.3 44100 1 16
tone tone_8bit_stereo_8000.wav 0.4 8000 2 8
tone long_16bit_mono_8000.wav 3 8000 1 16   # long enough to be stopped half-way

tone src_stereo_44100.wav 0.6 44100 2 16
tone src_mono_22050.wav 0.6 22050 1 16
tone src_mono_32000.wav 0.6 32000 1 16
lame --quiet -b 128 src_stereo_44100.wav tone_stereo_44100.mp3
lame --quiet -b 32 src_mono_22050.wav tone_mono_22050.mp3   # MPEG-2 layer III
lame --quiet -b 96 --add-id3v2 --tt "Tone" src_stereo_44100.wav tone_id3.mp3
if command -v twolame >/dev/null; then
  twolame --quiet -b 192 src_stereo_44100.wav tone_stereo_44100.mp2
  twolame --quiet -m m -b 64 src_mono_32000.wav tone_mono_32000.mp2
fi
oggenc -Q -q 2 src_stereo_44100.wav -o tone_stereo_44100.ogg
oggenc -Q -q 2 src_mono_22050.wav -o tone_mono_22050.ogg
rm -f src_*.wav

# Not sounds: the layer must refuse them when opening.
: > empty.wav
printf 'This is a text file, not a sound.\r\n' > text.wav
python3 - <<'PY'
import random
rnd = random.Random(20240601)
open("random.mp3", "wb").write(bytes(rnd.getrandbits(8) for _ in range(8192)))
open("random.ogg", "wb").write(b"OggS" + bytes(rnd.getrandbits(8) for _ in range(4092)))
# A well-formed WAV that claims a compressed format it does not carry.
import struct
fmt = struct.pack("<HHIIHH", 0x55, 2, 44100, 16000, 1, 0)
data = bytes(1024)
riff = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
open("not_pcm.wav", "wb").write(b"RIFF" + struct.pack("<I", len(riff)) + riff)
PY
head -c 2000 tone_stereo_44100.ogg > truncated.ogg
touch .complete
