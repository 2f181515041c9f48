#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds StartVELK and runs every test; then checks that the sources
# without Qt compile for Windows, runs the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and each fuzz target for a minute.
# QUICK=1 stops after the normal suite; FUZZ_SECONDS sets the fuzzing time per target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$jobs"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 300 \
  | tee "$build/ctest.log"

# The Debian package, installed as a user would install it, and the installed program started once.
scripts/deb-check.sh "$(BUILD_DIR="$build" scripts/deb.sh)"
[ "${QUICK:-0}" = 1 ] && exit 0

scripts/windows-check.sh

# The sanitizer suite writes its own log; its result is summed up in one line here so that the
# normal suite's closing line above stays the one ctest line of this output.
sanitize_dir=${SANITIZE_BUILD_DIR:-build-sanitize}
log="$sanitize_dir/sanitize.log"
mkdir -p "$sanitize_dir"
echo "== Sanitizer suite (ASan + UBSan), log in $log"
if ! SANITIZE_BUILD_DIR="$sanitize_dir" scripts/sanitize.sh >"$log" 2>&1; then
  # The failing tests and, for each sanitizer report or failed check, the lines that say where.
  awk '/ERROR: [A-Za-z]*Sanitizer|runtime error|FAIL!  :/ { keep = 24 }
       keep > 0 { print; keep--; next }
       /\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|The following tests FAILED|^\t *[0-9]+ - / { print }' \
    "$log" | head -120 || true
  echo "== Sanitizer suite FAILED; see $log"
  exit 1
fi
sed -n 's/^\([0-9]*\)% tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$/== Sanitizer suite: \2 of \3 tests failed (\1% clean)/p' \
  "$log"

echo "== Fuzz smoke test, ${FUZZ_SECONDS:-60} s per target"
scripts/fuzz.sh -t "${FUZZ_SECONDS:-60}" -p "$jobs"
