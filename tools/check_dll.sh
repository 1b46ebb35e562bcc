#!/usr/bin/env bash
# check_dll.sh DLL ARCH -- fail unless DLL is what the player can load:
# a PE DLL for ARCH (i386 or x86-64), with exactly one export named exactly
# winampGetGeneralPurposePlugin, importing only from system DLLs.
set -eu
dll=$1
arch=$2
fail() { echo "check_dll: $dll: $*" >&2; exit 1; }
[ -f "$dll" ] || fail "missing"

case $arch in
  i386) objdump=i686-w64-mingw32-objdump; format=pei-i386; magic=010b ;;
  x86-64) objdump=x86_64-w64-mingw32-objdump; format=pei-x86-64; magic=020b ;;
  *) fail "unknown architecture $arch" ;;
esac
info=$($objdump -p "$dll")

grep -q "file format $format" <<<"$info" || fail "not $format"
grep -q "^Magic[[:space:]]*$magic" <<<"$info" || fail "wrong optional-header magic (want $magic)"
# Characteristics must say DLL (0x2000).
chars=$(awk "/^Characteristics/ {print \$2; exit}" <<<"$info"); chars=${chars#0x}
(( (16#$chars & 0x2000) != 0 )) || fail "not a DLL (characteristics $chars)"

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$info" | grep -E '^\s+\[' | awk '{print $NF}')
[ "$exports" = "winampGetGeneralPurposePlugin" ] || fail "exports must be exactly winampGetGeneralPurposePlugin, got: ${exports//$'\n'/ }"

imports=$(awk '/DLL Name:/ {print toupper($3)}' <<<"$info" | sort -u)
for name in $imports; do
  case $name in
    KERNEL32.DLL|USER32.DLL|WINMM.DLL|MSVCRT.DLL|GDI32.DLL|ADVAPI32.DLL|COMCTL32.DLL|SHELL32.DLL) ;;
    *) fail "imports from $name, which the player's folder will not have" ;;
  esac
done
# Code and data (zero-filled data included), resources apart, stay under
# 256 KB: the bindings section kept as text, lights, endless knobs and
# transport messages took the plug-in from the 32 KB it long fitted in to
# about 64 KB; several controllers at once, each with its own slots, windows
# and buffers, their dialog and the maps to about 110 KB; gestures, and every
# port of every device (the system's ports listed with their device
# instances, the devices they make, each device's open ports) to about 225 KB.
size=0
while read -r name hex; do
  case $name in .rsrc|.reloc) ;; *) size=$((size + 16#$hex)) ;; esac
done < <($objdump -h "$dll" | awk '$1 ~ /^[0-9]+$/ {print $2, $3}')
[ "$size" -lt 262144 ] || fail "code and data are $size bytes, over 256 KB"

echo "check_dll: $dll: $format, $size bytes of code and data, one export winampGetGeneralPurposePlugin, imports ${imports//$'\n'/ }"
