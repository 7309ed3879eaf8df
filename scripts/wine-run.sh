#!/usr/bin/env bash
# Runs a Windows program under Wine in a throw-away prefix ($WINEPREFIX, by default
# the build's slot 0). The prefix is created on first use with the null graphics driver
# (a copy of $TUNELARK_PREFIX_TEMPLATE when that is set), and its background processes
# (wineserver, services, desktop) are started once, detached, by scripts/wine-prefix.sh;
# later starts only check that they run. They stop on their own after a while without
# programs; scripts/test.sh stops them at the end.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
: "${TUNELARK_BUILD_DIR:=$(cd "$here/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX:-$TUNELARK_BUILD_DIR/wineprefix-0}"
# The template stays as Wine made it, so that every copy starts clean.
if [ -n "${TUNELARK_PREFIX_TEMPLATE:-}" ] &&
   [ "$(realpath -m "$WINEPREFIX")" = "$(realpath -m "$TUNELARK_PREFIX_TEMPLATE")" ]; then
  echo "wine-run.sh: $WINEPREFIX is the template of the other prefixes; nothing runs in it" >&2
  exit 2
fi
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY

# Sound for tests, without touching the machine's ALSA setup. TUNELARK_AUDIO=capture:
# one output device that records into $TUNELARK_CAPTURE_FILE (default
# <build>/audio/capture.raw); TUNELARK_AUDIO=none: no output device. Unset: as is.
case "${TUNELARK_AUDIO:-}" in
  capture)
    export TUNELARK_CAPTURE_FILE="${TUNELARK_CAPTURE_FILE:-$TUNELARK_BUILD_DIR/audio/capture.raw}"
    mkdir -p "$(dirname "$TUNELARK_CAPTURE_FILE")"
    export ALSA_CONFIG_PATH="$here/alsa-capture.conf" ;;
  none)
    unset TUNELARK_CAPTURE_FILE
    export ALSA_CONFIG_PATH="$here/alsa-none.conf" ;;
esac

# While the program runs it holds a shared lock, which tells the prefix's supervisor that
# the prefix is in use (opening the file also dates its last use).
mkdir -p "$(dirname "$WINEPREFIX")"
exec 8>"$WINEPREFIX.inuse"
flock -s 8
# Only defines tunelark_prefix_running when sourced.
# shellcheck source=/dev/null
source "$here/wine-prefix.sh"
tunelark_prefix_running || "$here/wine-prefix.sh"
exec wine "$@"
