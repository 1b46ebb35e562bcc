#!/usr/bin/env bash
# installer_screenshot.sh -- capture the installer's directory page under
# 32-bit Wine, on an Xvfb display of its own, into
# docs/images/installer-directory.png. Uses the installer test's prefix
# (build/release-wine/). Needs a kernel that runs 32-bit programs.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
if ! bash "$top/tools/runs32.sh"; then
  echo "installer_screenshot: this kernel runs no 32-bit programs: the installer's picture is left as it is"
  exit 0
fi
version=$(bash "$top/tools/release.sh" version)
setup=$top/dist/release/notewick-$version-setup.exe
[ -f "$setup" ] || { echo "installer_screenshot: $setup is missing (make release)" >&2; exit 1; }
build=$top/build/release-wine
out=$top/docs/images/installer-directory.png
export WINEPREFIX=$build/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$build"
exec 9>"$build/prefix.lock"
flock 9

xvfb=
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp 8>"$build/display" </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 50); do [ -s "$build/display" ] && break; sleep 0.1; done
[ -s "$build/display" ] || { echo "installer_screenshot: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$build/display")

[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1 || true; wineserver -w; }
# Wine draws the frame and caption itself, as without a window manager it
# would not; and with its own fonts the page looks as on Windows.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
# The player's folder as its own installer records it.
mkdir -p "$WINEPREFIX/drive_c/Program Files/Winamp/Plugins"
wine reg add 'HKCU\Software\Winamp' /ve /d 'C:\Program Files\Winamp' /f >/dev/null 2>&1

wine "$setup" </dev/null >/dev/null 2>&1 &
title="Notewick $version Setup"  # the window's name, which may go on
window=
for _ in $(seq 1 100); do
  window=$(xwininfo -root -tree | awk -v t="\"$title" 'index($0, t) {print $1; exit}')
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "installer_screenshot: no window \"$title\"" >&2; exit 1; }
sleep 2  # let the page finish drawing
import -window "$window" "$out"
echo "installer_screenshot: docs/images/installer-directory.png ($(identify -format '%w x %h' "$out"))"
