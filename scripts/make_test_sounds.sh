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

# --- Through the system's decoders (Media Foundation): WMA, AAC and FLAC -------------
# ffmpeg makes them from the same tones. -bitexact keeps encoder version tags out, so a
# rebuild gives the same files.
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y -i "$1" -bitexact "${@:3}" "$2"; }
ff src_stereo_44100.wav tone_stereo_44100.wma -c:a wmav2 -b:a 128k
ff src_mono_22050.wav tone_mono_22050.wma -c:a wmav2 -b:a 32k
# AAC rings well past the tone's level at a hard start; short fades keep the peak honest.
fades="afade=t=in:d=0.05,afade=t=out:st=0.55:d=0.05"
ff src_stereo_44100.wav tone_stereo_44100.m4a -af "$fades" -c:a aac -b:a 128k
ff src_mono_22050.wav tone_mono_22050.m4a -af "$fades" -c:a aac -b:a 64k
ff src_stereo_44100.wav tone_stereo_44100.flac -c:a flac
ff src_mono_22050.wav tone_mono_22050.flac -c:a flac
# Six channels: more than the layer plays, so it is refused rather than half played.
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "sine=frequency=440:duration=0.6" \
  -af "volume=0.5,pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" -bitexact -c:a flac surround_6ch.flac
# Cut off in the middle of its data.
head -c 6000 tone_stereo_44100.wma > truncated.wma
# Starts like an ASF file (its header object's GUID) and is noise after that.
python3 - <<'PY'
import random, uuid
rnd = random.Random(20240602)
asf = uuid.UUID("75B22630-668E-11CF-A6D9-00AA0062CE6C").bytes_le
open("garbage.wma", "wb").write(asf + bytes(rnd.getrandbits(8) for _ in range(8192)))
PY
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
