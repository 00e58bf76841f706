#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix. Every script and test
# finds Wine through this one file.
#   wine-run.sh PROGRAM [ARGS...]   runs PROGRAM
#   wine-run.sh --which             prints the Wine loader it would use
#   wine-run.sh --server [ARGS...]  runs the matching wineserver (for example -k, -w)
# WINEPREFIX may be set by the caller; otherwise it is <build>/wineprefix, found from the
# program's path (programs live below the build folder).
set -u
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ "${1:-}" = "--which" ]; then
  echo "$wine"
  exit 0
fi
export WINEDEBUG=-all
# A UTF-8 locale makes Wine map file names through the Windows-1252 ANSI code page.
export LANG=en_US.UTF-8 LC_ALL=C.UTF-8
if [ "${1:-}" = "--server" ]; then
  shift
  server=$(dirname "$(readlink -f "$wine")")/wineserver
  [ -x "$server" ] || server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  exec "$server" "$@"
fi
exe="$1"; shift
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || dir=$(cd "$(dirname "$exe")" && pwd)
  export WINEPREFIX="$dir/wineprefix"
fi
exec "$wine" "$exe" "$@"
