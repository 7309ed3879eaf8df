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

# --- MPEG and Ogg: encoder info frames and damaged files --------------------------
# lame writes an info frame (Xing/"Info" with its LAME extension) first by default;
# the tone starts at once, so any silence before it is the player's.
tone src_stereo_44100.wav 0.6 44100 2 16
tone src_mono_48000.wav 0.6 48000 1 16
tone src_long_44100.wav 3 44100 2 16
lame --quiet -V 4 src_stereo_44100.wav tone_lame_vbr.mp3
lame --quiet -b 64 src_mono_48000.wav tone_lame_cbr_48000.mp3
lame --quiet -t -b 128 src_stereo_44100.wav tone_no_info.mp3   # no info frame at all
lame --quiet -b 128 src_long_44100.wav long_44100.mp3
oggenc -Q -q 6 src_long_44100.wav -o long_44100.ogg
if command -v twolame >/dev/null; then
  twolame --quiet -b 192 src_long_44100.wav long_44100.mp2
fi
rm -f src_*.wav
python3 - <<'PY'
import os, random, struct
rnd = random.Random(20240602)

def crc(data):
    r = 0
    for b in data:
        r ^= b << 24
        for _ in range(8):
            r = ((r << 1) ^ 0x04C11DB7) if r & 0x80000000 else r << 1
        r &= 0xFFFFFFFF
    return r

def pages(d):
    i = 0
    while i < len(d):
        n = d[i + 26]
        end = i + 27 + n + sum(d[i + 27:i + 27 + n])
        yield i, i + 27 + n, end
        i = end

def recrc(d, start, end):
    d[start + 22:start + 26] = b"\0\0\0\0"
    d[start + 22:start + 26] = struct.pack("<I", crc(bytes(d[start:end])))

ogg = bytearray(open("long_44100.ogg", "rb").read())
p = list(pages(ogg))
assert len(p) >= 5, "want several audio pages"
# A comment header whose count claims more than the file holds, with a correct CRC:
# the decoder's clean-up after the failed header read used to follow a null pointer.
d = bytearray(ogg)
s, body, e = p[1]
vendor = struct.unpack_from("<I", d, body + 7)[0]
struct.pack_into("<I", d, body + 11 + vendor, 0x7FFFFFFF)
recrc(d, s, e)
open("bad_comment_count.ogg", "wb").write(d)
# The setup header's page damaged in transit (its CRC no longer matches).
d = bytearray(ogg)
s, body, e = p[1]
for k in range(e - 200, e - 100):
    d[k] = rnd.getrandbits(8)
open("bad_setup_page.ogg", "wb").write(d)
# A damaged page in the middle: what comes before it may play, nothing after.
d = bytearray(ogg)
s, body, e = p[len(p) - 2]
for k in range(body + 10, e - 10):
    d[k] = rnd.getrandbits(8)
open("bad_middle_page.ogg", "wb").write(d)
open("cut_mid_page.ogg", "wb").write(ogg[:(p[3][0] + p[3][2]) // 2])

def frames(d):
    i = d.find(b"\xff\xfb")
    while i + 4 <= len(d) and d[i] == 0xFF:
        size = 144 * 128000 // 44100 + ((d[i + 2] >> 1) & 1)
        yield i, size
        i += size

mp3 = open("long_44100.mp3", "rb").read()
f = list(frames(mp3))
# A frame in the middle overwritten with noise, header included.
d = bytearray(mp3)
s, n = f[len(f) // 2]
for k in range(s, s + n):
    d[k] = rnd.getrandbits(8)
open("bad_frame.mp3", "wb").write(d)
# A frame header that lies: another layer and rate, mid-stream.
d = bytearray(mp3)
s, n = f[len(f) // 2]
d[s + 1:s + 3] = b"\xfd\x14"
open("lying_header.mp3", "wb").write(d)
open("cut_mid_frame.mp3", "wb").write(mp3[:f[len(f) // 2][0] + 100])
# Noise full of false syncs after a believable start.
d = bytearray(mp3[:f[3][0]])
for _ in range(4000):
    d += bytes([0xFF, 0xFB, rnd.getrandbits(8), rnd.getrandbits(8)])
    d += bytes(rnd.getrandbits(8) for _ in range(rnd.randrange(1, 40)))
open("false_syncs.mp3", "wb").write(d)
if os.path.exists("long_44100.mp2"):
    mp2 = open("long_44100.mp2", "rb").read()
    open("cut_mid_frame.mp2", "wb").write(mp2[:len(mp2) // 2 + 123])
PY
# ----------------------------------------------------------------------------------

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
