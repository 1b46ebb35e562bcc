#!/usr/bin/env bash
# setup.sh -- install the Debian packages the build and the tests need.
# Idempotent: does nothing when every package is present. Never adds the
# i386 architecture or wine32: this machine cannot run 32-bit Linux binaries,
# and with wine32 present the `wine` command picks it and fails.
set -eu

packages=(
  cmake make g++ googletest libgtest-dev clang libclang-rt-14-dev clang-tidy cppcheck
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb fonts-wine x11-utils imagemagick procps
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
