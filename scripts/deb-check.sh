#!/usr/bin/env bash
# Installs the Debian package built by scripts/deb.sh as a user would (apt-get resolves its
# dependencies) and starts the installed program once, under Xvfb, in a generated emulator folder;
# a SIGTERM ends it as a desktop session's end does, and it must save its settings then.
set -euo pipefail
deb=$(realpath "$1")
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
for file in /usr/bin/startvelk /usr/bin/UNZIPLIB.DLL /usr/bin/startvelk-batch \
    /usr/bin/startvelk-console /usr/share/applications/startvelk.desktop \
    /usr/share/icons/hicolor/scalable/apps/startvelk.svg \
    /usr/share/metainfo/org.example.startvelk.metainfo.xml; do
  [ -e "$file" ] || { echo "deb-check: $file is not installed"; exit 1; }
done

emu=$(realpath "$(mktemp -d)")
trap 'rm -rf "$emu"' EXIT
mkdir -p "$emu/mygame"
printf '#!/bin/sh\nexit 0\n' >"$emu/velk.exe"
chmod +x "$emu/velk.exe"
printf 'VELK\r\n\r\ngameslist:\r\nMy Game    mygame\r\n' >"$emu/readme.txt"
printf 'driver' >"$emu/mygame/mygame.vlk"
(cd "$emu" && exec env -u QT_QPA_PLATFORM xvfb-run -a /usr/bin/startvelk) &
runner=$!
# The settings file of a first start exists only after a close; batch.bat shows the start-up ran.
for _ in $(seq 1 100); do
  [ -e "$emu/batch.bat" ] && break
  sleep 0.1
done
[ -e "$emu/batch.bat" ] || { echo "deb-check: the installed program did not start up"; exit 1; }
# The installed program is the startvelk whose working directory is the emulator folder.
for pid in $(pgrep -x startvelk); do
  if [ "$(readlink "/proc/$pid/cwd")" = "$emu" ]; then kill -TERM "$pid"; fi
done
wait $runner || true
[ -e "$emu/StartVELK.ini" ] || { echo "deb-check: the installed program did not save its settings"; exit 1; }
echo "deb-check: $(basename "$deb") installs and the installed program runs"
