#!/usr/bin/env bash
# Builds playback_latency_bench and runs it under Wine in the build's own prefix, with
# sound going to a capture file: the time from a play request to the first buffer at
# the device per format, and how long a request that cuts off a playing sound holds the
# caller's thread. The argument is the runs per figure (default 20).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"

"$root/scripts/build.sh" --target playback_latency_bench
export TUNELARK_AUDIO=capture TUNELARK_CAPTURE_FILE="$build/audio/bench-playback.raw"
cd "$build/bin"
exec "$build/wine-run.sh" playback_latency_bench.exe "$@"
