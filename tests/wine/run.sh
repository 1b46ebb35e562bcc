#!/usr/bin/env bash
# run.sh -- the stand-in player under Wine, on either DLL.
#
#   run.sh setup              start this run's X display and Wine server, make the prefix
#   run.sh 32|64 SCENARIO     run a scenario (or demo, bench, screenshots): 32 runs the
#                             shipping i686 DLL under 32-bit Wine, 64 its x86_64 twin
#   run.sh display            print this run's X display (starting it if need be)
#   run.sh width              print 32 where the shipping DLL runs here, else 64
#   run.sh stop               stop this run's Wine server and X display, nothing else
#
# Everything lives in build/wine/ of this checkout: one prefix for both widths,
# one Wine server kept running from setup to stop, and one Xvfb on a display
# number it chose itself (-displayfd), so that two checkouts testing at once
# never share or stop each other's. Each scenario gets a folder of its own
# under build/wine/work/WIDTH/. NOTEWICK_DLL names another DLL to load where
# it lies (an installed copy, say) instead of a copy of the one built for the
# width.
#
# A scenario passes only when the program printed "PASS <scenario>" with the
# width it ran at and the machine of the DLL it loaded: a program that never
# ran (a 32-bit one under a 64-bit-only Wine exits 0 and prints nothing), or
# the other width's binaries, fail. Before any Wine runs, the DLL, the player
# and the test driver must be there and built for the width, on every
# machine; then, where this kernel runs no 32-bit programs, width 32 exits 77,
# which CTest reports as skipped.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$top/build/wine
export WINEPREFIX=$build/prefix
export WINEDEBUG=${WINEDEBUG:--all}
# The prefix is this script's own, made for every width the machine runs.
unset WINEARCH WINEDLLOVERRIDES
mkdir -p "$build"

# ---- Which Wine runs what -----------------------------------------------------
# With 32-bit Wine installed and a kernel that runs it, `wine` runs both
# widths. Without it, or where the kernel refuses 32-bit programs (then every
# `wine` call fails, 64-bit programs included), the 64-bit loader runs alone.
if [ -x /usr/lib/wine/wine ] && bash "$top/tools/runs32.sh"; then
  wine32=wine
  wine64=wine
  widths="32 64"
else
  wine32=
  if [ -x /usr/lib/wine/wine64 ]; then
    wine64=/usr/lib/wine/wine64
    export WINELOADER=$wine64
  else
    wine64=wine
  fi
  widths="64"
fi

# ---- This run's X display -------------------------------------------------------
owned_xvfb() {
  local pid
  pid=$(cat "$build/xvfb.pid" 2>/dev/null) || return 1
  [ "$(ps -o comm= -p "$pid" 2>/dev/null)" = Xvfb ] && [ -s "$build/display" ]
}

start_display() {
  exec 8>"$build/display.lock"
  flock 8
  if ! owned_xvfb; then
    rm -f "$build/display" "$build/xvfb.pid"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$build/display.new" </dev/null >/dev/null 2>&1 &
    echo $! >"$build/xvfb.pid"
    for _ in $(seq 1 100); do
      [ -s "$build/display.new" ] && break
      sleep 0.05
    done
    if [ ! -s "$build/display.new" ]; then
      echo "run.sh: Xvfb did not start" >&2
      flock -u 8
      return 1
    fi
    mv "$build/display.new" "$build/display"
  fi
  DISPLAY=:$(cat "$build/display")
  export DISPLAY
  flock -u 8
}

stop_display() {
  exec 8>"$build/display.lock"
  flock 8
  owned_xvfb && kill "$(cat "$build/xvfb.pid")" 2>/dev/null
  rm -f "$build/display" "$build/xvfb.pid"
  flock -u 8
}

# ---- The prefix and the Wine server -----------------------------------------------
install_driver() {
  local driver=$top/build/wine-tools/$1/winefake.drv target=$WINEPREFIX/drive_c/windows/$2/winefake.drv
  [ -f "$driver" ] && ! cmp -s "$driver" "$target" && cp "$driver" "$target"
  return 0
}

