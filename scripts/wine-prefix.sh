#!/usr/bin/env bash
# Makes $WINEPREFIX ready to run programs in, and cheap to start them in.
#
#   wine-prefix.sh            creates the prefix if needed and starts it (see below)
#   wine-prefix.sh --create   only creates it
#
# Creating: a copy of $TUNELARK_PREFIX_TEMPLATE when that is set (the template is made
# first if needed; the copy hard-links the large binaries Wine never writes and copies
# everything else), otherwise a new prefix by `wineboot -i`; null graphics driver. The
# template itself is only ever created, never started (scripts/wine-run.sh refuses it).
#
# Starting: everything Wine runs in the background is started once, here, detached (own
# session, standard streams on /dev/null): a persistent wineserver, Wine's services
# (services.exe, winedevice, plugplay, rpcss...) and the desktop (explorer.exe /desktop),
# which an idle cmd.exe keeps open (Wine closes a desktop a second after its last program
# ends). A program run later then starts none of them: it neither waits for one to come
# up nor leaves one behind holding its output open, which ctest would wait for.
# A supervisor process watches them; it stops the prefix (wineserver -k) once no program
# started through scripts/wine-run.sh has run for $TUNELARK_WINE_IDLE_SECONDS (default
# 300). scripts/test.sh stops its prefixes at the end anyway.
#
# Safe to call from several processes at once (flock on $WINEPREFIX.lock). When sourced
# (as scripts/wine-run.sh does) it only defines tunelark_prefix_running, the cheap check.
set -euo pipefail

# True when $WINEPREFIX exists and its supervisor, which ends when its background
# processes do, runs: only bash built-ins, so it costs next to nothing.
tunelark_prefix_running() {
    local pid args
    [ -f "$WINEPREFIX/.tunelark-ready" ] || return 1
    { read -r pid <"$WINEPREFIX/.tunelark-running"; } 2>/dev/null || return 1
    { mapfile -d '' args <"/proc/$pid/cmdline"; } 2>/dev/null || return 1
    [ "${args[2]:-}" = --supervise ] && [ "${args[3]:-}" = "$WINEPREFIX" ]
}

if [ "${BASH_SOURCE[0]}" != "$0" ]; then return 0; fi

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mode="${1:-start}"
if [ "$mode" = --supervise ]; then export WINEPREFIX="$2"; fi
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY

ready="$WINEPREFIX/.tunelark-ready"
running="$WINEPREFIX/.tunelark-running"
inuse="$WINEPREFIX.inuse"   # scripts/wine-run.sh holds a shared lock on it while a program runs

# Runs detached (setsid, standard streams on /dev/null, no inherited locks): starts the
# background processes, writes its pid to $running once they are up, and ends with them.
supervise() {
    local idle="${TUNELARK_WINE_IDLE_SECONDS:-300}" timer age
    # Nothing in the background plays sound: give it no device, and so no capture file.
    export ALSA_CONFIG_PATH="$here/alsa-none.conf"
    unset TUNELARK_CAPTURE_FILE TUNELARK_AUDIO "${!CTEST_RESOURCE_GROUP@}"
    trap '[ "$(cat "$running" 2>/dev/null)" = $$ ] && rm -f "$running"; kill $timer 2>/dev/null' EXIT
    timer=""
    # Returns once the server listens; a second one for the same prefix exits at once.
    wineserver -p || true
    wineboot || true
    # The keeper: a cmd.exe waiting for input on a pipe that stays open as long as this
    # script runs. Any program on the desktop keeps it open; this one has no window.
    # shellcheck disable=SC2034  # KEEPER: the pipe's ends, kept open here
    coproc KEEPER { exec wine cmd.exe >/dev/null 2>&1; }
    local keeper=$KEEPER_PID
    # A program with a window makes Wine start the desktop and waits until it is up.
    wine rundll32.exe user32.dll,MessageBeep || true
    echo $$ >"$running.$$" && mv -f "$running.$$" "$running"

    exec 7>>"$inuse"
    while kill -0 "$keeper" 2>/dev/null; do
        sleep 10 &
        timer=$!
        wait -n "$keeper" "$timer" || true
        kill "$timer" 2>/dev/null || true
        timer=""
        kill -0 "$keeper" 2>/dev/null || break
        # Idle: no program running (no shared lock) and none started for a while. The
        # lock is held while stopping, so a program starting meanwhile waits, finds
        # the prefix stopped and starts it again.
        if flock -n -x 7; then
            age=$(($(date +%s) - $(stat -c %Y "$inuse")))
            if [ "$age" -ge "$idle" ]; then
                rm -f "$running"
                wineserver -k || true
                break
            fi
            flock -u 7
        fi
    done
}

