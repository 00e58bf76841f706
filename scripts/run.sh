#!/usr/bin/env bash
# Sets up the machine, builds everything and starts Tandrel under Wine.
# With no DISPLAY it starts a virtual one, lets Tandrel run for a few seconds and saves a
# screenshot to build/tandrel-screenshot.png (use a real X display to work with it).
# `scripts/run.sh --benchmark` runs the index-load, search and indexing benchmarks instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
mkdir -p build
for preset in release windows; do
  log="build/$preset-build.log"
  { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs"; } > "$log" 2>&1 ||
    { tail -n 40 "$log"; exit 1; }
done
if [ "${1:-}" = "--benchmark" ]; then
  build/release/benchmarks/index_load_benchmark --benchmark_color=false
  build/release/benchmarks/search_benchmark --benchmark_color=false
  exec python3 benchmarks/indexing_benchmark.py build/release --scale
fi

# Tandrel keeps db.db and settings.conf beside itself, so it runs from a folder of its own.
home=build/tandrel
mkdir -p "$home"
cp build/windows/app/Tandrel.exe build/windows/tools/vexoran/Vexoran.exe \
   build/windows/tools/tdl/tdl.exe "$home/"
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all LANG=en_US.UTF-8 LC_ALL=C.UTF-8
if [ -n "${DISPLAY:-}" ]; then
  exec /usr/lib/wine/wine64 "$home/Tandrel.exe"
fi
echo "No DISPLAY: running Tandrel on a virtual display for a screenshot."
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  /usr/lib/wine/wine64 "$1/Tandrel.exe" & sleep 12
  import -window root build/tandrel-screenshot.png
  /usr/lib/wine/wineserver -k' _ "$home"
echo "Screenshot: build/tandrel-screenshot.png"
