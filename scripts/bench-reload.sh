#!/usr/bin/env bash
# Builds reload_bench and runs it under Wine in the build's own prefix: reload and
# lookup cost of the sound database and the blocklist as they grow. Arguments are the
# sound counts to measure (default 1000 10000 50000).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"

"$root/scripts/build.sh" --target reload_bench
exec "$build/wine-run.sh" "$build/bin/reload_bench.exe" "$@"
