#!/usr/bin/env bash
# setup.sh -- install the Debian packages the build and the tests need.
# Idempotent: does nothing when every package is present.
#
# The shipping DLL is 32-bit. Where this kernel runs 32-bit programs, setup
# adds the i386 architecture and 32-bit Wine (wine32:i386) beside 64-bit Wine,
# so that the tests run that DLL itself; where it does not, setup installs
# nothing i386 (with wine32 present every `wine` call would fail there).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  cmake make g++ googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev clang-tidy cppcheck shellcheck
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb fonts-wine x11-utils imagemagick procps
  nsis p7zip-full zip git
)

if bash "$top/tools/runs32.sh"; then
  packages+=(wine32:i386)
else
  echo "setup: this kernel runs no 32-bit programs: no 32-bit Wine, the shipping DLL's Wine tests will be skipped"
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# After a failed try at 32-bit Wine, builds in the next quarter hour do not
# wait for the mirror again.
stamp=/var/tmp/notewick-setup-i386-failed
only32=1
for p in "${missing[@]}"; do [[ $p == *:i386 ]] || only32=0; done
if [ "$only32" = 1 ] && [ -n "$(find "$stamp" -mmin -15 2>/dev/null)" ]; then
  echo "setup: 32-bit Wine could not be installed a short while ago: the shipping DLL's Wine tests will be skipped" >&2
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# A mirror in the middle of a sync serves index files of the wrong size for a
# while: try again, and after the last try install from what was fetched.
for try in 1 2 3 4 5; do
  apt-get update -qq && break
  echo "setup: the package lists did not all download (try $try of 5)" >&2
  [ "$try" -lt 5 ] && sleep $((try * 15))
done
install() { apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
for try in 1 2 3; do
  install "${missing[@]}" && exit 0
  echo "setup: installing failed (try $try of 3)" >&2
  [ "$try" -lt 3 ] && { sleep 20; apt-get update -qq || true; }
done
# The i386 lists are the ones a syncing mirror leaves out of step with the
# amd64 ones; everything else is still worth having, and the 32-bit tests then
# report themselves skipped, since they find no 32-bit Wine.
rest=()
for p in "${missing[@]}"; do [[ $p == *:i386 ]] || rest+=("$p"); done
if [ ${#rest[@]} -lt ${#missing[@]} ] && { [ ${#rest[@]} -eq 0 ] || install "${rest[@]}"; }; then
  echo "setup: 32-bit Wine could not be installed from this mirror now: the shipping DLL's Wine tests will be skipped" >&2
  touch "$stamp"
  exit 0
fi
exit 1
