#!/usr/bin/env bash
# Pictures of every dialog and of the setup program into docs/screenshots/, taken on a
# virtual X display.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export TUNELARK_BUILD_DIR="${TUNELARK_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" --target Tunelark tlhost distribution >/dev/null
python3 "$root/scripts/screenshots.py" --build "$TUNELARK_BUILD_DIR" "$@"
