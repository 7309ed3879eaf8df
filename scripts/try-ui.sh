#!/usr/bin/env bash
# Opens the Config Panel on a small demo database under Wine, on your display, so a
# person can click through it. Needs DISPLAY. Its Wine prefix is its own
# (<build>/try-ui/prefix), so nothing of yours is touched.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"
: "${DISPLAY:?try-ui.sh shows windows: run it with a display (DISPLAY set)}"

"$root/scripts/build.sh" --target Tunelark tlhost tlpack >/dev/null
home="$build/try-ui"
export WINEPREFIX="$home/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  "$root/scripts/wine-fonts.sh"
  wineserver -w
fi

pack="Tunelark Demo"
dir="$home/plugin/Tunelark/$pack"
rm -rf "$home/plugin"
bash "$root/scripts/make_demo_pack.sh" "$dir"
printf '[Header]\r\nTotalSounds=3\r\nName=%s\r\nArtist=The Tunelark team\r\nVersion=1.0\r\n' "$pack" > "$dir/install.ini"
n=0
for sound in "7001 moo moo.wav says moo" "7002 baa baa.mp3 bleats at you" "7003 ding ding.ogg rings a bell"; do
  read -r index command file message <<<"$sound"
  n=$((n + 1))
  printf '[Sound%d]\r\nSoundIndex=%s\r\nCommand=%s\r\nFilename=%s\r\nMessage=%s\r\n' \
    "$n" "$index" "$command" "$file" "$message" >> "$dir/install.ini"
done
winpath() { echo "Z:${1//\//\\}"; }
wine reg delete 'HKLM\SOFTWARE\vorquell_ software' /f >/dev/null 2>&1 || true
wine reg add 'HKLM\Software\Drovask\MsgPlus2' /v PluginDir /d "$(winpath "$home/plugin")" /f >/dev/null
(cd "$build/bin" && wine tlpack.exe install "$(winpath "$dir/install.ini")")

echo "The Config Panel opens; close it to end."
cd "$build/bin"
printf '/xTLConfig\n:quit\n' | wine tlhost.exe --me You --contact "A friend|friend@example.com"
