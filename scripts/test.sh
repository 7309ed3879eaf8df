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
# The template that every prefix starts as a copy of: only made, never started, so
# nothing a test does reaches a copy made later (the setup tests' machines).
template="$build/wineprefix"
prefixes=()
for ((slot = 0; slot < slots; slot++)); do prefixes+=("$build/wineprefix-$slot"); done
# The code page tests' own prefixes (tests/CMakeLists.txt).
mapfile -t codepage_prefixes < "$build/wine-codepage-prefixes.txt"
prefixes+=("${codepage_prefixes[@]}")

stop_wine() {
  # With the machines the setup tests and the conversation made, in case one was cut off.
  for prefix in "${prefixes[@]}" "$build"/setup-tests/*/prefix "$build"/conversation/*/prefix; do
    if [ -d "$prefix" ]; then WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true; fi
  done
}
trap stop_wine EXIT

export TUNELARK_PREFIX_TEMPLATE="$template"
WINEPREFIX="$template" "$root/scripts/wine-prefix.sh" --create
starting=()
for prefix in "${prefixes[@]}"; do
  WINEPREFIX="$prefix" "$root/scripts/wine-prefix.sh" &
  starting+=($!)
done
for pid in "${starting[@]}"; do wait "$pid"; done

# Beside the warm-up below: the lists of test cases of the programs built since the last
# run (gtest's discovery, each program run under Wine in turn: seconds after a fresh
# build), which ctest would otherwise make one after the other before its first test.
(cd "$build" && ctest -N >/dev/null 2>&1) &
listing=$!
# The system's codecs, once, outside any test: their first use on a machine reads
# GStreamer's plug-ins from disk and builds its registry (seconds on a fresh machine),
# which would otherwise eat into one test's time limit.
TUNELARK_AUDIO=capture TUNELARK_CAPTURE_FILE="$build/audio/warm-up.raw" "$build/wine-run.sh" \
  "$build/bin/fsound_tests.exe" --gtest_filter='Formats/FsoundPlayTest.*/tone_mono_22050_wma' \
  </dev/null >/dev/null 2>&1 || true
wait "$listing" || true

cd "$build"
# Seven more jobs than slots: the tests that take none (the fuzz targets, the setup
# program and the conversation on machines of their own, the loudness and import checks)
# run beside a full set of Wine tests, never in their place.
ctest --output-on-failure --timeout 60 -j "$((slots + 7))" "$@"
