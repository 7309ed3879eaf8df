#!/usr/bin/env bash
# The main job: a conversation between two users, each with the plug-in in the host
# stand-in on a machine of their own (a Wine prefix each). One sends two sounds, the
# other answers with one, then blocks the first, whose next sound is refused. Each machine
# gets the plug-in and the starter SoundPack from the setup program (silent). What each
# listener's plug-in played is written to a WAV file per user.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export TUNELARK_BUILD_DIR="${TUNELARK_BUILD_DIR:-$root/build}"

"$root/scripts/build.sh" --target distribution tlhost >/dev/null
python3 "$root/scripts/conversation.py" --build "$TUNELARK_BUILD_DIR" --check
