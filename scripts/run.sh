#!/usr/bin/env bash
# Sets up the machine, builds everything and starts Tandrel under Wine.
# With no DISPLAY it starts a virtual one, waits until the main window is shown and saves a
# screenshot to build/tandrel-screenshot.png (use a real X display to work with it).
# `scripts/run.sh --benchmark` runs the index-load, search, start-up (under Wine) and indexing
# benchmarks instead.
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
  python3 benchmarks/startup_benchmark.py build/windows build/release
  exec python3 benchmarks/indexing_benchmark.py build/release --scale
fi

# Tandrel keeps db.db and settings.conf beside itself, so it runs from a folder of its own.
home=build/tandrel
mkdir -p "$home"
cp build/windows/app/Tandrel.exe build/windows/tools/vexoran/Vexoran.exe \
   build/windows/tools/tdl/tdl.exe "$home/"
export WINEPREFIX="$PWD/build/windows/wineprefix"
wine_run() { bash cmake/wine-run.sh "$@"; }
driver=build/windows/tests/e2e/tandrel_driver.exe

# A first start with nothing configured would show an empty program: the repository itself
# becomes the one indexed folder (Wine shows the host's root as drive Z:).
if [ ! -e "$home/settings.conf" ]; then
  repo_windows="Z:$(pwd | sed 's|/|\\|g')"
  printf '0\r\n%s\r\n' "$repo_windows" > "$home/settings.conf"
  echo "First start: $home/settings.conf now lists $repo_windows; building its index."
  (cd "$home" && wine_run ./tdl.exe index > tdl-index.log 2>&1) || cat "$home/tdl-index.log"
  cat "$home/tdl-index.log"
fi

if [ -n "${DISPLAY:-}" ]; then
  exec bash cmake/wine-run.sh "$home/Tandrel.exe"
fi
echo "No DISPLAY: running Tandrel on a virtual display for a screenshot."
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  bash cmake/wine-run.sh "$1/Tandrel.exe" &
  # Shown and painted: the main window exists, and one more moment lets it paint.
  bash cmake/wine-run.sh "$2" wait-window Tandrel 60000 > "$1/wait.log" 2>&1 ||
    echo "The main window did not show within 60 s."
  sleep 1
  import -window root build/tandrel-screenshot.png
  bash cmake/wine-run.sh --server -k' _ "$home" "$driver"
echo "Screenshot: build/tandrel-screenshot.png"
