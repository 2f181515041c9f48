#!/usr/bin/env bash
# Installs the Debian packages StartVELK needs to build, test and run; skips those already there.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libjpeg62-turbo-dev libdeflate-dev zlib1g-dev
  fonts-liberation2
  libgtest-dev libbenchmark-dev
  xvfb xauth xterm xdotool libxcb1-dev
  e2fsprogs
  zip unzip p7zip-full libarchive-tools python3
  openbox x11-utils imagemagick at-spi2-core dbus gir1.2-atspi-2.0 python3-gi
  qt6-wayland weston
  dpkg-dev fakeroot appstream desktop-file-utils
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
