#!/usr/bin/env bash
# fuzz.sh [SECONDS [FUZZER...]] -- run each fuzzer (dispatch, sections; both
# by default) for SECONDS (default 30), one after the other, each on a working
# copy of its seed corpus in build/fuzz/; fails when an invariant breaks or a
# sanitizer reports. Crashing inputs are kept in build/fuzz/.
#   dispatch  the window and the rules; seeds in tests/fuzz/corpus/
#   sections  what users edit and share; seeds in tests/fuzz/sections/ and
#             the shipped maps in maps/, words in tests/fuzz/sections.dict
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
shift || true
[ $# -gt 0 ] || set -- dispatch sections
status=0
for name in "$@"; do
  case $name in
    dispatch) corpus=$top/build/fuzz/corpus seeds=("$top"/tests/fuzz/corpus/*) options=() ;;
    sections)
      corpus=$top/build/fuzz/sections-corpus seeds=("$top"/tests/fuzz/sections/* "$top"/maps/*.ini)
      options=(-dict="$top/tests/fuzz/sections.dict")
      ;;
    *) echo "fuzz.sh: no fuzzer $name (dispatch, sections)" >&2; exit 2 ;;
  esac
  fuzzer=$top/build/fuzz/tests/fuzz/${name}_fuzzer
  log=$top/build/fuzz/$name-last-run.log
  mkdir -p "$corpus"
  cp -n "${seeds[@]}" "$corpus"/
  run=0
  "$fuzzer" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$top/build/fuzz/$name-" "$corpus" \
    >"$log" 2>&1 || run=$?
  echo "$name: $(grep -E '^Done [0-9]+ runs' "$log" || echo 'no runs')"
  if [ $run -ne 0 ]; then
    grep -a -E 'invariant broken|runtime error|ERROR' "$log" | head -20
    echo "fuzz.sh: the $name fuzzer failed (log: $log)" >&2
    status=1
  fi
done
exit $status
