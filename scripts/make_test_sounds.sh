#!/usr/bin/env bash
# Makes the short sounds the tests play, into the directory given (created if needed):
# tones as PCM WAV (8/16-bit, mono/stereo, several rates), MP3, MP2 and Ogg Vorbis, and
# a few files that only look like sounds. Everything is generated, so nothing
# third-party lands in the repository.
set -euo pipefail
out="${1:?usage: make_test_sounds.sh OUTPUT_DIR}"
mkdir -p "$out"
cd "$out"

# sox dithers with fresh noise at every run unless told to repeat itself: without -R each
# build's files would differ, and a codec's overshoot with them.
sox() { command sox -R "$@"; }

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
# The lowest rate played (its tone well below the 500 Hz it can carry) and the highest.
sox -q -n -r 1000 -c 1 -b 16 -e signed tone_16bit_mono_1000.wav synth 0.5 sine 220 vol 0.5
# Rates that do not divide 8 000: raised by 3 and by 2, across several 256-frame chunks.
tone tone_16bit_stereo_3000.wav 0.5 3000 2 16
tone tone_16bit_mono_5000.wav 0.5 5000 1 16
tone tone_16bit_stereo_192000.wav 0.3 192000 2 16

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
# Damage after the first second of the 3 s (the page after the first whose granule
# position passes 1 s): that page lost, or its granule position going backwards with
# its CRC still right. Only the sound before the damage may play.
k = next(i for i, (st, _, _) in enumerate(p) if struct.unpack_from("<q", ogg, st + 6)[0] >= 44100) + 1
assert k < len(p) - 1, "the damage must be in the middle"
open("missing_middle_page.ogg", "wb").write(ogg[:p[k][0]] + ogg[p[k][2]:])
d = bytearray(ogg)
struct.pack_into("<q", d, p[k][0] + 6, struct.unpack_from("<q", ogg, p[k - 1][0] + 6)[0] - 4096)
recrc(d, p[k][0], p[k][2])
open("granule_backwards.ogg", "wb").write(d)

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

# --- WAV in every encoding recorders and editors write, and headerless RAW ---------------
wavtone() {  # wavtone FILE SECONDS RATE CHANNELS SOX-ENCODING-ARGS...
  local f=$1 secs=$2 rate=$3 ch=$4 freqs=(sine 440)
  shift 4
  [ "$ch" = 2 ] && freqs=(sine 440 sine 660)
  sox -q -n -r "$rate" -c "$ch" "$@" "$f" synth "$secs" "${freqs[@]}" vol 0.5
}
wavtone tone_24bit_ext_mono_48000.wav 0.5 48000 1 -e signed -b 24      # sox writes EXTENSIBLE
wavtone src_24bit_stereo_44100.wav 0.4 44100 2 -e signed -b 24
wavtone tone_32bit_ext_stereo_96000.wav 0.3 96000 2 -e signed -b 32
wavtone src_32bit_mono_16000.wav 0.5 16000 1 -e signed -b 32
wavtone tone_float_mono_22050.wav 0.5 22050 1 -e floating-point -b 32  # sox writes plain tag 3
wavtone src_float_stereo_48000.wav 0.4 48000 2 -e floating-point -b 32
wavtone tone_double_stereo_8000.wav 0.5 8000 2 -e floating-point -b 64
wavtone src_double_mono_32000.wav 0.4 32000 1 -e floating-point -b 64
wavtone tone_ulaw_mono_8000.wav 0.5 8000 1 -e mu-law
wavtone tone_alaw_stereo_16000.wav 0.4 16000 2 -e a-law
wavtone tone_ima_mono_22050.wav 0.5 22050 1 -e ima-adpcm
wavtone tone_ima_stereo_22050.wav 0.4 22050 2 -e ima-adpcm
wavtone tone_msadpcm_mono_11025.wav 0.45 11025 1 -e ms-adpcm
wavtone tone_msadpcm_stereo_48000.wav 0.4 48000 2 -e ms-adpcm
wavtone tone_gsm_mono_8000.wav 0.5 8000 1 -e gsm-full-rate
wavtone src_16bit_stereo_44100.wav 0.5 44100 2 -e signed -b 16
sox -q src_16bit_stereo_44100.wav -t raw tone_stereo_44100.raw
cp tone_stereo_44100.raw TONE_UPPER.RAW
# The same sound, not named .raw: nothing says what it is, so it is refused.
cp tone_stereo_44100.raw raw_as.snd
: > empty.raw

python3 - <<'PY'
import struct

