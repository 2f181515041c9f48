#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one or all of them for a given time each.
#
#   scripts/fuzz.sh [-t SECONDS] [-p PARALLEL] [--build-only] [TARGET...]
#
# -t   seconds per target (default 60); -p how many targets run at once (default 1).
# Without TARGET every target runs. Seeds are regenerated from the fixture builders into
# $FUZZ_BUILD_DIR/seeds; each target's corpus grows in $FUZZ_BUILD_DIR/corpus/<target> (never
# committed) and a crashing input lands in $FUZZ_BUILD_DIR/artifacts/<target>/. The summary line
# per target gives its executions; the script fails when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD_DIR:-build-fuzz}
mkdir -p "$build"
build=$(cd "$build" && pwd)  # the targets change their working directory
seconds=60
parallel=1
build_only=0
targets=()
while (($#)); do
  case $1 in
    -t) seconds=$2; shift 2 ;;
    -p) parallel=$2; shift 2 ;;
    --build-only) build_only=1; shift ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

cc=${FUZZ_CC:-clang-14}
cxx=${FUZZ_CXX:-clang++-14}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DSTARTVELK_FUZZ=ON \
  -DSTARTVELK_BUILD_GUI=OFF -DSTARTVELK_BUILD_TESTS=OFF -DSTARTVELK_BUILD_BENCH=OFF >/dev/null
mapfile -t all < "$build/fuzz_targets.txt"
cmake --build "$build" --parallel "${JOBS:-$(nproc)}" --target startvelk_fuzz_seeds "${all[@]}"
((build_only)) && exit 0
((${#targets[@]})) || targets=("${all[@]}")

rm -rf "$build/seeds"
"$build/bin/startvelk_fuzz_seeds" "$build/seeds"
# Scratch files of the targets go to memory when it can be had.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

run_one() {
  local t=$1 log="$build/logs/$1.log"
  mkdir -p "$build/corpus/$t" "$build/artifacts/$t" "$build/logs"
  if [ ! -d "$build/seeds/$t" ]; then echo "$t: no seeds" >&2; return 1; fi
  local status=0
  rm -f "$build/logs/$t.failed"
  "$build/bin/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t/" \
    "$build/corpus/$t" "$build/seeds/$t" >"$log" 2>&1 || status=$?
  local runs cov
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  if ((status)); then
    echo "FUZZ $t: FOUND A PROBLEM after ${runs:-?} runs (exit $status); see $log and $build/artifacts/$t/"
    grep -m1 -E 'ERROR: |fuzz check failed|runtime error' "$log" || true
    touch "$build/logs/$t.failed"
    return 1
  fi
  echo "FUZZ $t: ok, ${runs:-?} runs in ${seconds}s, ${cov:-cov: ?}, corpus $(ls "$build/corpus/$t" | wc -l) inputs"
}

for t in "${targets[@]}"; do
  run_one "$t" &
  while (($(jobs -rp | wc -l) >= parallel)); do wait -n || true; done
done
wait || true
failed=0
for t in "${targets[@]}"; do
  [ -e "$build/logs/$t.failed" ] && failed=1
done
exit $failed
