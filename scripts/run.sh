#!/usr/bin/env bash
# Sets up the machine, builds the Windows program and starts Tandrel under Wine.
#   scripts/run.sh              on the X display there is. With none, on Wine's desktop on a
#                               virtual display: it waits until the main window shows, saves
#                               a screenshot to build/tandrel-screenshot.png and quits.
#   scripts/run.sh --smoke      a newcomer's first start in a fresh program folder on a
#                               virtual display: the main window shows, the sample index holds
#                               the repository's files and the program loaded them, and it
#                               quits (scripts/test.sh runs this)
#   scripts/run.sh --benchmark  the index-load, search, start-up (under Wine) and indexing
#                               benchmarks instead
# Every step that fails ends the script with a message and a non-zero exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
fail() {
  echo "run.sh: $*" >&2
  exit 1
}
wine_run() { bash "$repo/cmake/wine-run.sh" "$@"; }
driver=$repo/build/windows/tests/e2e/tandrel_driver.exe
quit_command=12  # the menu item "Beenden"
about_command=4  # the menu item "Über"

# Runs on the virtual display that x_session.py made: Tandrel on Wine's own desktop (its
# title bars, taskbar and tray), a screenshot once the screen has settled, then the checks
# of --smoke, and the quit.
if [ "${1:-}" = "--on-virtual-display" ]; then
  mode=$2 home=$3
  export WINEPREFIX=$4
  shot=$repo/build/tandrel-screenshot.png
  # Every program of the prefix, the driver too, runs on Wine's desktop; the one named
  # "shell" has a taskbar with the tray.
  explorer='HKCU\Software\Wine\Explorer'
  { wine_run reg add "$explorer" /v Desktop /d shell /f &&
      wine_run reg add "$explorer\Desktops" /v shell /d 1280x1024 /f; } > "$home/reg.log" 2>&1 ||
    fail "could not switch Wine to its own desktop (see $home/reg.log)"
  trap 'wine_run --server -k || true' EXIT
  wine_run "$home/Tandrel.exe" > "$home/wine.log" 2>&1 &
  wine_run "$driver" wait-window Tandrel 60000 > "$home/driver.log" 2>&1 ||
    fail "the main window did not show within 60 s (Wine's output: $home/wine.log)"
  # Painted when two pictures of the screen in a row are the same (at most 20 tries).
  raw=$home/screen
  import -window root "rgb:$raw.1"
  for _ in $(seq 20); do
    import -window root "rgb:$raw.2"
    cmp -s "$raw.1" "$raw.2" && break
    mv "$raw.2" "$raw.1"
  done
  import -window root "$shot" || fail "no screenshot"
  rm -f "$raw.1" "$raw.2"
  echo "Screenshot: $shot"
  if [ "$mode" = smoke ]; then
    records=$(python3 "$repo/scripts/check_sample_index.py" "$home/db.db" "$repo") ||
      fail "the sample index $home/db.db lacks files of the repository"
    wine_run "$driver" command Tandrel "$about_command" > "$home/driver.log" 2>&1 &&
      wine_run "$driver" message-box 20000 > "$home/about.txt" 2> "$home/driver.log" &&
      wine_run "$driver" close-message-box 10000 > "$home/driver.log" 2>&1 ||
      fail "the about box did not open and close"
    LC_ALL=C grep -qa "Index enth.lt $records Dateien" "$home/about.txt" ||
      fail "Tandrel did not load the sample index of $records entries: $(tr '\r\n' '  ' < "$home/about.txt")"
    echo "Smoke test: the main window showed; Tandrel loaded the sample index of $records entries."
  fi
  wine_run "$driver" command Tandrel "$quit_command" > "$home/driver.log" 2>&1 &&
    wine_run "$driver" wait-gone Tandrel 30000 > "$home/driver.log" 2>&1 ||
    fail "Tandrel did not quit"
  exit 0
fi

mode=run
case "${1:-}" in
  --smoke) mode=smoke ;;
  --benchmark) mode=benchmark ;;
  "") ;;
  *) fail "unknown option $1 (--smoke, --benchmark)" ;;
esac

bash scripts/setup.sh || fail "setting up the machine failed"
jobs=$(nproc)
mkdir -p build
build() {  # PRESET [TARGET...]
  local preset=$1 log=build/$1-build.log
  shift
  local targets=()
  [ "$#" -gt 0 ] && targets=(--target "$@")
  { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs" "${targets[@]}"; } \
    > "$log" 2>&1 || { tail -n 40 "$log"; fail "the $preset build failed (see $log)"; }
}
if [ "$mode" = benchmark ]; then
  build release
  build windows Tandrel tandrel_driver
  build/release/benchmarks/index_load_benchmark --benchmark_color=false
  build/release/benchmarks/search_benchmark --benchmark_color=false
  python3 benchmarks/startup_benchmark.py build/windows build/release
  exec python3 benchmarks/indexing_benchmark.py build/release --scale
fi
build windows Tandrel Vexoran tdl tandrel_driver

# Tandrel keeps db.db and settings.conf beside itself, so it runs from a folder of its own,
# with a Wine prefix of its own (made once).
home=$repo/build/tandrel
prefix=$repo/build/tandrel-wineprefix
if [ "$mode" = smoke ]; then
  home=$repo/build/tandrel-smoke
  prefix=$repo/build/tandrel-smoke-wineprefix
  rm -rf "$home"
fi
mkdir -p "$home"
cp build/windows/app/Tandrel.exe build/windows/tools/vexoran/Vexoran.exe \
   build/windows/tools/tdl/tdl.exe "$home/"
wine_run --prefixes "$prefix" > "$home/prefix.log" 2>&1 ||
  { cat "$home/prefix.log"; fail "making the Wine prefix $prefix failed"; }
# Debian's Wine takes its own TrueType fonts (Tahoma; Marlett, which draws the caption
# buttons) only from the prefix's font folder.
for font in /usr/share/wine/fonts/*.ttf; do
  [ -e "$font" ] && [ ! -e "$prefix/drive_c/windows/Fonts/${font##*/}" ] &&
    cp "$font" "$prefix/drive_c/windows/Fonts/"
done
export WINEPREFIX=$prefix

# A first start with nothing configured would show an empty program: the repository's
# folders become the indexed ones (Wine shows the host's root as drive Z:), all but build/,
# whose Wine prefixes link to the host's root.
if [ ! -e "$home/settings.conf" ]; then
  {
    printf '0\r\n'
    for folder in "$repo"/*/; do
      folder=${folder%/}
      [ "$folder" = "$repo/build" ] || printf 'Z:%s\r\n' "${folder//\//\\}"
    done
  } > "$home/settings.conf"
  echo "First start: $home/settings.conf lists the repository's folders; building their index."
  # Undone when it fails, so that the next run tries again.
  wine_run "$home/tdl.exe" index > "$home/tdl-index.log" 2>&1 ||
    { cat "$home/tdl-index.log"; rm -f "$home/settings.conf"; fail "building the sample index failed"; }
  cat "$home/tdl-index.log"
fi

if [ "$mode" = run ] && [ -n "${DISPLAY:-}" ]; then
  # Windows of their own on this display, not Wine's desktop of a run without one.
  wine_run reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f > /dev/null 2>&1 || true
  exec bash cmake/wine-run.sh "$home/Tandrel.exe"
fi
[ "$mode" = run ] && echo "No DISPLAY: running Tandrel on Wine's desktop on a virtual display for a screenshot."
exec python3 cmake/x_session.py -- bash scripts/run.sh --on-virtual-display "$mode" "$home" "$prefix"
