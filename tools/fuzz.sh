#!/usr/bin/env bash
# fuzz.sh [SECONDS] -- run the dispatch fuzzer for SECONDS (default 30) on a
# working copy of the seed corpus; fails when an invariant breaks or a
# sanitizer reports. Crashing inputs are kept in build/fuzz/.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
fuzzer=$top/build/fuzz/tests/fuzz/dispatch_fuzzer
corpus=$top/build/fuzz/corpus
mkdir -p "$corpus"
cp -n "$top"/tests/fuzz/corpus/* "$corpus"/
log=$top/build/fuzz/last-run.log
set +e
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$top/build/fuzz/" "$corpus" >"$log" 2>&1
status=$?
set -e
grep -E '^Done [0-9]+ runs' "$log" || true
if [ $status -ne 0 ]; then
  grep -E 'invariant broken|runtime error|ERROR' "$log" | head -20
  echo "fuzz.sh: the fuzzer failed (log: $log)" >&2
fi
exit $status
