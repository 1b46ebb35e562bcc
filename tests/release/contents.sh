#!/usr/bin/env bash
# contents.sh -- what dist/release/ holds, read with 7-Zip (which opens zips,
# NSIS installers and PE resources alike), on any machine:
#   - the zip: exactly its entries in order (both DLLs, the maps of maps/ in
#     "Notewick Maps/" sorted bytewise, then the text files); both DLLs equal
#     to dist/; the text files are LICENSE, CHANGELOG.md and
#     package/README.txt, and each map its file in maps/, with CRLF line ends;
#   - SHA256SUMS: both files, and their hashes hold;
#   - the installer: its payload's DLL equals dist/gen_notewick.dll, the
#     uninstaller, the guide and the maps (as in the zip) come with it, and
#     its version record says Notewick and the version.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$(bash "$top/tools/release.sh" version)
rel=$top/dist/release
zip=$rel/notewick-$version.zip
setup=$rel/notewick-$version-setup.exe
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
check() {  # check WHAT COMMAND...: passes when COMMAND succeeds
  local what=$1; shift
  if "$@"; then echo "  ok   $what"; else echo "  FAIL $what"; failures=$((failures + 1)); fi
}
# The entries' paths, in the archive's order.
paths() { 7z l -slt "$@" | sed -n 's/^Path = //p' | tail -n +2; }
# Every line ends with CR LF, and without the CRs the file is SOURCE.
crlf_of() {
  [ -s "$1" ] && ! grep -q $'[^\r]$\|^$' "$1" && tr -d '\r' <"$1" | cmp -s - "$2"
}

# The maps, by name in bytewise order, as tools/release.sh packs them.
mapfile -t maps < <(cd "$top/maps" && printf '%s\n' *.ini | LC_ALL=C sort)
[ -f "$top/maps/${maps[0]}" ] || { echo "contents: no maps in maps/" >&2; exit 1; }
in_maps() { local map; for map in "${maps[@]}"; do echo "$1$map"; done; }

echo "contents: $zip"
check "the zip has the DLLs, the ${#maps[@]} maps and the text files in order" \
  [ "$(paths "$zip")" = "$(printf '%s\n' gen_notewick.dll x64/gen_notewick.dll; in_maps "Notewick Maps/"
                            printf '%s\n' README.txt LICENSE.txt CHANGELOG.txt)" ]
7z x -y -o"$work/zip" "$zip" >/dev/null
check "gen_notewick.dll equals dist/gen_notewick.dll" cmp -s "$work/zip/gen_notewick.dll" "$top/dist/gen_notewick.dll"
check "x64/gen_notewick.dll equals dist/x64/gen_notewick.dll" \
  cmp -s "$work/zip/x64/gen_notewick.dll" "$top/dist/x64/gen_notewick.dll"
check "README.txt is package/README.txt with CRLF" crlf_of "$work/zip/README.txt" "$top/package/README.txt"
check "LICENSE.txt is LICENSE with CRLF" crlf_of "$work/zip/LICENSE.txt" "$top/LICENSE"
check "CHANGELOG.txt is CHANGELOG.md with CRLF" crlf_of "$work/zip/CHANGELOG.txt" "$top/CHANGELOG.md"
for map in "${maps[@]}"; do
  check "Notewick Maps/$map is maps/$map with CRLF" crlf_of "$work/zip/Notewick Maps/$map" "$top/maps/$map"
done

echo "contents: $rel/SHA256SUMS"
check "it lists the installer and the zip" [ "$(awk '{print $2}' "$rel/SHA256SUMS" | tr '\n' ' ')" = \
  "notewick-$version-setup.exe notewick-$version.zip " ]
check "the hashes hold" bash -c "cd '$rel' && sha256sum --quiet -c SHA256SUMS"

echo "contents: $setup"
# $PLUGINSDIR is NSIS's own folder, named so in the archive: no variable here.
# shellcheck disable=SC2016
check "the payload is the DLL, the guide, the uninstaller and the maps" \
  [ "$(paths "$setup" | grep -v '^\$PLUGINSDIR/' | LC_ALL=C sort)" = "$({ in_maps "Plugins/Notewick Maps/"
      printf '%s\n' Plugins/gen_notewick.dll Plugins/notewick-README.txt Plugins/notewick-uninstall.exe; } | LC_ALL=C sort)" ]
7z x -y -o"$work/setup" "$setup" Plugins/gen_notewick.dll "Plugins/Notewick Maps/*" >/dev/null
check "the payload's DLL equals dist/gen_notewick.dll" cmp -s "$work/setup/Plugins/gen_notewick.dll" "$top/dist/gen_notewick.dll"
check "the payload's maps are the zip's" diff -r "$work/setup/Plugins/Notewick Maps" "$work/zip/Notewick Maps"
7z x -y -tPE -o"$work/pe" "$setup" .rsrc/version.txt >/dev/null
record=$(iconv -f UTF-16LE -t UTF-8 "$work/pe/.rsrc/version.txt" | tr -d '\r')
major=${version%.*} minor=${version#*.}
check "its file version is $major,$minor,0,0" grep -Eq "^FILEVERSION +$major,$minor,0,0$" <<<"$record"
check "its product version is $major,$minor,0,0" grep -Eq "^PRODUCTVERSION +$major,$minor,0,0$" <<<"$record"
check "its product is Notewick" grep -Eq '"ProductName", +"Notewick"$' <<<"$record"
check "its product version text is $version" grep -Eq "\"ProductVersion\", +\"$version\"$" <<<"$record"

[ $failures -eq 0 ] || { echo "contents: $failures checks failed" >&2; exit 1; }
echo "contents: every check passed"
