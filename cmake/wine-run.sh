#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix.
# WINEPREFIX may be set by the caller; otherwise it is <build>/wineprefix, found from the
# program's path (programs live below the build folder).
set -u
exe="$1"; shift
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || dir=$(cd "$(dirname "$exe")" && pwd)
  export WINEPREFIX="$dir/wineprefix"
fi
export WINEDEBUG=-all
# A UTF-8 locale makes Wine map file names through the Windows-1252 ANSI code page.
export LANG=en_US.UTF-8 LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
exec "$wine" "$exe" "$@"
