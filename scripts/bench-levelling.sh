#!/usr/bin/env bash
# Builds levelling_bench and runs it under Wine in the build's own prefix, with sound
# going to a capture file: the loudness, sample peak and longest flat run of each
# sound's first and second play with loudness evened out. Arguments: [runs] [files...]
# (default: the level_* test sounds and two of the starter pack's).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"

"$root/scripts/build.sh" --target levelling_bench
export TUNELARK_AUDIO=capture TUNELARK_CAPTURE_FILE="$build/audio/bench-levelling.raw"
runs=3
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then runs="$1"; shift; fi
files=("$@")
[ ${#files[@]} -gt 0 ] || files=(level_quiet_intro.wav level_quiet_intro.ogg level_fade_in.wav
                                  level_late_click.wav level_under_ceiling.wav)
cd "$build/bin"
exec "$build/wine-run.sh" levelling_bench.exe "$runs" "${files[@]}"
