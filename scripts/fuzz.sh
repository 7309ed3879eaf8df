#!/usr/bin/env bash
# Builds a fuzz target (tests/fuzz/TARGET_fuzz.cpp; the name stripping by default)
# natively with clang (libFuzzer, ASan, UBSan) into the given directory and runs a fixed
# number of inputs from a fixed seed. Fails on any finding.
# Usage: fuzz.sh BUILD_DIR [RUNS] [TARGET]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:?usage: fuzz.sh BUILD_DIR [RUNS] [TARGET]}"
runs="${2:-500000}"
target="${3:-strip_plus_codes}"
mkdir -p "$out"

# What each target links, its seeds and its largest input.
case "$target" in
  strip_plus_codes) sources=(plugin/names/strip_plus_codes.cpp) seeds=corpus max_len=256 ;;
  wav_parse) sources=(fsound/wav_parse.cpp) seeds=wav_parse_corpus max_len=4096 ;;
  *) echo "fuzz.sh: no such target: $target" >&2; exit 2 ;;
esac

binary="$out/${target}_fuzz"
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -D_GLIBCXX_ASSERTIONS \
  -I"$root" \
  "$root/tests/fuzz/${target}_fuzz.cpp" "${sources[@]/#/$root/}" \
  -o "$binary"

# New inputs go to a scratch corpus so the checked-in seeds stay as they are.
work="$out/${target}_corpus"
rm -rf "$work" && mkdir -p "$work"
cd "$out"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"$binary" -seed=1 -runs="$runs" -max_len="$max_len" -timeout=10 -print_final_stats=1 \
  "$work" "$root/tests/fuzz/$seeds"