create() {
    local template="${TUNELARK_PREFIX_TEMPLATE:-}"
    if [ -n "$template" ] && [ "$(realpath -m "$template")" != "$(realpath -m "$WINEPREFIX")" ]; then
        WINEPREFIX="$template" bash "$0" --create 9>&-
        # Made again when the template was made since.
        [ -f "$ready" ] && [ "$ready" -nt "$template/.tunelark-template" ] && return 0
        wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
        local copy="$WINEPREFIX.copy-$$"
        rm -rf "$copy" "$WINEPREFIX"
        cp -al "$template" "$copy"
        # Hard links only for the binaries; registry files and the rest are written to.
        find "$copy" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.sys' \
            -o -iname '*.drv' -o -iname '*.nls' -o -iname '*.vxd' -o -iname '*.ocx' \
            -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.tlb' -o -iname '*.ds' \
            -o -iname '*.ax' -o -iname '*.com' -o -iname '*.mod' -o -iname '*.msstyles' \
            -o -iname '*.fon' -o -iname '*.ttf' \) \
            -exec sh -c 'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"; done' sh {} +
        # The template's run state and mark, and (Debian's wine) the pointer to its
        # server's directory.
        rm -f "$copy/.tunelark-running" "$copy/.tunelark-template" "$copy/wineserver"
        mv "$copy" "$WINEPREFIX"
    else
        # A template is marked when made. Without the mark it is an older build's, which
        # ran tests in it (it was slot 0): made anew, and so are its copies.
        if [ -n "$template" ]; then
            [ -f "$ready" ] && [ -f "$WINEPREFIX/.tunelark-template" ] && return 0
            wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
            rm -f "$ready"
        fi
        [ -f "$ready" ] && return 0
        rm -rf "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 9>&-
        # No game controllers: Wine's SDL bus looks for them all the time, 2% of a core
        # per running prefix.
        wine reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v 'Enable SDL' /t REG_DWORD /d 0 /f \
            </dev/null >/dev/null 2>&1 9>&-
        "$here/wine-fonts.sh" 9>&-
        wineserver -w
        if [ -n "$template" ]; then touch "$WINEPREFIX/.tunelark-template"; fi
    fi
    touch "$ready"
}

case "$mode" in
--supervise)
    supervise
    exit 0 ;;
--create|start) ;;
*)
    echo "usage: wine-prefix.sh [--create]" >&2
    exit 2 ;;
esac

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
create
# A share on the network as Wine maps one: \\tlserver\share is this prefix's C:, so a
# test can name a sound file by a network path that really opens.
# Made only where missing or copied from the template: other prefixes may be copying
# this one meanwhile.
mkdir -p "$WINEPREFIX/dosdevices/unc/tlserver"
[ "$(readlink "$WINEPREFIX/dosdevices/unc/tlserver/share")" = "$WINEPREFIX/drive_c" ] ||
    ln -sfn "$WINEPREFIX/drive_c" "$WINEPREFIX/dosdevices/unc/tlserver/share"
[ "$mode" = --create ] && exit 0
tunelark_prefix_running && exit 0

rm -f "$running"
setsid -f bash "$0" --supervise "$WINEPREFIX" </dev/null >/dev/null 2>&1 7>&- 8>&- 9>&-
for _ in $(seq 1200); do
    tunelark_prefix_running && exit 0
    sleep 0.1
done
echo "wine-prefix.sh: $WINEPREFIX did not start within 120 s" >&2
exit 1
