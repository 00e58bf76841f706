#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages only.
# Safe to run again: when all is in place it checks and prints nothing.
set -euo pipefail

cache_dir="${TANDREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tandrel}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev googletest libbenchmark-dev zlib1g-dev libpng-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine64 xvfb x11-utils imagemagick
  dpkg-dev python3
  libssl-dev clang libclang-rt-14-dev xz-utils zip
  plocate time
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
  echo "setup: fetching the libpng source package into $cache_dir"
  mkdir -p "$cache_dir"
  (cd "$cache_dir" && apt-get source -qq libpng1.6 >/dev/null 2>&1)
  png_src=$(ls -d "$cache_dir"/libpng1.6-*/ | head -n 1)
fi

# Later steps read this to find the libpng source.
echo "${png_src%/}" > "$cache_dir/libpng-source-dir"
