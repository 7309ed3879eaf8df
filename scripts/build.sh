#!/usr/bin/env bash
# Sets up the machine and builds into $TUNELARK_BUILD_DIR (default build/); extra
# arguments go to `cmake --build` (for example --target tlhost).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" "$@"
