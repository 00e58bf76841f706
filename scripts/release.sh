#!/usr/bin/env bash
# Builds the Windows release signed for updates and writes, into build/release-archive/:
#   Tandrel-VERSION-win64.zip  Tandrel.exe, Vexoran.exe, tdl.exe, "version" and README.txt
#   update.pak, version.def    the update package of the same files, signed with KEYFILE
# Usage: scripts/release.sh KEYFILE "NOTES"   (KEYFILE from tdl keygen; KEYFILE.pub.hex
# beside it is compiled into the build as the key updates must be signed with).
# The version is the project's (top CMakeLists.txt), as the build configures it into the program.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 2 ] || { echo "usage: scripts/release.sh KEYFILE NOTES" >&2; exit 2; }
key=$(realpath "$1")
notes=$2
[ -f "$key" ] && [ -f "$key.pub.hex" ] || { echo "release: $key and $key.pub.hex are needed" >&2; exit 1; }

windows=build/windows-publish
cmake -S . -B "$windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTANDREL_BUILD_TESTS=OFF -DTANDREL_WERROR=ON \
  -DTANDREL_PUBLISHING_BUILD=ON -DTANDREL_UPDATE_PUBLIC_KEY="$key.pub.hex" >/dev/null
# The version Tandrel.exe is built with.
version=$(sed -n 's/.*kProgramVersion\[\] = "\([0-9]*\.[0-9]*\.[0-9]*\)".*/\1/p' \
  "$windows/generated/app/program_version.h")
[ -n "$version" ] || { echo "release: no version in $windows/generated/app/program_version.h" >&2; exit 1; }
cmake --build "$windows" -j2 --target Tandrel Vexoran tdl
# The publisher's tdl runs here, on Linux.
native=build/publisher
cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_BUILD_TESTS=OFF \
  -DTANDREL_PUBLISHING_BUILD=ON -DTANDREL_UPDATE_PUBLIC_KEY="$key.pub.hex" >/dev/null
cmake --build "$native" -j2 --target tdl

out=build/release-archive
stage=$out/Tandrel-$version
rm -rf "$out" && mkdir -p "$stage"
cp "$windows/app/Tandrel.exe" "$windows/tools/vexoran/Vexoran.exe" "$windows/tools/tdl/tdl.exe" "$stage/"
IFS=. read -r major minor build <<<"$version"
printf "$(printf '\\%03o\\%03o\\%03o' "$major" "$minor" "$build")" > "$stage/version"
printf 'Tandrel %s\r\n\r\nFinds files and folders by name. Start Tandrel.exe; choose the folders\r\nto index under the folder menu. tdl.exe searches the index from a shell.\r\n' \
  "$version" > "$stage/README.txt"
(cd "$out" && zip -qr "Tandrel-$version-win64.zip" "Tandrel-$version")
(cd "$stage" && "$OLDPWD/$native/tools/tdl/tdl" publish --version "$version" --notes "$notes" --key "$key" \
  --out "$OLDPWD/$out" Tandrel.exe Vexoran.exe tdl.exe version README.txt)
"$native/tools/tdl/tdl" verify "$out/version.def" "$out/update.pak"
ls -l "$out"
