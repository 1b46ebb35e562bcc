#!/usr/bin/env bash
# installer.sh [before-wine] -- the release's installer and uninstaller, run
# for real under 32-bit Wine in a prefix of their own (build/release-wine/),
# silently, the way administrators script them:
#   - no recorded folder: the installer takes Program Files\Winamp;
#   - the folder recorded under HKCU\Software\Winamp, one without winamp.exe:
#     the installer warns and goes on;
#   - /D= a folder laid out like the player's: the installed DLL is
#     dist/gen_notewick.dll byte for byte, the maps are in Plugins\Notewick
#     Maps as the zip has them, and the list of installed programs has the
#     entry with the version;
#   - the running player holds the DLL: the installer stops with an error
#     code, leaves the DLL as it was and schedules nothing for a reboot;
#   - the uninstaller removes the DLL, the maps, itself and the entry, and
#     keeps plugin.ini and a map of the user's own in the maps folder; the
#     folder goes when nothing of the user's is left in it.
# What needs no Wine comes first and is checked on every machine: the
# installer and the zip are there, the stand-in player builds as a 32-bit
# Windows program, and the zip's maps, which the installed ones are compared
# with, are every map of maps/. `installer.sh before-wine` stops there. The
# rest exits 77 (skipped) where this kernel runs no 32-bit programs.
set -eu
mode=${1:-all}
case $mode in all | before-wine) ;; *) echo "usage: installer.sh [before-wine]" >&2; exit 2 ;; esac
# shellcheck source=wine_prefix.sh
source "$(dirname "$0")/wine_prefix.sh" installer later || exit $?

