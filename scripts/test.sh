#!/usr/bin/env bash
# Sets up the machine, builds and runs every test:
#   native with AddressSanitizer + UndefinedBehaviorSanitizer, native with ThreadSanitizer,
#   the Windows build under Wine (its unit tests and the end-to-end suite), the fuzzers,
#   the release build with the benchmarks, and a newcomer's first start (run.sh --smoke).
#   scripts/test.sh --quick   the native ASan build and its tests only: the inner loop
# Prints each runner's counts and durations and ends with one line "tests: N passed, M failed".
#
# The Wine stage mostly waits (for Wine's processes, windows and timeouts), so it runs
# beside the native builds and tests, which yield the processors to it (nice).
set -uo pipefail
cd "$(dirname "$0")/.." || { echo "cannot enter the project folder"; exit 1; }
quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]"; exit 2 ;;
esac
started=$SECONDS
bash scripts/setup.sh || { echo "setup failed"; exit 1; }

jobs=$(nproc)
# A DISPLAY left over from a closed session would make every Wine window fail; such a
# display is dropped, and the Wine tests get a virtual one.
if [ -n "${DISPLAY:-}" ] && ! xdpyinfo >/dev/null 2>&1; then
  echo "DISPLAY $DISPLAY does not answer; the Wine tests use a virtual display"
  unset DISPLAY
fi
mkdir -p build
summary=build/test-summary.txt
# One line "PASSED FAILED PROBLEMS" per runner, from both stages.
counts=build/test-counts.txt
: > "$summary"
: > "$counts"

note() { echo "$*" | tee -a "$summary"; }
count() { echo "$1 $2 $3" >> "$counts"; }
seconds_since() { echo "$((SECONDS - $1)) s"; }

build_preset() {
  local preset=$1 log=build/$1-build.log since=$SECONDS
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs"; } > "$log" 2>&1; then
    tail -n 40 "$log"
    note "$preset: build FAILED (see $log)"
    count 0 0 1
    return 1
  fi
  built_in=$(seconds_since "$since")
}

# Runs one preset's tests; counts CTest entries, or for Wine the test cases inside them.
run_tests() {
  local preset=$1 label=$2 log=build/$1-test.log
  local runner=() since=$SECONDS at_once=$jobs
  if [ "$preset" = windows ]; then
    # Its entries mostly wait for Wine's processes and windows: twice as many at once.
    at_once=$((2 * jobs))
    # The Wine unit tests share the display there is, or one virtual display; each
    # end-to-end entry makes its own.
    [ -z "${DISPLAY:-}" ] && runner=(python3 cmake/x_session.py --)
  fi
  "${runner[@]}" ctest --preset "$preset" -j "$at_once" > "$log" 2>&1
  local rc=$?
  grep -E '^[0-9]+% tests passed|\*\*\*|Failed|Timeout' "$log" | grep -v '^$' | tail -n 20
  local p f
  if [ "$preset" = windows ]; then
    local results=build/windows/Testing/Temporary/LastTest.log
    p=$(grep -ohE '^(\[  PASSED  \] [0-9]+ test|e2e: [0-9]+ passed)' "$results" |
          sed -E 's/^(e2e: |\[  PASSED  \] )([0-9]+).*/\2/' | awk '{s += $1} END {print s + 0}')
    f=$(grep -ohE '^(\[  FAILED  \] [0-9]+ test|e2e: [0-9]+ passed, [0-9]+ failed)' "$results" |
          sed -E 's/.* ([0-9]+) failed$/\1/; s/^\[  FAILED  \] ([0-9]+) test/\1/' |
          awk '{s += $1} END {print s + 0}')
    if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then f=1; fi  # a program that crashed or hung
  else
    local line total
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
    [ -n "$line" ] || { f=1; total=1; }
    p=$((total - f))
  fi
  local problem=0
  [ "$rc" -ne 0 ] && { tail -n 60 "$log"; problem=1; }
  note "$label: $p passed, $f failed (build $built_in, tests $(seconds_since "$since"))"
  count "$p" "$f" "$problem"
}

test_preset() {
  build_preset "$1" && run_tests "$@"
}

# A newcomer's first start, as the README's first command makes it.
smoke_run() {
  local log=build/run-smoke.log since=$SECONDS
  if bash scripts/run.sh --smoke > "$log" 2>&1; then
    note "run.sh --smoke: 1 passed, 0 failed ($(seconds_since "$since"))"
    count 1 0 0
  else
    tail -n 20 "$log"
    note "run.sh --smoke: 0 passed, 1 failed (see $log)"
    count 0 1 0
  fi
}

if [ "$quick" -eq 1 ]; then
  test_preset debug-asan "native (ASan+UBSan)"
else
  wine_stage=
  if build_preset windows; then
    { run_tests windows "windows (Wine)"; smoke_run; note "Wine stage done after $(seconds_since "$started")"; } \
      > build/wine-stage.out 2>&1 &
    wine_stage=$!
  fi
  renice -n 10 -p $$ > /dev/null
  test_preset debug-asan "native (ASan+UBSan)"
  test_preset tsan "native (ThreadSanitizer)"
  test_preset fuzz "fuzzers (libFuzzer, ASan+UBSan)"
  build_preset release && note "release build with benchmarks: ok (build $built_in)"
  note "native stages done after $(seconds_since "$started")"
  if [ -n "$wine_stage" ]; then
    wait "$wine_stage"
    cat build/wine-stage.out
  fi
fi

read -r passed failed problems < <(awk '{p += $1; f += $2; x += $3} END {print p + 0, f + 0, x + 0}' "$counts")
if [ "$problems" -gt 0 ] && [ "$failed" -eq 0 ]; then failed=$problems; fi
echo
cat "$summary"
echo "all: $(seconds_since "$started")"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$problems" -eq 0 ]
