#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test under Wine. Extra arguments
# go to ctest.
#
# Tests run several at a time, each in a Wine prefix of its own (a "slot", see
# tests/CMakeLists.txt). All the prefixes are made and started here, before ctest, with
# their background processes detached (scripts/wine-prefix.sh), and stopped at the end.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export TUNELARK_BUILD_DIR="${TUNELARK_BUILD_DIR:-$root/build}"
build="$TUNELARK_BUILD_DIR"

"$root/scripts/build.sh"

slots="$(grep -c '"id"' "$build/wine-slots.json")"
prefixes=("$build/wineprefix")
for ((slot = 1; slot < slots; slot++)); do prefixes+=("$build/wineprefix-$slot"); done
# The code page tests' own prefixes (tests/CMakeLists.txt).
mapfile -t codepage_prefixes < "$build/wine-codepage-prefixes.txt"
prefixes+=("${codepage_prefixes[@]}")

stop_wine() {
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  done
}
trap stop_wine EXIT

# The first is the template of the others: made first, then the others start at once.
export TUNELARK_PREFIX_TEMPLATE="${prefixes[0]}"
starting=()
for prefix in "${prefixes[@]}"; do
  WINEPREFIX="$prefix" "$root/scripts/wine-prefix.sh" &
  starting+=($!)
  [ "$prefix" = "${prefixes[0]}" ] && wait "${starting[0]}"
done
for pid in "${starting[@]:1}"; do wait "$pid"; done

# The system's codecs, once, outside any test: their first use on a machine reads
# GStreamer's plug-ins from disk and builds its registry (seconds on a fresh machine),
# which would otherwise eat into one test's time limit.
TUNELARK_AUDIO=capture TUNELARK_CAPTURE_FILE="$build/audio/warm-up.raw" "$build/wine-run.sh" \
  "$build/bin/fsound_tests.exe" --gtest_filter='Formats/FsoundPlayTest.*/tone_mono_22050_wma' \
  </dev/null >/dev/null 2>&1 || true

cd "$build"
# One more job than slots: the tests without Wine (fuzzing, the conversation, which has
# prefixes of its own) run beside them.
ctest --output-on-failure --timeout 60 -j "$((slots + 1))" "$@"
