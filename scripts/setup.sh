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
    # Same mirror and suite as the binary packages, so the source matches libpng-dev.
    $sudo tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    updated=0
  fi
  apt_update
  mkdir -p "$cache_dir"
  # The source of the very version libpng-dev has, so the Windows build matches the
  # native one; the archive may have dropped it for a newer fix, which is taken then.
  png_version=$(dpkg-query -W -f='${Version}' libpng-dev)
  echo "setup: fetching the libpng $png_version source package into $cache_dir"
  if ! (cd "$cache_dir" && apt-get source -qq "libpng1.6=$png_version" > "$cache_dir/apt-source.log" 2>&1); then
    echo "setup: libpng $png_version is no longer in the archive; fetching its newest source" >&2
    (cd "$cache_dir" && apt-get source -qq libpng1.6 > "$cache_dir/apt-source.log" 2>&1) ||
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
