#!/usr/bin/env bash
# run.sh SCENARIO|demo|setup -- run the stand-in player under 64-bit Wine with
# the x86_64 twin DLL and the test MIDI driver.
#
# The Wine prefix lives in the build tree (never the home folder). Dialogs and
# message boxes need an X display: an Xvfb on display :97 is started when none
# answers there.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$top/build/wine
tools=$top/build/wine-tools
export WINEPREFIX=$build/prefix
export WINEDEBUG=${WINEDEBUG:--all}
export DISPLAY=${NOTEWICK_DISPLAY:-:97}
mkdir -p "$build"

start_display() {
  xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && return 0
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  echo $! >"$build/xvfb.pid"
  for _ in $(seq 1 50); do
    xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "run.sh: Xvfb on $DISPLAY did not start" >&2
  return 1
}

setup_prefix() {
  # One setup at a time, also when CTest runs scenarios in parallel.
  exec 9>"$build/prefix.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.notewick-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d fake /f >/dev/null 2>&1
    # Without a window manager: close dialogs at once, and let Wine draw
    # their frames and captions.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.notewick-ready"
  fi
  cp "$tools/winefake.drv" "$WINEPREFIX/drive_c/windows/system32/winefake.drv"
  # Wine's own fonts (fonts-wine): without them "MS Sans Serif" is drawn as
  # DejaVu Sans and dialogs neither look nor measure as on Windows.
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  flock -u 9
}

scenario=${1:?usage: run.sh SCENARIO|demo|setup|stop}
if [ "$scenario" = stop ]; then
  # End this prefix's Wine processes and the Xvfb this script started.
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
  if [ -f "$build/xvfb.pid" ]; then
    kill "$(cat "$build/xvfb.pid")" 2>/dev/null || true
    rm -f "$build/xvfb.pid"
  fi
  exit 0
fi
start_display
setup_prefix
[ "$scenario" = setup ] && exit 0

work=$build/work/$scenario
rm -rf "$work"
mkdir -p "$work"
cp "$top/dist/x64/gen_notewick.dll" "$work/gen_notewick.dll"
exec timeout 120 wine "$tools/notewick_host.exe" "$scenario" "$work/gen_notewick.dll" </dev/null
