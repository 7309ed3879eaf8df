#!/usr/bin/env bash
# Makes sure $WINEPREFIX exists, uses the null graphics driver and has a running
# persistent wineserver. Safe to call from several processes at once.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.tunelark-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.tunelark-ready"
fi
# A second persistent server for the same prefix exits at once, so this is idempotent.
( wineserver -p 300 </dev/null >/dev/null 2>&1 9>&- & ) || true
server_dir="$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
for _ in $(seq 100); do
  compgen -G "${TMPDIR:-/tmp}/*wine*/$server_dir/socket" >/dev/null && break
  sleep 0.05
done
# Wine's own background services inherit the standard streams of the process that
# starts them; start them here, on /dev/null, so they never hold a caller's pipe open.
wineboot </dev/null >/dev/null 2>&1 9>&- || true
