#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds StartVELK, makes a demo emulator directory in ./demo and
# starts the program there. Pass --fresh to rebuild the demo directory from scratch.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTARTVELK_BUILD_TESTS=OFF -DSTARTVELK_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc)"
if [ "${1:-}" = "--fresh" ]; then rm -rf demo; fi
if [ ! -e demo/velk.exe ]; then
  "$build/bin/startvelk-makedemo" demo "$build/bin/startvelk-demo-velk"
fi
# The Help menu's user guide and FAQ, as an installation has them.
cp docs/StartVELK.txt docs/StartVELKFaq.txt demo/
if [ ! -x "$build/bin/startvelk" ]; then
  echo "The demo directory is ready in ./demo; the program itself is not built yet." >&2
  exit 1
fi
cd demo
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting StartVELK under xvfb-run (install a desktop to see it)." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" "../$build/bin/startvelk"
fi
exec "../$build/bin/startvelk"
