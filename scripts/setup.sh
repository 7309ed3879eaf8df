#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent: when everything is present it changes nothing and returns quickly.
set -euo pipefail

packages=(
  cmake make python3
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386
  # Wine's own fonts, "MS Sans Serif" among them, with the metrics dialogs were laid out in.
  fonts-wine
  googletest libstb-dev
  sox lame vorbis-tools twolame ffmpeg
  # Wine's Media Foundation decodes through GStreamer: WAV, MP3, FLAC (base, good),
  # AAC (libav) and WMA (libav, ugly).
  gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
  gstreamer1.0-libav:i386 gstreamer1.0-plugins-ugly:i386
  clang libclang-rt-14-dev
  # The setup program.
  nsis
  xvfb x11-apps x11-utils imagemagick xdotool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

echo "setup: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"

# The -posix thread model is what std::thread needs; make it the default alternative.
for tool in gcc g++; do
  if [ -x "/usr/bin/i686-w64-mingw32-$tool-posix" ]; then
    $sudo update-alternatives --set "i686-w64-mingw32-$tool" "/usr/bin/i686-w64-mingw32-$tool-posix" >/dev/null 2>&1 || true
  fi
done
