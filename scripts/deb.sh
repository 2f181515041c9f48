#!/usr/bin/env bash
# Builds the Debian package startvelk_<version>_<arch>.deb: the program, its unzip library, batch
# interpreter and console window, the desktop entry, icon and AppStream metainfo.
# With a build folder that is already built (BUILD_DIR), packs that one; otherwise makes a release
# build of the programs alone in build-deb. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-}
if [ -z "$build" ]; then
  build=build-deb
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DSTARTVELK_BUILD_TESTS=OFF -DSTARTVELK_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" --parallel "$(nproc)"
fi
rm -f "$build"/startvelk_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$PWD/$build"/startvelk_*.deb
