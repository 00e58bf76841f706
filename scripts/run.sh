#!/usr/bin/env bash
# Sets up the machine, builds everything (native release and Windows) and runs the
# index-load benchmark on a generated 1,000,000-record index.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
for preset in release windows; do
  cmake --preset "$preset" > "build-$preset.log" 2>&1 || { cat "build-$preset.log"; exit 1; }
  cmake --build --preset "$preset" -j "$jobs" >> "build-$preset.log" 2>&1 || { tail -n 40 "build-$preset.log"; exit 1; }
  mkdir -p build && mv "build-$preset.log" "build/$preset-build.log"
done
exec build/release/benchmarks/index_load_benchmark --benchmark_color=false "$@"
