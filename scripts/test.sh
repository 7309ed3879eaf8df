#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"
export TUNELARK_BUILD_DIR="$build"

"$root/scripts/setup.sh"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"

export WINEPREFIX="$build/wineprefix"
stop_wine() { WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
"$root/scripts/wine-prefix.sh"

cd "$build"
ctest --output-on-failure --timeout 300 "$@"
