#!/usr/bin/env bash
# Compiles every source without Qt in it for Windows with MinGW-w64 (syntax and warnings only, no
# link), so that the Windows side of the platform seam keeps building. Qt for Windows is not
# packaged for Debian: the windows and the console window are left to a build on Windows.
# Usage: scripts/windows-check.sh   (WINDOWS_CXX names another compiler)
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=${WINDOWS_CXX:-x86_64-w64-mingw32-g++-posix}
# The headers of the three C libraries describe the same interfaces on Windows; they are taken from
# the host for the check, jconfig.h and zconf.h included (they only set features, not sizes that
# differ).
headers=$(mktemp -d)
trap 'rm -rf "$headers"' EXIT
for h in libdeflate.h jpeglib.h jmorecfg.h jerror.h zlib.h zconf.h; do cp "/usr/include/$h" "$headers/"; done
cp "$(dpkg -L libjpeg62-turbo-dev | grep '/jconfig.h$' | head -1)" "$headers/"

mapfile -t sources < <(git ls-files 'src/*.cpp' 'tools/*.cpp' \
  | grep -v -e '_posix\.cpp$' -e '^src/ui/' -e '^src/app/' -e '^tools/demo/' -e '^tools/console/' \
            -e '^tools/batch/BatchInterpreter\.cpp$')
failed=0
for source in "${sources[@]}"; do
  if ! output=$("$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Isrc -Isrc/platform -Isrc/unziplib \
                  -Itools/batch -Itools/zipwriter -I"$headers" "$source" 2>&1) || [ -n "$output" ]; then
    echo "$output"
    failed=1
  fi
done
if ((failed)); then
  echo "== Windows build check FAILED"
  exit 1
fi
echo "== Windows build check: ${#sources[@]} sources compile for Windows without a warning"
