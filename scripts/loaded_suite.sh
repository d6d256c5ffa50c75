#!/bin/sh
# Runs the built test suites RUNS times (default 5) with both cores kept busy by two CPU-bound
# processes, as CI's parallel ctest on a busy host does: a test that only passes on an idle host
# shows up here. Build first (make test). Usage: scripts/loaded_suite.sh [RUNS] [PRESET ...]
# (presets default to asan and mips). Prints one line per run; status 1 if any run failed.
set -u
cd "$(dirname "$0")/.."
runs=${1:-5}
[ $# -gt 0 ] && shift
presets=${*:-asan mips}
logdir=$(mktemp -d /tmp/loaded-suite.XXXXXX)

sh -c 'while :; do :; done' &
busy1=$!
sh -c 'while :; do :; done' &
busy2=$!
trap 'kill $busy1 $busy2 2>/dev/null' EXIT INT TERM

status=0
for preset in $presets; do
    i=1
    while [ "$i" -le "$runs" ]; do
        log="$logdir/$preset-$i.log"
        if ctest --preset "$preset" >"$log" 2>&1; then
            echo "$preset run $i: $(grep -E 'tests passed' "$log")"
        else
            status=1
            echo "$preset run $i: FAILED ($log)"
            sed -n '/The following tests FAILED/,$p' "$log"
        fi
        i=$((i + 1))
    done
done
exit "$status"
