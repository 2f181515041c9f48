#!/usr/bin/env bash
# Installs the Debian package built by scripts/deb.sh as a user would (apt-get resolves its
# dependencies) and starts the installed program once, on an X server of its own, as its desktop
# entry does from the menu: in the root folder, finding the generated emulator folder the user
# chose before; a SIGTERM ends it as the end of a desktop session does, and it saves its settings
# then.
set -euo pipefail
deb=$(realpath "$1")
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
for file in /usr/bin/startvelk /usr/bin/UNZIPLIB.DLL /usr/bin/startvelk-batch \
    /usr/bin/startvelk-console /usr/share/applications/startvelk.desktop \
    /usr/share/icons/hicolor/scalable/apps/startvelk.svg \
    /usr/share/metainfo/org.example.startvelk.metainfo.xml /usr/share/startvelk/StartVELK.txt \
    /usr/share/startvelk/StartVELKFaq.txt; do
  [ -e "$file" ] || { echo "deb-check: $file is not installed"; exit 1; }
done

emu=$(realpath "$(mktemp -d)")
config=$(mktemp -d)
mkdir -p "$config/startvelk"
echo "$emu" >"$config/startvelk/recent-folders"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$emu" "$config"
}
trap cleanup EXIT
mkdir -p "$emu/mygame"
printf '#!/bin/sh\nexit 0\n' >"$emu/velk.exe"
chmod +x "$emu/velk.exe"
printf 'VELK\r\n\r\ngameslist:\r\nMy Game    mygame\r\n' >"$emu/readme.txt"
printf 'driver' >"$emu/mygame/mygame.vlk"
# The emulator's date as the settings file keeps it (seconds even): no first-start report box.
seconds=$(date -r "$emu/velk.exe" +%S)
date=$(date -r "$emu/velk.exe" '+%Y-%m-%d %H:%M:')$(printf %02d $((10#$seconds - 10#$seconds % 2)))
printf '[StartVELK]\r\nNumOfGames=2\r\nEmuExeDate=%s\r\n\r\n[Game0]\r\nName=Default\r\nZipName=Default\r\n\r\n[Game1]\r\nName=My Game\r\nZipName=mygame\r\n' \
  "$date" >"$emu/StartVELK.ini"

# -noreset: a server that resets as its last client leaves drops one that connects meanwhile.
exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset 2>/dev/null)
pids+=($!)
read -r display <&3
export DISPLAY=":$display"
command=$(sed -n 's/^Exec=//p' /usr/share/applications/startvelk.desktop)
# shellcheck disable=SC2086  # the entry's command line, split as the desktop splits it
(cd / && exec env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$config" $command) &
program=$!
pids+=($program)
for _ in $(seq 1 300); do
  xwininfo -root -tree 2>/dev/null | grep -q '"StartVELK 0.9.1 \[1 of 1 games\]"' && break
  sleep 0.1
done
xwininfo -root -tree | grep -q '"StartVELK 0.9.1 \[1 of 1 games\]"' ||
  { echo "deb-check: the installed program's window did not appear"; exit 1; }
rm "$emu/StartVELK.ini"
kill -TERM $program
wait $program || { echo "deb-check: the installed program did not end normally"; exit 1; }
[ -e "$emu/StartVELK.ini" ] || { echo "deb-check: the installed program did not save its settings"; exit 1; }
echo "deb-check: $(basename "$deb") installs, and the installed program starts from its menu entry, runs and ends cleanly"