failures=0
check() {  # check WHAT COMMAND...: passes when COMMAND succeeds
  local what=$1; shift
  if "$@"; then echo "  ok   $what"; else echo "  FAIL $what"; failures=$((failures + 1)); fi
}
same() { cmp -s "$1" "$top/dist/gen_notewick.dll"; }
gone() { [ ! -e "$1" ]; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Notewick'
# The value's data, or nothing when the key or value is missing.
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
install() { wine "$setup" /S "$@" </dev/null; }
# The uninstaller copies itself to a temporary folder and runs from there:
# wait for the copy to end.
uninstall() { wine "$1/notewick-uninstall.exe" /S </dev/null; wineserver -w; }
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'

echo "installer: $setup"
echo "before Wine:"
zip=$top/dist/release/notewick-$version.zip
check "the zip is there" [ -f "$zip" ]
standin=$build/winamp.exe
rm -f "$standin"
check "the stand-in player builds" \
  i686-w64-mingw32-gcc -Os -s -Wall -Wextra -Werror -o "$standin" "$top/tests/release/standin_player.c"
pe32() { i686-w64-mingw32-objdump -f "$1" 2>/dev/null | grep -q 'file format pei-i386'; }
check "the stand-in player is a 32-bit Windows program" pe32 "$standin"
zip_maps=$build/zip-maps
rm -rf "$zip_maps"
extract_maps() { 7z x -y -o"$zip_maps" "$zip" "Notewick Maps/*" >/dev/null; }
check "the zip's maps extract" extract_maps
# Two empty folders compare equal: the installed maps are compared with all of them.
names() { (cd "$1" 2>/dev/null && printf '%s\n' *.ini | LC_ALL=C sort); }
check "the zip's maps are every map of maps/" [ "$(names "$zip_maps/Notewick Maps")" = "$(names "$top/maps")" ]
[ $failures -eq 0 ] || { echo "installer: $failures checks failed before Wine" >&2; exit 1; }
if [ "$mode" = before-wine ]; then
  echo "installer: every check before Wine passed"
  exit 0
fi
enter_wine_prefix || { status=$?; echo "installer: the checks under Wine are skipped"; exit $status; }
unset DISPLAY  # silent runs show no window
trap 'wineserver -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/.notewick-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  grep -q '^#arch=win32' "$WINEPREFIX/system.reg" || { echo "installer: no 32-bit Wine prefix" >&2; exit 1; }
  touch "$WINEPREFIX/.notewick-ready"
fi
drive=$WINEPREFIX/drive_c
rm -rf "$drive/Players" "$drive/Program Files/Winamp"
wine reg delete 'HKCU\Software\Winamp' /f >/dev/null 2>&1 || true
wine reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
wine reg delete "$session_manager" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true

echo "no folder recorded by the player:"
check "/S installs" install
check "the DLL is in Program Files\\Winamp\\Plugins" same "$drive/Program Files/Winamp/Plugins/gen_notewick.dll"
check "the uninstaller runs" uninstall "$drive/Program Files/Winamp/Plugins"
check "the emptied maps folder is gone" gone "$drive/Program Files/Winamp/Plugins/Notewick Maps"

echo "the folder the player recorded, without winamp.exe:"
mkdir -p "$drive/Players/Recorded"
wine reg add 'HKCU\Software\Winamp' /ve /d 'C:\Players\Recorded' /f >/dev/null 2>&1
check "/S warns and goes on" install
check "the DLL is in the recorded folder's Plugins" same "$drive/Players/Recorded/Plugins/gen_notewick.dll"
check "the uninstaller runs" uninstall "$drive/Players/Recorded/Plugins"

echo "/D= a folder laid out like the player's:"
player=$drive/Players/Winamp
plugins=$player/Plugins
mkdir -p "$plugins"
cp "$standin" "$player/winamp.exe"
check "/S /D= installs" install '/D=C:\Players\Winamp'
installed_dll=$plugins/gen_notewick.dll
check "the installed DLL equals dist/gen_notewick.dll" same "$installed_dll"
maps_folder="$plugins/Notewick Maps"
check "the maps in Plugins\\Notewick Maps are the zip's" diff -r "$maps_folder" "$zip_maps/Notewick Maps"
check "the uninstall entry's DisplayVersion is $version" [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ]
check "the entry's uninstall command is the uninstaller beside the DLL" \
  [ "$(reg_value "$uninstall_key" UninstallString)" = '"C:\Players\Winamp\Plugins\notewick-uninstall.exe"' ]
check "the uninstaller is there" [ -f "$plugins/notewick-uninstall.exe" ]
check "the entry has the name" [ "$(reg_value "$uninstall_key" DisplayName)" = "Notewick $version (MIDI keyboard plug-in for Winamp)" ]
check "the entry has the publisher" [ "$(reg_value "$uninstall_key" Publisher)" = "the Notewick authors" ]
check "the entry has the size in KB" \
  [ $(($(reg_value "$uninstall_key" EstimatedSize))) -ge $(($(stat -c %s "$installed_dll") / 1024)) ]

# The i686 stand-in player of the end-to-end tests loads the DLL where it was
# installed (through Wine's Z: drive, from the tests' own prefix with the
# test MIDI driver) and runs the key scenario on it.
player_keys() {
  NOTEWICK_DLL=$installed_dll bash "$top/tests/wine/run.sh" 32 keys >"$build/player.log" 2>&1 ||
    { cat "$build/player.log"; return 1; }
}
check "the stand-in player loads the installed plug-in from Plugins and keys drive it" player_keys

echo "the running player holds the DLL:"
rm -f "$build/ready" "$build/release"
# An earlier build stands in for the one the player holds: the same DLL with
# bytes after its end, which the loader ignores.
printf 'an earlier build' >>"$installed_dll"
wine "$player/winamp.exe" hold 'C:\Players\Winamp\Plugins\gen_notewick.dll' "Z:$build/ready" "Z:$build/release" \
  </dev/null &
holder=$!
for _ in $(seq 1 100); do [ -f "$build/ready" ] && break; sleep 0.1; done
check "the stand-in player has loaded the DLL" [ -f "$build/ready" ]
before=$(sha256sum <"$installed_dll")
status=0; install '/D=C:\Players\Winamp' || status=$?
check "/S stops with exit code 2 (got $status)" [ $status -eq 2 ]
touch "$build/release"
wait $holder || true
check "the held DLL is as it was" [ "$(sha256sum <"$installed_dll")" = "$before" ]
check "nothing is scheduled for a reboot" \
  [ -z "$(reg_value "$session_manager" PendingFileRenameOperations)" ]

echo "uninstall:"
printf '[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=9\r\n' >"$plugins/plugin.ini"
ini_before=$(sha256sum <"$plugins/plugin.ini")
printf '[Notewick Controller]\r\nName=Mine\r\nMatch=Mine\r\n' >"$maps_folder/Mine.ini"
check "the uninstaller runs" uninstall "$plugins"
check "the DLL is gone" gone "$installed_dll"
check "the uninstaller is gone" gone "$plugins/notewick-uninstall.exe"
check "the maps are gone, the user's own is not" [ "$(ls "$maps_folder")" = Mine.ini ]
check "the uninstall entry is gone" [ -z "$(reg_value "$uninstall_key" DisplayVersion)" ]
check "plugin.ini is still there, unchanged" [ "$(sha256sum <"$plugins/plugin.ini" 2>/dev/null)" = "$ini_before" ]

[ $failures -eq 0 ] || { echo "installer: $failures checks failed" >&2; exit 1; }
echo "installer: every check passed"
