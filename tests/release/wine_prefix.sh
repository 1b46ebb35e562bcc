# shellcheck shell=bash
# wine_prefix.sh -- sourced by the scripts that run the installer under 32-bit
# Wine (tests/release/installer.sh, tools/installer_screenshot.sh): they share
# one 32-bit prefix of their own, build/release-wine/prefix, one at a time.
# Sets top, version, setup (the installer's path) and build, and takes the
# folder's lock; returns 1 when the installer is missing. Then it enters the
# prefix (exports WINEPREFIX and the rest) through enter_wine_prefix, which
# returns 77 where this kernel runs no 32-bit programs. $1 names the caller in
# messages; with $2 "later", the caller enters the prefix itself, after the
# work that needs no Wine.
caller=$1
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$top/build/release-wine
enter_wine_prefix() {
  if ! bash "$top/tools/runs32.sh"; then
    echo "$caller: this kernel runs no 32-bit programs, so there is no 32-bit Wine"
    return 77
  fi
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "$caller: 32-bit Wine (wine32:i386) is not installed (tools/setup.sh could not install it), so the installer is not run"
    return 77
  fi
  export WINEPREFIX=$build/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}
if [ "${2:-}" != later ]; then
  enter_wine_prefix || return $?
fi
version=$(bash "$top/tools/release.sh" version)
setup=$top/dist/release/notewick-$version-setup.exe
[ -f "$setup" ] || { echo "$caller: $setup is missing (make release builds it)" >&2; return 1; }
mkdir -p "$build"
exec 9>"$build/prefix.lock"
flock 9
