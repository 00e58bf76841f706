#!/usr/bin/env bash
# Sets up the machine, builds and runs every test:
#   native with AddressSanitizer + UndefinedBehaviorSanitizer, native with ThreadSanitizer,
#   and the Windows build under Wine. The release build (with the benchmarks) is built too.
# Prints each runner's counts and ends with one line "tests: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.." || { echo "cannot enter the project folder"; exit 1; }
bash scripts/setup.sh || { echo "setup failed"; exit 1; }

jobs=$(nproc)
# A DISPLAY left over from a closed session would make every Wine window fail; such a
# display is dropped, and the Wine tests get a virtual one.
if [ -n "${DISPLAY:-}" ] && ! xdpyinfo >/dev/null 2>&1; then
  echo "DISPLAY $DISPLAY does not answer; the Wine tests use a virtual display"
  unset DISPLAY
fi
passed=0
failed=0
problems=0
mkdir -p build
summary=build/test-summary.txt
: > "$summary"

note() { echo "$*" | tee -a "$summary"; }

build_preset() {
  local preset=$1 log=build/$1-build.log
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs"; } > "$log" 2>&1; then
    tail -n 40 "$log"
    note "$preset: build FAILED (see $log)"
    problems=$((problems + 1))
    return 1
  fi
}

# Runs one preset's tests; counts CTest entries, or for Wine the test cases inside them.
test_preset() {
  local preset=$1 label=$2 log=build/$1-test.log
  build_preset "$preset" || return
  local runner=()
  # Every Wine program of one run shares one display, the one the prefix's desktop
  # process was started with.
  if [ "$preset" = windows ] && [ -z "${DISPLAY:-}" ]; then
    runner=(xvfb-run -a -s "-screen 0 1280x1024x24")
  fi
  "${runner[@]}" ctest --preset "$preset" -j "$jobs" > "$log" 2>&1
  local rc=$?
  grep -E '^[0-9]+% tests passed|\*\*\*|Failed|Timeout' "$log" | grep -v '^$' | tail -n 20
  local p f
  if [ "$preset" = windows ]; then
    local results=build/windows/Testing/Temporary/LastTest.log
    p=$(grep -ohE '^\[  PASSED  \] [0-9]+ test' "$results" | awk '{s += $4} END {print s + 0}')
    f=$(grep -ohE '^\[  FAILED  \] [0-9]+ test' "$results" | awk '{s += $4} END {print s + 0}')
    if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then f=1; fi  # a program that crashed or hung
  else
    local line total
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
    [ -n "$line" ] || { f=1; total=1; }
    p=$((total - f))
  fi
  [ "$rc" -ne 0 ] && { tail -n 60 "$log"; problems=$((problems + 1)); }
  note "$label: $p passed, $f failed"
  passed=$((passed + p))
  failed=$((failed + f))
}

test_preset debug-asan "native (ASan+UBSan)"
test_preset tsan "native (ThreadSanitizer)"
test_preset windows "windows (Wine)"
test_preset fuzz "fuzzers (libFuzzer, ASan+UBSan)"
build_preset release && note "release build with benchmarks: ok"

if [ "$problems" -gt 0 ] && [ "$failed" -eq 0 ]; then failed=$problems; fi
echo
cat "$summary"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$problems" -eq 0 ]