def chunks(path):
    d = open(path, "rb").read()
    out, p = [], 12
    while p + 8 <= len(d):
        cid, size = d[p:p + 4], struct.unpack("<I", d[p + 4:p + 8])[0]
        out.append((cid, d[p + 8:p + 8 + size]))
        p += 8 + size + (size & 1)
    return out

def chunk(cid, body):
    return cid + struct.pack("<I", len(body)) + body + (b"\0" if len(body) & 1 else b"")

def riff(parts, size=None):
    body = b"WAVE" + b"".join(parts)
    return b"RIFF" + struct.pack("<I", len(body) if size is None else size) + body

def fmt_of(path):
    return dict(chunks(path))[b"fmt "]

def data_of(path):
    return dict(chunks(path))[b"data"]

TAIL = bytes.fromhex("000000001000800000aa00389b71")

def plain(fmt):  # WAVE_FORMAT_EXTENSIBLE -> the plain tag of its subformat
    return fmt[24:26] + fmt[2:16]

def extensible(fmt):  # plain tag -> WAVE_FORMAT_EXTENSIBLE with that subformat
    ch, bits = struct.unpack("<H", fmt[2:4])[0], struct.unpack("<H", fmt[14:16])[0]
    mask = 4 if ch == 1 else 3
    return b"\xfe\xff" + fmt[2:16] + struct.pack("<HHI", 22, bits, mask) + fmt[0:2] + TAIL

def write(name, data):
    open(name, "wb").write(data)

def rewrap(src, dst, fmt):
    write(dst, riff([chunk(b"fmt ", fmt), chunk(b"data", data_of(src))]))

rewrap("src_24bit_stereo_44100.wav", "tone_24bit_stereo_44100.wav", plain(fmt_of("src_24bit_stereo_44100.wav")))
rewrap("src_32bit_mono_16000.wav", "tone_32bit_mono_16000.wav", plain(fmt_of("src_32bit_mono_16000.wav")))
rewrap("src_float_stereo_48000.wav", "tone_float_ext_stereo_48000.wav", extensible(fmt_of("src_float_stereo_48000.wav")))
rewrap("src_double_mono_32000.wav", "tone_double_ext_mono_32000.wav", extensible(fmt_of("src_double_mono_32000.wav")))

# An odd-sized chunk before the data, with its pad byte.
src = "src_16bit_stereo_44100.wav"
write("tone_oddchunk_stereo_44100.wav",
      riff([chunk(b"fmt ", fmt_of(src)), chunk(b"LIST", b"INFOISFT\x05\0\0\0tone\0"), chunk(b"data", data_of(src))]))
# As streaming writers leave them: no sizes filled in.
def streaming(src, dst, size):
    parts = [chunk(cid, body) for cid, body in chunks(src) if cid != b"data"]
    write(dst, riff(parts + [b"data" + struct.pack("<I", size) + data_of(src)], size))
streaming(src, "tone_streaming_ffff_stereo_44100.wav", 0xFFFFFFFF)
streaming("tone_ima_mono_22050.wav", "tone_streaming_zero_ima_22050.wav", 0)

# Broken ones: each must be refused or end cleanly, and never be loud.
good_fmt, good_data = fmt_of("tone_16bit_mono_44100.wav"), data_of("tone_16bit_mono_44100.wav")
def with_fmt(**changes):
    tag, ch, rate, avg, align, bits = struct.unpack("<HHIIHH", good_fmt[:16])
    v = dict(tag=tag, ch=ch, rate=rate, avg=avg, align=align, bits=bits)
    v.update(changes)
    return struct.pack("<HHIIHH", v["tag"], v["ch"], v["rate"], v["avg"], v["align"], v["bits"])
