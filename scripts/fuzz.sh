#!/usr/bin/env bash
# Builds one fuzz target natively with clang (libFuzzer, ASan, UBSan) into the given
# directory and runs a fixed number of inputs, or for a fixed time, from a fixed seed.
# Fails on any finding.
# Usage: fuzz.sh BUILD_DIR [RUNS] [TARGET]   (TARGET: tests/fuzz/TARGET_fuzz.cpp,
# default strip_plus_codes; RUNS default 500000, 0 for no end: until a finding or Ctrl-C;
# a number of seconds as e.g. 30s: inputs for that long).
# ctest runs each target for 30 s (tests/CMakeLists.txt); a long run is e.g.
#   bash scripts/fuzz.sh build/fuzz 0 wav_parse
# TUNELARK_FUZZ_SEEDS: a directory of more seeds (the build's
# test sounds), of which the files matching the target's pattern are used.
# TUNELARK_FUZZ_BUILD_ONLY=1: build the target (when its sources changed) and stop; the
# build does this, so a test run spends its time on inputs, not on the compiler.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:?usage: fuzz.sh BUILD_DIR [RUNS] [TARGET]}"
runs="${2:-500000}"
target="${3:-strip_plus_codes}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"  # it runs from there

# Per target: the code under test, the longest input, the checked-in seeds, and which of
# the extra seeds fit.
flags=()
seed_pattern=""
case "$target" in
  strip_plus_codes)
    sources=(plugin/names/strip_plus_codes.cpp base/ansi_text.cpp); max_len=256; seeds=tests/fuzz/corpus ;;
  wav_parse)
    sources=(fsound/wav_parse.cpp fsound/loudness.cpp); max_len=4096; seeds=tests/fuzz/wav_parse_corpus ;;
  mpeg_frame)
    sources=(fsound/mpeg_frame.cpp); max_len=16384; seeds=tests/fuzz/mpeg_corpus
    seed_pattern='*.mp[23]' ;;
  ogg_vorbis)
    sources=(fsound/ogg_page.cpp fsound/ogg_vorbis.cpp); max_len=8192; seeds=tests/fuzz/ogg_corpus
    seed_pattern='*.ogg'; flags=(-isystem /usr/include/stb) ;;
  *) echo "fuzz.sh: no fuzz target '$target'" >&2; exit 2 ;;
esac

binary="$out/${target}_fuzz"
# Rebuilt only when the target, the code under test or a header next to it is newer.
stale=false
[ -x "$binary" ] || stale=true
if ! $stale; then
  dirs=()
  for source in "${sources[@]}"; do dirs+=("$root/$(dirname "$source")"); done
  if [ -n "$(find "$root/tests/fuzz/${target}_fuzz.cpp" "$root/scripts/fuzz.sh" "${dirs[@]}" "$root/base" \
              -newer "$binary" \( -name '*.cpp' -o -name '*.c' -o -name '*.h' -o -name '*.sh' \) -print -quit)" ]; then
    stale=true
  fi
fi
if $stale; then
  cflags=(-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  objects=()
  if [ "$target" = ogg_vorbis ]; then
    # stb_vorbis itself, as the sound layer builds it. Its header code converts wild floats
    # to int (which x86 answers with INT_MIN, later bounded); that check stays off for it.
    clang "${cflags[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -fno-sanitize=float-cast-overflow \
      -w -I/usr/include/stb \
      -c "$root/fsound/vorbis_impl.c" -o "$out/vorbis_impl.o"
    objects=("$out/vorbis_impl.o")
  fi
  clang++ -std=c++20 "${cflags[@]}" -D_GLIBCXX_ASSERTIONS "${flags[@]}" -I"$root" \
    "$root/tests/fuzz/${target}_fuzz.cpp" "${sources[@]/#/$root/}" "${objects[@]}" -o "$binary.tmp"
  mv "$binary.tmp" "$binary"
fi
[ "${TUNELARK_FUZZ_BUILD_ONLY:-}" = 1 ] && exit 0

# New inputs go to a scratch corpus so the checked-in seeds stay as they are.
work="$out/corpus-$target"
rm -rf "$work" && mkdir -p "$work"
if [ -n "$seed_pattern" ] && [ -n "${TUNELARK_FUZZ_SEEDS:-}" ]; then
  find "$TUNELARK_FUZZ_SEEDS" -maxdepth 1 -name "$seed_pattern" -exec cp {} "$work" \;
fi
cd "$out"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
limit=()
[ "$runs" = 0 ] && runs=-1
if [[ "$runs" == *s ]]; then limit=(-max_total_time="${runs%s}"); runs=-1; fi
"$binary" -seed=1 -runs="$runs" "${limit[@]}" -max_len="$max_len" -timeout=10 -print_final_stats=1 \
  "$work" "$root/$seeds"
