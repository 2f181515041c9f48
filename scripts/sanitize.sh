#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer (g++) in a build
# directory of its own and runs it; any report fails the run.
# Usage: scripts/sanitize.sh [ctest arguments...]   (SANITIZE_BUILD_DIR, default build-sanitize)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${SANITIZE_BUILD_DIR:-build-sanitize}
jobs=${JOBS:-$(nproc)}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTARTVELK_SANITIZE=ON \
  -DSTARTVELK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$jobs"
export QT_QPA_PLATFORM=offscreen
# Leaks count; a report ends the test with a failure code; the stack names file and line.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:exitcode=23:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=24${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 600 "$@"
