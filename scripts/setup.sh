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
  # The locales Wine takes the double-byte code pages from (932, 936, 949, 950), and a
  # Japanese font for the picture of the panel under 932.
  locales fonts-ipafont-gothic
)
locales=(ja_JP.UTF-8 zh_CN.UTF-8 ko_KR.UTF-8 zh_TW.UTF-8)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# Without the Linux locale Wine cannot name files in that code page.
make_locales() {
  local have wanted=() l
  have="$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')"
  for l in "${locales[@]}"; do
    grep -qx "$(echo "$l" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')" <<<"$have" || wanted+=("$l")
  done
  [ ${#wanted[@]} -eq 0 ] && return 0
  for l in "${wanted[@]}"; do
    grep -qx "$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
  done
  $sudo locale-gen >/dev/null
}

if [ ${#missing[@]} -eq 0 ]; then
  make_locales
  exit 0
fi

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
make_locales
