#!/usr/bin/env bash
# Builds the distribution into dist/: Tunelark-<version>-setup.exe (the setup program,
# made with NSIS) and Tunelark-<version>.zip (for installing by hand). Both come from
# installer/ and the starter SoundPack of scripts/make_starter_pack.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TUNELARK_BUILD_DIR:-$root/build}"

"$root/scripts/build.sh" --target distribution >/dev/null
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
mkdir -p "$root/dist"
for file in "Tunelark-$version-setup.exe" "Tunelark-$version.zip"; do
  cp "$build/dist/$file" "$root/dist/$file"
  echo "dist/$file"
done
