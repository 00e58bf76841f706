#!/usr/bin/env bash
# Builds the Windows release signed for updates and writes, into build/release-archive/:
#   Tandrel-VERSION-win64.zip  Tandrel.exe, Vexoran.exe, tdl.exe, "version" and README.txt
#   update.pak, version.def    the update package of the same files, signed with KEYFILE
# Usage: scripts/release.sh KEYFILE HOST "NOTES" [NEXT_KEYFILE]
#   KEYFILE       from tdl keygen; KEYFILE.pub.hex beside it is compiled into the build as
#                 the key that releases must be signed with
#   HOST          the update server that update.exe fetches from (host or host:port)
#   NEXT_KEYFILE  while the signing key is rotated: NEXT_KEYFILE.pub.hex is compiled in as
#                 the next key, whose releases the build accepts too (README)
# The version is the project's (top CMakeLists.txt), as the build configures it into the program.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 3 ] || [ $# -eq 4 ] || { echo "usage: scripts/release.sh KEYFILE HOST NOTES [NEXT_KEYFILE]" >&2; exit 2; }
key=$(realpath "$1")
host=$2
notes=$3
[ -f "$key" ] && [ -f "$key.pub.hex" ] || { echo "release: $key and $key.pub.hex are needed" >&2; exit 1; }
[ -n "$host" ] || { echo "release: the update server HOST is needed" >&2; exit 1; }
next_key=""
if [ $# -eq 4 ]; then
  next_key=$(realpath "$4").pub.hex
  [ -f "$next_key" ] || { echo "release: $next_key is needed" >&2; exit 1; }
fi
# Both builds are for users: they configure only with a real key and update server.
trust=(-DTANDREL_UPDATE_PUBLIC_KEY="$key.pub.hex" -DTANDREL_UPDATE_NEXT_PUBLIC_KEY="$next_key"
       -DUpdateServerHost="$host")

windows=build/windows-publish
cmake --preset windows-publish "${trust[@]}" >/dev/null
# The version Tandrel.exe is built with.
version=$(sed -n 's/.*kProgramVersion\[\] = "\([0-9]*\.[0-9]*\.[0-9]*\)".*/\1/p' \
  "$windows/generated/app/program_version.h")
[ -n "$version" ] || { echo "release: no version in $windows/generated/app/program_version.h" >&2; exit 1; }
cmake --build "$windows" -j2 --target Tandrel Vexoran tdl
# The publisher's tdl runs here, on Linux.
native=build/publisher
cmake --preset publisher "${trust[@]}" >/dev/null
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
