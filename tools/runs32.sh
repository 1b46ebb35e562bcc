#!/usr/bin/env bash
# runs32.sh -- exit 0 when this kernel runs 32-bit x86 programs, 1 when not.
#
# It writes and runs a 96-byte 32-bit ELF program that does nothing but make
# the exit system call through int 0x80 with code 42: no i386 package is
# needed to find out. The program is written afresh in a folder of its own
# under this checkout's build/ (where the build runs programs anyway, so
# unlike /tmp it cannot be mounted noexec), and two probes never meet.
#
# NOTEWICK_NO_32BIT=1 makes it answer no, to try on this machine what a
# machine without 32-bit support does.
set -u
[ "${NOTEWICK_NO_32BIT:-0}" = 1 ] && exit 1
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$top/build" && dir=$(mktemp -d -p "$top/build" runs32.XXXXXX) || exit 1
trap 'rm -rf "$dir"' EXIT
probe=$dir/exit42
# ELF header (52 bytes): 32-bit, little-endian, executable, i386, entry 0x08048054.
# One program header (32 bytes): load the whole file at 0x08048000, read and execute.
# Code (12 bytes): mov eax, 1; mov ebx, 42; int 0x80.
printf '%b' \
  '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
  '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
  '\x00\x00\x00\x00' \
  '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
  '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
  '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
[ $? -eq 42 ]
