#!/usr/bin/env bash
# bench.sh -- the benchmark tables: figures, each beside its baseline from the
# same run, for the shipping DLL under 32-bit Wine (where this machine runs
# it) and for its x86_64 twin under 64-bit Wine, each with the test MIDI
# driver of its own width. Not a test: it never fails because the machine is
# slow.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
run=$top/tests/wine/run.sh
prefix=$top/build/wine/prefix
mkdir -p "$top/build/wine"

# Context switches (voluntary and not): wake-ups, of one thread of a
# process, and of all of them.
thread_switches() { awk '/ctxt_switches/ {s += $2} END {print s + 0}' /proc/"$1"/task/"$2"/status 2>/dev/null || echo 0; }
switches() {
  local total=0 tid
  for tid in $(task_list "$1"); do total=$((total + $(thread_switches "$1" "$tid"))); done
  echo "$total"
}
task_list() { find /proc/"$1"/task -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | sort; }
# The stand-in player: the Wine process of this checkout's prefix running
# notewick_host.exe bench.
player_pid() {
  # (The 32-bit loader hands a 64-bit program over through start.exe, whose
  # command line names the player too.)
  for pid in $(pgrep -f 'notewick_host.exe bench'); do
    grep -q 'start.exe' /proc/"$pid"/cmdline 2>/dev/null && continue
    tr '\0' '\n' </proc/"$pid"/environ 2>/dev/null | grep -qx "WINEPREFIX=$prefix" || continue
    [ "$(task_list "$pid" | wc -l)" -gt 1 ] && { echo "$pid"; return; }
  done
}

# One table: the DLL of the given width under Wine of that width.
bench_width() {
  local width=$1 dll=$2
  local work=$top/build/wine/work/$width/bench
  local log=$top/build/wine/bench-$width.log
  : >"$log"
  # Four controllers with an output each beside the keyboard, for the part
  # with several controllers; 25 inputs for the keyboard and 8 controllers
  # of 3 ports.
  FAKEMIDI_DEVICES=25 FAKEMIDI_OUTPUTS=5 NOTEWICK_NO_BOX_WATCHER=1 bash "$run" "$width" bench >"$log" 2>&1 &
  runner=$!
  idle_start=
  idle_switches=
  lights_start=
  lights_switches=
  tasks_before=
  worker=
  tasks_before2=
  worker2=
  controllers_start=
  controllers_switches=
  tasks_before3=
  worker3=
  ports_start=
  ports_switches=
  # The Linux thread init starts is the worker: it appears between two marks.
  while kill -0 "$runner" 2>/dev/null; do
    if [ -z "$tasks_before" ] && grep -q '^MARK before-init' "$log"; then
      pid=$(player_pid)
      tasks_before=$(task_list "$pid")
      touch "$work/before-init.done"
    fi
    if [ -n "$tasks_before" ] && [ -z "$worker" ] && grep -q '^MARK after-init' "$log"; then
      worker=$(comm -13 <(echo "$tasks_before") <(task_list "$pid") | head -n 1)
      touch "$work/after-init.done"
    fi
    if [ -z "$idle_start" ] && grep -q '^MARK idle-start' "$log"; then
      idle_start=$(thread_switches "$pid" "$worker")
      idle_all=$(switches "$pid")
      touch "$work/idle-start.done"
    fi
    if [ -n "$idle_start" ] && [ -z "$idle_switches" ] && grep -q '^MARK idle-end' "$log"; then
      idle_switches=$(( $(thread_switches "$pid" "$worker") - idle_start ))
      idle_all=$(( $(switches "$pid") - idle_all ))
      threads=$(task_list "$pid" | wc -l)
      touch "$work/idle-end.done"
    fi
    # The part with several controllers starts the plug-in again: its worker too.
    if [ -z "$tasks_before2" ] && grep -q '^MARK before-init-2' "$log"; then
      tasks_before2=$(task_list "$pid")
      touch "$work/before-init-2.done"
    fi
    if [ -n "$tasks_before2" ] && [ -z "$worker2" ] && grep -q '^MARK after-init-2' "$log"; then
      worker2=$(comm -13 <(echo "$tasks_before2") <(task_list "$pid") | head -n 1)
      touch "$work/after-init-2.done"
    fi
    if [ -z "$controllers_start" ] && grep -q '^MARK controllers-idle-start' "$log"; then
      controllers_start=$(thread_switches "$pid" "$worker2")
      touch "$work/controllers-idle-start.done"
    fi
    if [ -n "$controllers_start" ] && [ -z "$controllers_switches" ] && grep -q '^MARK controllers-idle-end' "$log"; then
      controllers_switches=$(( $(thread_switches "$pid" "$worker2") - controllers_start ))
      touch "$work/controllers-idle-end.done"
    fi
    # The part with 8 controllers of 3 ports: its worker, and every thread.
    if [ -z "$tasks_before3" ] && grep -q '^MARK before-init-3' "$log"; then
      tasks_before3=$(task_list "$pid")
      touch "$work/before-init-3.done"
    fi
    if [ -n "$tasks_before3" ] && [ -z "$worker3" ] && grep -q '^MARK after-init-3' "$log"; then
      worker3=$(comm -13 <(echo "$tasks_before3") <(task_list "$pid") | head -n 1)
      touch "$work/after-init-3.done"
    fi
    if [ -z "$ports_start" ] && grep -q '^MARK ports-idle-start' "$log"; then
      ports_start=$(thread_switches "$pid" "$worker3")
      ports_all=$(switches "$pid")
      touch "$work/ports-idle-start.done"
    fi
    if [ -n "$ports_start" ] && [ -z "$ports_switches" ] && grep -q '^MARK ports-idle-end' "$log"; then
      ports_switches=$(( $(thread_switches "$pid" "$worker3") - ports_start ))
      ports_all=$(( $(switches "$pid") - ports_all ))
      touch "$work/ports-idle-end.done"
    fi
    if [ -z "$lights_start" ] && grep -q '^MARK lights-idle-start' "$log"; then
      lights_start=$(thread_switches "$pid" "$worker")
      touch "$work/lights-idle-start.done"
    fi
    if [ -n "$lights_start" ] && [ -z "$lights_switches" ] && grep -q '^MARK lights-idle-end' "$log"; then
      lights_switches=$(( $(thread_switches "$pid" "$worker") - lights_start ))
      touch "$work/lights-idle-end.done"
    fi
    sleep 0.05
  done
  wait "$runner" || { cat "$log"; exit 1; }

  echo "$dll under $width-bit Wine, with the $width-bit test MIDI driver and stand-in player:"
  echo
  tr -d '\r' <"$log" | sed -n '/^| figure/,/^ROWS-END/p' | grep -v '^ROWS-END'
  printf '| %-44s | %-18s | %-28s | %-6s | %-22s |\n' "worker wake-ups, idle 10 s" \
    "${idle_switches:-?}" "${idle_all:-?} in all ${threads:-?} threads" "" "0"
  # Each read of the player is a send through the Wine server, several
  # switches of the worker thread; the worker wakes once a read.
  printf '| %-44s | %-18s | %-28s | %-6s | %-22s |\n' "worker context switches, lights on, 10 s" \
    "${lights_switches:-?}" "${idle_switches:-?} without an output" "" ""
  printf '| %-44s | %-18s | %-28s | %-6s | %-22s |\n' "worker wake-ups, 4 controllers, no output, 10 s" \
    "${controllers_switches:-?}" "${idle_switches:-?} the keyboard alone" "" "0"
  printf '| %-44s | %-18s | %-28s | %-6s | %-22s |\n' "worker wake-ups, 8 controllers x 3 ports, 10 s" \
    "${ports_switches:-?}" "${ports_all:-?} in all threads (${idle_all:-?} keyboard alone)" "" "0"
  tr -d '\r' <"$log" | grep -E '^ROWS-END' | awk '{printf "\n(%s latency samples through the plug-in, %s through the floor, %s bare sends, taken in turn)\n\n", $2, $3, $4}'
}

