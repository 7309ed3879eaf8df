#!/usr/bin/env bash
# Builds the name-stripping fuzz target natively with clang (libFuzzer, ASan, UBSan)
# into the given directory and runs a fixed number of inputs from a fixed seed.
# Fails on any finding. Usage: fuzz.sh BUILD_DIR [RUNS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:?usage: fuzz.sh BUILD_DIR [RUNS]}"
runs="${2:-500000}"
mkdir -p "$out"

binary="$out/strip_plus_codes_fuzz"
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -D_GLIBCXX_ASSERTIONS \
  -I"$root" \
  "$root/tests/fuzz/strip_plus_codes_fuzz.cpp" "$root/plugin/names/strip_plus_codes.cpp" \
  -o "$binary"

# New inputs go to a scratch corpus so the checked-in seeds stay as they are.
work="$out/corpus"
rm -rf "$work" && mkdir -p "$work"
cd "$out"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"$binary" -seed=1 -runs="$runs" -max_len=256 -timeout=10 -print_final_stats=1 \
  "$work" "$root/tests/fuzz/corpus"