# The ready-marker names the widths the prefix was made for: a prefix made
# before 32-bit Wine was installed has no 32-bit half and is made anew.
setup_prefix() {
  exec 9>"$build/prefix.lock"
  flock 9
  if [ "$(cat "$WINEPREFIX/.notewick-ready" 2>/dev/null)" != "$widths" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    $wine64 wineboot.exe -i >/dev/null 2>&1 || true
    reg() { $wine64 reg.exe add "$@" /f >/dev/null 2>&1; }
    reg 'HKCU\Software\Wine\Drivers' /v Audio /d fake
    # Without a window manager: close dialogs at once, and let Wine draw
    # their frames and captions.
    reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
    reg 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N
    wineserver -w
    echo "$widths" >"$WINEPREFIX/.notewick-ready"
  fi
  # The test MIDI driver of each width built, where that width's programs
  # look for it.
  install_driver 64 system32
  [ -n "$wine32" ] && install_driver 32 syswow64
  # Wine's own fonts (fonts-wine): without them "MS Sans Serif" is drawn as
  # DejaVu Sans and dialogs neither look nor measure as on Windows.
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  flock -u 9
}

# One Wine server for the whole run (a second one for the prefix refuses to
# start), and Wine's background programs started now with their output going
# nowhere.
start_server() {
  wineserver -p 2>/dev/null || true
  $wine64 cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

# ---- Commands ----------------------------------------------------------------------
command=${1:?usage: run.sh setup|display|width|stop|32 SCENARIO|64 SCENARIO}
case $command in
  stop)
    # Only this prefix's Wine processes and this run's display.
    if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
    stop_display
    exit 0
    ;;
  setup)
    start_display
    setup_prefix
    start_server
    exit 0
    ;;
  width)
    echo "${widths%% *}"
    exit 0
    ;;
  display)
    start_display
    echo "$DISPLAY"
    exit 0
    ;;
  32 | 64) width=$command ;;
  *) echo "run.sh: unknown command $command" >&2; exit 2 ;;
esac

scenario=${2:?usage: run.sh $width SCENARIO}
if [ "$width" = 32 ]; then
  loader=$wine32
  dll=$top/dist/gen_notewick.dll
  format=pei-i386 objdump=i686-w64-mingw32-objdump
else
  loader=$wine64
  dll=$top/dist/x64/gen_notewick.dll
  format=pei-x86-64 objdump=x86_64-w64-mingw32-objdump
fi
host=$top/build/wine-tools/$width/notewick_host.exe
driver=$top/build/wine-tools/$width/winefake.drv

# What needs no Wine, on every machine: the scenario's folder, and the DLL,
# the stand-in player and the test driver there, each built for the width.
work=$build/work/$width/$scenario
rm -rf "$work"
mkdir -p "$work"
if [ -n "${NOTEWICK_DLL:-}" ]; then
  load=$NOTEWICK_DLL  # where it is, its settings file beside it
else
  load=$work/gen_notewick.dll
  cp "$dll" "$load"
fi
for binary in "$load" "$host" "$driver"; do
  if ! $objdump -f "$binary" 2>/dev/null | grep -q "file format $format"; then
    echo "run.sh: $binary is missing or not $format (make dlls builds it)" >&2
    exit 1
  fi
done
if [ "$width" = 32 ] && [ -z "$wine32" ]; then
  echo "SKIP: this machine runs no 32-bit programs under Wine (kernel or wine32:i386), so the shipping DLL is not run"
  exit 77
fi
start_display
setup_prefix

# A scenario that checks which window is active gets an X display and a Wine
# desktop of its own (NOTEWICK_OWN_DESKTOP=1): both keep the active window
# per display or desktop, and other scenarios showing their windows would
# take it away.
private_xvfb=
if [ "${NOTEWICK_OWN_DESKTOP:-0}" = 1 ]; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
  private_xvfb=$!
  trap 'kill $private_xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
  done
  [ -s "$work/display" ] || { echo "run.sh: the scenario's own Xvfb did not start" >&2; exit 1; }
  DISPLAY=:$(cat "$work/display")
  export DISPLAY
  export NOTEWICK_DESKTOP=notewick-$width-$scenario
fi

# The program writes to a file of its own, shown as it grows: Wine programs
# started meanwhile inherit that file, not this script's output, so nothing
# waits on them once the player has ended.
# The ready-made maps in the repository, for the demo's pad controller.
export NOTEWICK_MAPS_DIR=$top/maps
output=$work/output.txt
: >"$output"
limit=120
[ "$scenario" = bench ] && limit=300
timeout $limit $loader "$host" "$scenario" "$load" \
  </dev/null >"$output" 2>&1 &
player=$!
tail -s 0.05 -n +1 -f --pid=$player "$output"
status=0
wait $player || status=$?
# The player's last line names the binaries that ran; anything else fails.
case $width in
  32) ran="32-bit player, i386 DLL" ;;
  64) ran="64-bit player, x86-64 DLL" ;;
esac
if ! tr -d '\r' <"$output" | grep -qxF "PASS $scenario ($ran)"; then
  echo "run.sh: no \"PASS $scenario ($ran)\" from the player (exit status $status)"
  [ $status -ne 0 ] || status=1
fi
exit $status