echo "Notewick benchmark: figures from one run on this machine, each beside its baseline"
echo "taken under the same Wine width; not a pass/fail test."
echo
if [ "$(bash "$run" width)" = 32 ]; then
  bench_width 32 dist/gen_notewick.dll
else
  echo "(the shipping 32-bit DLL is not run here: this machine runs no 32-bit programs under Wine)"
  echo
fi
bench_width 64 dist/x64/gen_notewick.dll
# The worker's own time per message against its table of bindings, natively
# on the fake platform: a message no binding and no rule takes, so that the
# whole table is searched.
median_ns() { awk -F, -v name="\"${2:-workerPerMessage}/$1_median\"" '$1 == name {printf "%.0f", $4}'; }
figures=$("$top/build/native/tests/dispatch_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null)
none=$(median_ns 0 <<<"$figures")
full=$(median_ns 128 <<<"$figures")
echo "The worker's own time per message (native, fake platform, CPU time, median of 5):"
echo
printf '| %-44s | %-18s | %-28s | %-22s |\n' figure measured baseline target
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..46})" "$(printf -- '-%.0s' {1..20})" "$(printf -- '-%.0s' {1..30})" \
  "$(printf -- '-%.0s' {1..24})"
printf '| %-44s | %-18s | %-28s | %-22s |\n' "worker per message, 128 bindings searched" "$full ns" "$none ns with no bindings" \
  "far below one send"
# A key-map key from the callback through the worker's wake-up, nothing
# bound, beside the same commit built with the gestures compiled out, and
# with 8 controllers configured and idle beside none.
cmake --build "$top/build/native" --target dispatch_bench_baseline >/dev/null
keys=$("$top/build/native/tests/dispatch_bench" --benchmark_filter=PerKey --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null)
base=$("$top/build/native/tests/dispatch_bench_baseline" --benchmark_filter=PerKey --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null)
printf '| %-44s | %-18s | %-28s | %-22s |\n' "worker per key-map key, nothing bound" "$(median_ns 0 workerPerKey <<<"$keys") ns" \
  "$(median_ns 0 workerPerKey <<<"$base") ns, no gestures built" "within 1.3x"
printf '| %-44s | %-18s | %-28s | %-22s |\n' "worker per key, 8 controllers set up, idle" \
  "$(median_ns 8 workerPerKey <<<"$keys") ns" "$(median_ns 0 workerPerKey <<<"$keys") ns with none" "within 1.3x"
printf '| %-44s | %-18s | %-28s | %-22s |\n' "MIDI callback per key, nothing bound" "$(median_ns 0 callbackPerKey <<<"$keys") ns" \
  "$(median_ns 0 callbackPerKey <<<"$base") ns, no gestures built" "figure only"
echo
echo "(One send to the player's window takes the bare SendMessage time in the tables above.)"
echo
size=$(bash "$top/tools/check_dll.sh" "$top/dist/gen_notewick.dll" i386 | sed -n 's/.*, \([0-9]*\) bytes of code and data.*/\1/p')
echo "The shipping DLL holds $size bytes of code and data besides its resources (target: under 262144)."
