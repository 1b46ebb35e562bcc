#!/usr/bin/env bash
# screenshots.sh -- capture the three dialogs (the Bindings dialog twice: the
# configured device's bindings and a controller's) of the shipping DLL (of its twin where
# this machine runs no 32-bit Wine) under Wine and Xvfb into docs/images/ as
# PNG files, with Wine drawing the frame and caption.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
run=$top/tests/wine/run.sh
width=$(bash "$run" width)
DISPLAY=$(bash "$run" display)
export DISPLAY
out=$top/docs/images
work=$top/build/wine/work/$width/screenshots
log=$top/build/wine/screenshots.log
mkdir -p "$out" "$top/build/wine"
: >"$log"

echo "screenshots: the dialogs of the $width-bit DLL"
bash "$run" "$width" screenshots >"$log" 2>&1 &
player=$!
taken=0
while kill -0 "$player" 2>/dev/null || grep -q '^SHOT' "$log"; do
  while read -r tag name x y w h; do
    [ "$tag" = SHOT ] || continue
    [ -f "$work/$name.done" ] && continue
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
    echo "screenshots: docs/images/$name.png (${w} x ${h})"
    touch "$work/$name.done"
    taken=$((taken + 1))
  done < <(tr -d '\r' <"$log")
  kill -0 "$player" 2>/dev/null || break
  sleep 0.1
done
wait "$player" || { cat "$log"; exit 1; }
[ "$taken" -eq 4 ] || { echo "screenshots: took $taken of 4 pictures" >&2; cat "$log"; exit 1; }
