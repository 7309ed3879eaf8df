#!/usr/bin/env python3
"""The loudness meter against ffmpeg's ebur128, and the starter pack's levels.

    loudness_tests.py PROBE SOUNDS_DIR STARTER_DIR LOUDNESS_H

The meter (tests/loudness_probe.cpp, built natively) and ffmpeg measure the same 16-bit
samples of the test tones (every WAV encoding) and the starter pack: within 0.5 LU. ffmpeg
answers -70 LUFS for a sound shorter than one 400 ms block, which the meter measures as one
block of its own length: ffmpeg then measures it padded to a block, the silence taken out of
its figure. Below 8000 Hz ffmpeg's filters go wrong, and at 11 025 Hz (100 ms is no whole
number of samples) it wants a second block: such a file it measures resampled to 48 kHz.
Each starter sound must be within 1 LU of TargetLoudness (from LOUDNESS_H), peak <= -1 dBFS.
"""
import concurrent.futures
import glob
import math
import os
import re
import subprocess
import sys
import tempfile

AGREEMENT = 0.5  # LU, meter against ffmpeg
LEVELLED = 1.0  # LU, a starter sound against the target
CEILING = -1.0  # dBFS, a starter sound's highest peak
R128 = "ebur128=metadata=1,ametadata=print:file=-"


def run(args, data=None):
    return subprocess.run(args, input=data, capture_output=True, check=True)


def ffmpeg_lufs(path, filters, output=("-f", "null", "-")):
    """ffmpeg's integrated loudness of the file through the filters, and what it logged."""
    done = run(["ffmpeg", "-nostdin", "-nostats", "-hide_banner", "-y", "-i", path, "-af", filters + R128, *output])
    return float(re.findall(r"lavfi\.r128\.I=(\S+)", done.stdout.decode())[-1]), done.stderr.decode()


def measure(probe, path, work):
    """(meter LUFS, meter peak, ffmpeg LUFS, rate, channels, seconds, how ffmpeg measured)"""
    raw = os.path.join(work, os.path.basename(path) + ".raw")
    reference, log = ffmpeg_lufs(path, "", ("-f", "s16le", raw))  # decoded and measured at once
    rate, layout = re.search(r"Output #0.*Audio: pcm_s16le, (\d+) Hz, (mono|stereo)", log, re.S).groups()
    rate, channels = int(rate), 1 if layout == "mono" else 2
    with open(raw, "rb") as pcm:
        lufs, peak, seconds = map(float, run([probe, str(rate), str(channels)], pcm.read()).stdout.split())
    resample, short = rate < 8000 or rate % 10, seconds < 0.4
    if resample or short:
        filters = ("aresample=48000," if resample else "") + ("apad=whole_dur=0.45," if short else "")
        reference = ffmpeg_lufs(path, filters)[0] + (10 * math.log10(0.4 / seconds) if short else 0)
    how = " ".join(word for word, used in (("at 48 kHz", resample), ("padded", short)) if used)
    return lufs, peak, reference, rate, channels, seconds, how


def main(probe, sounds, starter, header):
    target = float(re.search(r"TargetLoudness = (-?[\d.]+)", open(header).read()).group(1))
    tones = sorted(glob.glob(os.path.join(sounds, "tone_*.wav")) + glob.glob(os.path.join(sounds, "long_*.wav")))
    packed = sorted(glob.glob(os.path.join(starter, "*.ogg")))
    failures = [f"no files in {d}" for d, files in ((sounds, tones), (starter, packed)) if not files]
    checks = len(failures)
    with tempfile.TemporaryDirectory() as work, concurrent.futures.ThreadPoolExecutor(2) as pool:
        results = pool.map(lambda p: measure(probe, p, work), tones + packed)
        for path, (lufs, peak, reference, rate, channels, seconds, how) in zip(tones + packed, results):
            name, peak_db = os.path.basename(path), 20 * math.log10(peak) if peak else -math.inf
            print(f"{name:36} {rate:6} Hz {channels} ch {seconds:5.2f} s  meter {lufs:7.2f} LUFS"
                  f"  ffmpeg {reference:7.2f} {how:9}  {lufs - reference:+.2f} LU  peak {peak_db:6.2f} dBFS")
            checks += 1
            if not abs(lufs - reference) <= AGREEMENT:
                failures.append(f"{name}: the meter says {lufs:.2f} LUFS, ffmpeg {reference:.2f}")
            if path in packed:
                checks += 1
                if peak_db > CEILING or not abs(lufs - target) <= LEVELLED:
                    failures.append(f"{name}: {lufs:.2f} LUFS, peak {peak_db:.2f} dBFS; want {target} LUFS "
                                    f"within {LEVELLED} LU, peak at most {CEILING} dBFS")
    for failure in failures:
        print("FAILED:", failure)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
