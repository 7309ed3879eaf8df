#!/usr/bin/env bash
# The main job: runs the plug-in inside the host stand-in under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"
export TUNELARK_BUILD_DIR="$build"

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" --target Tunelark tlhost >/dev/null

export TUNELARK_WINEPREFIX="$build/demo-prefix" WINEPREFIX="$build/demo-prefix"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
cd "$build/bin"
"$build/wine-run.sh" tlhost.exe --me "Alice" --contact "Bob|bob@example.com" <<'INPUT'
:toast Hello from the host stand-in
/xTLReload
:quit
INPUT
