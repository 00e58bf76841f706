#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages only.
# Safe to run again: when all is in place it checks and prints nothing.
set -euo pipefail

cache_dir="${TANDREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tandrel}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
  else
    need_root=1
  fi
fi

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev googletest libbenchmark-dev zlib1g-dev libpng-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine64 xvfb x11-utils imagemagick
  dpkg-dev python3
  libssl-dev openssl clang libclang-rt-14-dev xz-utils zip
  plocate time xdotool
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# The Windows build compiles libpng from Debian's own source package.
png_src=$(ls -d "$cache_dir"/libpng1.6-*/ 2>/dev/null | head -n 1 || true)

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

# Prints a deb-src stanza for each binary archive entry of this release, read from the
# machine's own apt configuration (both the one-line and the deb822 form).
debian_source_entries() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v cn="$codename" '
      $1 == "deb" {
        i = 2; signed = ""
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { if ($i ~ /signed-by=/) signed = $i; i++ }
                           if ($i ~ /signed-by=/) signed = $i; i++ }
        sub(/.*signed-by=/, "", signed); sub(/\]$/, "", signed)
        if ($(i + 1) !~ "^" cn) next
        printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $i, $(i + 1)
        for (j = i + 2; j <= NF; j++) printf " %s", $j
        printf "\n"; if (signed != "") printf "Signed-By: %s\n", signed
        printf "\n"
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = /etc/apt/sources.list.d/tandrel-deb-src.sources ] && continue
    # deb822: stanzas are separated by blank lines; comments are dropped.
    awk -v cn="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && suites ~ "(^| )" cn && enabled != "no") {
          printf "Types: deb-src\n%s\n\n", body
        }
        types = ""; suites = ""; enabled = ""; body = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^Types:/ { types = $0; sub(/^Types:[ \t]*/, "", types); next }
      /^Enabled:/ { enabled = tolower($2) }
      /^Suites:/ { suites = $0; sub(/^Suites:[ \t]*/, "", suites) }
      { body = body (body == "" ? "" : "\n") $0 }
      END { flush() }' "$f"
  done
}

updated=0
apt_update() {
  [ "$updated" -eq 1 ] && return
  $sudo apt-get update -qq >/dev/null
  updated=1
}

if [ "${#missing[@]}" -gt 0 ] || [ -z "$png_src" ]; then
  if [ "${need_root:-0}" -eq 1 ]; then
    echo "setup: missing ${missing[*]:-the libpng source}; installing needs root, and sudo is not" >&2
    echo "setup: installed. Run 'bash scripts/setup.sh' once as root, then run this again." >&2
    exit 1
  fi
fi

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ -z "$png_src" ]; then
  src_list=/etc/apt/sources.list.d/tandrel-deb-src.sources
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    # The source packages come from the very archive the binary ones do, so the source
    # matches libpng-dev: every enabled binary entry of this release is repeated as a
    # source entry, whatever mirror the machine is configured with.
    mkdir -p "$cache_dir"
    debian_source_entries > "$cache_dir/deb-src.sources"
    if [ ! -s "$cache_dir/deb-src.sources" ]; then
      echo "setup: no Debian archive for '$codename' in the apt sources; cannot fetch the libpng source" >&2
      exit 1
    fi
    $sudo cp "$cache_dir/deb-src.sources" "$src_list"
    updated=0
  fi
  apt_update
  mkdir -p "$cache_dir"
  # The source of the very version libpng-dev has, so the Windows build matches the
  # native one; the archive may have dropped it for a newer fix, which is taken then.
  png_version=$(dpkg-query -W -f='${Version}' libpng-dev)
  echo "setup: fetching the libpng $png_version source package into $cache_dir"
  if ! (cd "$cache_dir" && apt-get source -qq "libpng1.6=$png_version" > "$cache_dir/apt-source.log" 2>&1); then
    # Otherwise the newest source that one of the archives really serves: a mirror may
    # list a security update's source that it does not carry.
    echo "setup: libpng $png_version is no longer in the archive; fetching the newest source there is" >&2
    fetched=0
    for v in $(apt-cache showsrc libpng1.6 | sed -n 's/^Version: //p' | sort -ruV); do
      if (cd "$cache_dir" && apt-get source -qq "libpng1.6=$v" >> "$cache_dir/apt-source.log" 2>&1); then
        fetched=1
        break
      fi
    done
    [ "$fetched" -eq 1 ] ||
      { cat "$cache_dir/apt-source.log" >&2; echo "setup: apt-get source libpng1.6 failed" >&2; exit 1; }
  fi
  png_src=$(ls -d "$cache_dir"/libpng1.6-*/ | head -n 1)
fi

# plocate is here only as the benchmarks' peer: its daily re-indexing of the whole machine
# (a systemd timer, or cron where systemd does not run) is not wanted as a side effect.
if [ -e /lib/systemd/system/plocate-updatedb.timer ] &&
   [ "$(readlink /etc/systemd/system/plocate-updatedb.timer 2>/dev/null)" != /dev/null ]; then
  $sudo ln -sf /dev/null /etc/systemd/system/plocate-updatedb.timer 2>/dev/null || true
fi
if [ -x /etc/cron.daily/plocate ]; then
  $sudo chmod -x /etc/cron.daily/plocate 2>/dev/null || true
fi

# Later steps read this to find the libpng source.
echo "${png_src%/}" > "$cache_dir/libpng-source-dir"
