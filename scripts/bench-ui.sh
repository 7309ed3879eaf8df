#!/usr/bin/env bash
# Builds ui_bench and runs it on a virtual X display (Xvfb) with Wine's X11 driver, in a
# prefix of its own (<build>/bench-ui/prefix): what the Config Panel and the Blocklist
# dialog cost to fill with large databases. Arguments go to the bench: [--runs N] and
# the sound counts (default 1000 10000).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" --target Tunelark ui_bench >/dev/null

export WINEPREFIX="$build/bench-ui/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# No sound device: ALSA finds no PCM, and its complaints about that are left out below.
export ALSA_CONFIG_PATH="$root/scripts/alsa-none.conf"
unset WAYLAND_DISPLAY
# A display number no other X server has: Xvfb picks it and writes it down.
mkdir -p "$build/bench-ui"
rm -f "$build/bench-ui/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$build/bench-ui/display" >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k >/dev/null 2>&1 || true; kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$build/bench-ui/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$build/bench-ui/display")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  "$root/scripts/wine-fonts.sh"
  # Wine frames the windows itself: no window manager runs on the virtual display.
  for value in Managed Decorated; do
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /d N /f >/dev/null 2>&1
  done
  wineserver -w
fi
cd "$build/bin"
wine ui_bench.exe "$@" 2> >(grep -v "^ALSA lib" >&2)
