#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix. Every script and test
# finds Wine through this one file.
#   wine-run.sh PROGRAM [ARGS...]   runs PROGRAM
#   wine-run.sh --which             prints the Wine loader it would use
#   wine-run.sh --server [ARGS...]  runs the matching wineserver (for example -k, -w)
#   wine-run.sh --prefixes FIRST [COPY...]
#                                   makes the prefix FIRST unless it is there, and each
#                                   COPY that is not there as a copy of it
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
if [ "${1:-}" = "--prefixes" ]; then
  shift
  first=$1; shift
  # A prefix is moved into place complete, so one that is there is whole.
  if [ ! -d "$first" ]; then
    rm -rf "$first.new"
    # No Mono or Gecko installer dialogs while the prefix is made.
    WINEPREFIX="$first.new" WINEDLLOVERRIDES="mscoree=;mshtml=" "$wine" wineboot -i || exit 1
    # Its server writes the registry files when it ends.
    WINEPREFIX="$first.new" bash "$0" --server -w || exit 1
    mv "$first.new" "$first" || exit 1
  fi
  for copy; do
    [ -d "$copy" ] && continue
    rm -rf "$copy.new"
    # The system folder's libraries (most of a prefix's 700 MB) are only read: the copy
    # links them. Every other file, the registry first, is a copy of its own.
    WINEPREFIX="$first" bash "$0" --server -w &&
      cp -a --link "$first" "$copy.new" &&
      (cd "$copy.new" && find . -type f ! -path './drive_c/windows/system32/*' -exec sh -c \
        'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f" || exit 1; done' sh {} +) &&
      mv "$copy.new" "$copy" || exit 1
  done
  exit 0
fi
exe="$1"; shift
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || dir=$(cd "$(dirname "$exe")" && pwd)
  export WINEPREFIX="$dir/wineprefix"
fi
exec "$wine" "$exe" "$@"