broken = {
    "truncated_header": open("tone_16bit_mono_44100.wav", "rb").read()[:30],
    "data_before_fmt": riff([chunk(b"data", good_data), chunk(b"fmt ", good_fmt)]),
    "no_data": riff([chunk(b"fmt ", good_fmt), chunk(b"LIST", b"INFO")]),
    "zero_channels": riff([chunk(b"fmt ", with_fmt(ch=0)), chunk(b"data", good_data)]),
    "zero_rate": riff([chunk(b"fmt ", with_fmt(rate=0)), chunk(b"data", good_data)]),
    "zero_block_align": riff([chunk(b"fmt ", with_fmt(align=0)), chunk(b"data", good_data)]),
    "many_channels": riff([chunk(b"fmt ", with_fmt(ch=65535, align=65534)), chunk(b"data", good_data)]),
    "absurd_rate": riff([chunk(b"fmt ", with_fmt(rate=0xFFFFFFFF)), chunk(b"data", good_data)]),
    "rate_999": riff([chunk(b"fmt ", with_fmt(rate=999, avg=1998)), chunk(b"data", good_data)]),
    "rate_192001": riff([chunk(b"fmt ", with_fmt(rate=192001, avg=384002)), chunk(b"data", good_data)]),
    "bits_beyond_block": riff([chunk(b"fmt ", with_fmt(bits=64)), chunk(b"data", good_data)]),
    "fmt_size_lies": riff([b"fmt " + struct.pack("<I", 0xFFFFFFF0) + good_fmt, chunk(b"data", good_data)]),
    "riff_size_tiny": riff([chunk(b"fmt ", good_fmt), chunk(b"data", good_data)], 4),
    "unknown_subformat": riff([chunk(b"fmt ", extensible(good_fmt)[:24] + b"\x55\x55" + TAIL),
                               chunk(b"data", good_data)]),
    "unknown_codec": riff([chunk(b"fmt ", with_fmt(tag=0x1234)), chunk(b"data", good_data)]),
    # The data claims far more than the file holds: what is there plays, then it ends.
    "data_size_lies": riff([chunk(b"fmt ", good_fmt), b"data" + struct.pack("<I", 0x7FFFFFF0) + good_data]),
    "ima_cut_mid_block": open("tone_ima_mono_22050.wav", "rb").read()[:-300],
}
fmt = bytearray(fmt_of("tone_ima_mono_22050.wav"))
fmt[16:18] = struct.pack("<H", 200)  # cbSize beyond the chunk
broken["cbsize_lies"] = riff([chunk(b"fmt ", bytes(fmt)), chunk(b"data", data_of("tone_ima_mono_22050.wav"))])
# MS ADPCM whose later blocks name predictors the format does not have.
ms_fmt, ms_data = fmt_of("tone_msadpcm_mono_11025.wav"), bytearray(data_of("tone_msadpcm_mono_11025.wav"))
align = struct.unpack("<H", ms_fmt[12:14])[0]
for b in range(len(ms_data) // align // 2, len(ms_data) // align):
    ms_data[b * align] = 0xEE
broken["msadpcm_bad_predictor"] = riff([chunk(b"fmt ", ms_fmt), chunk(b"data", bytes(ms_data))])
for name, data in broken.items():
    write("broken_" + name + ".wav", data)
PY
rm -f src_*.wav

# --- Levelling: sounds whose start misleads a first measurement ---------------------
# 48 kHz stereo, as the capture device runs, so what a test hears compares sample by sample.
lvl() { sox -q -n -r "${RATE:-48000}" -c 2 -b 16 -e signed "$@"; }
# A quiet start (0.6 s at -40 dBFS), then a body that peaks at full scale.
lvl src_intro.wav synth 0.6 sine 440 sine 660 vol 0.01
lvl src_body.wav synth 1.4 sine 440 sine 660 vol 1.0
sox -q src_intro.wav src_body.wav level_quiet_intro.wav
# As a desktop log-off sound: 4 s of Ogg Vorbis whose first half-second is quiet.
RATE=44100 lvl src_intro.wav synth 0.5 sine 330 sine 495 vol 0.01
RATE=44100 lvl src_body.wav synth 3.5 sine 330 sine 495 vol 0.9 tremolo 3 60
sox -q src_intro.wav src_body.wav src_logoff.wav
oggenc -Q -q 4 src_logoff.wav -o level_quiet_intro.ogg
# Fades in over 2 s to full scale, then holds for 1 s.
lvl level_fade_in.wav synth 3 sine 440 sine 660 vol 1.0 fade t 2
# A single loud click (3 ms at full scale) after 1 s of near-silence (-60 dBFS noise).
lvl src_hush.wav synth 1 whitenoise vol 0.001
lvl src_click.wav synth 0.003 sine 1000 vol 1.0
lvl src_tail.wav synth 0.3 whitenoise vol 0.001
sox -q src_hush.wav src_click.wav src_tail.wav level_late_click.wav
# Quiet throughout (peak -20 dBFS): raised by one factor, its peak well under the ceiling.
lvl level_under_ceiling.wav synth 1 sine 440 sine 660 vol 0.1
# A low-rate MP3 (8 kbit/s, 8 kHz mono), slow to decode for its length.
sox -q -n -r 8000 -c 1 -b 16 -e signed src_low.wav synth 0.6 sine 440 vol 0.5
lame --quiet -b 8 src_low.wav tone_mono_8000_8k.mp3
rm -f src_*.wav
touch .complete
