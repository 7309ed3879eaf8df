#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export TUNELARK_BUILD_DIR="${TUNELARK_BUILD_DIR:-$root/build}"
build="$TUNELARK_BUILD_DIR"

"$root/scripts/build.sh"

export WINEPREFIX="$build/wineprefix"
stop_wine() { WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
"$root/scripts/wine-prefix.sh"

cd "$build"
ctest --output-on-failure --timeout 300 "$@"
