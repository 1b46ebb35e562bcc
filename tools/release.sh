#!/usr/bin/env bash
# release.sh -- build dist/release/ from the DLLs in dist/ (make release):
#   notewick-VERSION-setup.exe  the installer (NSIS 3, package/notewick.nsi)
#   notewick-VERSION.zip        both DLLs, the maps in Notewick Maps/, README.txt,
#                               LICENSE.txt, CHANGELOG.txt
#   SHA256SUMS                  for both
# `release.sh version` prints the version and does nothing else.
#
# The same commit gives the same bytes: every input's file time is set to
# SOURCE_DATE_EPOCH (the last commit's time unless given), the zip gets its
# entries in a fixed order with fixed permissions and no extra fields (the
# maps sorted bytewise), and the DLLs carry no link time (CMakeLists.txt). The
# version comes from core/version.h.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
fail() { echo "release: $*" >&2; exit 1; }

number() { sed -n "s/^#define NOTEWICK_VERSION_$1 \([0-9][0-9]*\)\$/\1/p" core/version.h; }
version="$(number MAJOR).$(number MINOR)"
[[ $version =~ ^[0-9]+\.[0-9]+$ ]] || fail "no version in core/version.h"
if [ "${1:-}" = version ]; then echo "$version"; exit 0; fi

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || fail "not a git checkout: set SOURCE_DATE_EPOCH"
fi
export SOURCE_DATE_EPOCH
for dll in dist/gen_notewick.dll dist/x64/gen_notewick.dll; do
  [ -f "$dll" ] || fail "$dll is missing (make builds it)"
done

out=dist/release
stage=build/release/stage
rm -rf "$stage" "$out"
mkdir -p "$stage/x64" "$stage/Notewick Maps" "$out"
# The same permissions and times whatever the umask and clock of this build.
umask 022
export TZ=UTC LC_ALL=C

cp dist/gen_notewick.dll "$stage/gen_notewick.dll"
cp dist/x64/gen_notewick.dll "$stage/x64/gen_notewick.dll"
# Text files with CRLF line ends, for Notepad.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1" >"$2"; }
crlf package/README.txt "$stage/README.txt"
crlf LICENSE "$stage/LICENSE.txt"
crlf CHANGELOG.md "$stage/CHANGELOG.txt"
# The ready-made controller maps, by name in bytewise order.
mapfile -t maps < <(cd maps && printf '%s\n' *.ini | sort)
[ -f "maps/${maps[0]}" ] || fail "no maps in maps/"
for map in "${maps[@]}"; do
  # The installer script quotes the name: no quotes, dollars or backslashes.
  [[ $map =~ ^[A-Za-z0-9][-A-Za-z0-9\ ._]*\.ini$ ]] || fail "maps/$map: a name of letters, digits, spaces, dots, dashes"
  crlf "maps/$map" "$stage/Notewick Maps/$map"
done
# The installer takes the same list: NOTEWICK_MAPS runs a macro on each name.
{
  echo "; The maps in maps/, listed by tools/release.sh."
  echo '!macro NOTEWICK_MAPS DO'
  for map in "${maps[@]}"; do echo "  !insertmacro \${DO} \"$map\""; done
  echo '!macroend'
} >build/release/maps.nsh
find "$stage" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

zip=notewick-$version.zip
setup=notewick-$version-setup.exe
# -X: no extra fields (uid, gid, times beyond the DOS one); -D: no folder
# entries; the names in this order.
(cd "$stage" && zip -q -X -D "$top/$out/$zip" \
  gen_notewick.dll x64/gen_notewick.dll "${maps[@]/#/Notewick Maps/}" README.txt LICENSE.txt CHANGELOG.txt)

makensis -V2 -DVERSION="$version" -DSTAGE="$top/$stage" -DMAPS="$top/build/release/maps.nsh" \
  -DOUTFILE="$top/$out/$setup" \
  package/notewick.nsi >build/release/makensis.log 2>&1 \
  || { cat build/release/makensis.log; fail "makensis failed"; }

(cd "$out" && sha256sum "$setup" "$zip" >SHA256SUMS)
echo "release: $out/ for version $version (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH):"
(cd "$out" && cat SHA256SUMS)
