#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kelvora Maker need.
# As root it uses apt-get directly, otherwise sudo; with neither it names what is missing and stops.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-svg-dev libgl-dev qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libavcodec-dev libavutil-dev libavformat-dev libswscale-dev libdeflate-dev gstreamer1.0-libav chromium
  libturbojpeg0-dev liblcms2-dev libgs-common
  ffmpeg xvfb xauth xdotool openbox strace imagemagick x11-utils fonts-dejavu-core fonts-liberation
  desktop-file-utils appstream dpkg-dev file
  python3 python3-opencv python3-pil python3-numpy libjpeg-turbo-progs libimage-exiftool-perl
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good mediainfo libswresample-dev
  zlib1g-dev libjpeg-turbo-progs libsixel-examples golang-1.19-src libjxl-testdata
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "These Debian packages are missing: ${missing[*]}" >&2
  echo "Install them as root (apt-get install ${missing[*]}) and run this again." >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
