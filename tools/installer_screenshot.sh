#!/usr/bin/env bash
# installer_screenshot.sh -- capture the installer's directory page under
# 32-bit Wine, on an Xvfb display of its own, into
# docs/images/installer-directory.png. Uses the installer test's prefix
# (build/release-wine/). Needs a kernel that runs 32-bit programs.
set -eu
out=$(cd "$(dirname "$0")/.." && pwd)/docs/images/installer-directory.png
# Where the kernel runs no 32-bit programs the picture is left as it is.
source "$(dirname "$0")/../tests/release/wine_prefix.sh" installer_screenshot || {
  status=$?
  [ $status -eq 77 ] && exit 0
  exit $status
}

xvfb=
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
}
trap cleanup EXIT
Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp 8>"$build/display" </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 50); do [ -s "$build/display" ] && break; sleep 0.1; done
[ -s "$build/display" ] || { echo "installer_screenshot: Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(cat "$build/display")
export DISPLAY

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
