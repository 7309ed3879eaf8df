#!/usr/bin/env bash
# Builds notify_bench and runs it under Wine in the build's own prefix, with sound going
# to a capture file: what a notification costs the host's thread when it finds its sender
# among 50 contacts, and when it cuts off a playing sound, against the registry values it
# reads, read the plain way; and a burst of 1000 notifications from one contact: what each
# call costs, and closing right after it against closing right after one notification.
# Arguments go to the second run (the number of calls).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"

"$root/scripts/build.sh" --target notify_bench
export TUNELARK_AUDIO=capture TUNELARK_CAPTURE_FILE="$build/audio/bench-notify.raw"
cd "$build/bin"
"$build/wine-run.sh" notify_bench.exe 50 200
"$build/wine-run.sh" notify_bench.exe --playing "$@"
exec "$build/wine-run.sh" notify_bench.exe --burst 1000 3
