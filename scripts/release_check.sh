#!/bin/sh
# `make release-check`: what a build must pass before it ships. Runs, in order, the whole
# suite (`make test`); every fuzz target for FUZZ_SECONDS (default 60, two at a time) and,
# beside them, the soaks of the resident daemons (soak/) and the footprint budget of the
# board's programs; then the emulated board's test. Prints one table and exits non-zero when
# any row failed. Logs are kept in build-release-check/.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}
logs=build-release-check
rm -rf "$logs"
mkdir -p "$logs"
table="$logs/table.txt"
: >"$table"
failed=0
started=$(date +%s)

row() { printf '| %-26s | %-9s | %7s | %s\n' "$1" "$2" "$3" "$4" >>"$table"; }

# check NAME DETAIL CMD...: runs CMD with its output in $logs/NAME.log and adds a row. DETAIL
# is the row's note; a failure adds the log's name and last line.
check() {
  name=$1 detail=$2
  shift 2
  log="$logs/$name.log"
  echo "release-check: $name ..."
  t0=$(date +%s)
  if "$@" >"$log" 2>&1; then
    result=PASS
  else
    result=FAIL
    failed=1
    detail="$detail; see $log: $(grep -v '^[[:space:]]*$' "$log" | tail -n 1 | cut -c1-100)"
  fi
  row "$name" "$result" "$(($(date +%s) - t0)) s" "$detail"
}

# The soaks print one PASS or FAIL line each: that line is the row's note.
soak() {
  name=$1
  shift
  log="$logs/$name.log"
  echo "release-check: $name ..."
  t0=$(date +%s)
  if "$@" >"$log" 2>&1; then result=PASS; else result=FAIL failed=1; fi
  line=$(grep -E '^(PASS|FAIL)' "$log" | tail -n 1)
  row "$name" "$result" "$(($(date +%s) - t0)) s" "${line:-no verdict printed; see $log}"
}

check "make test" "native (ASan/UBSan), ThreadSanitizer, MIPS under qemu" make test JOBS="$jobs"

# The soaks and the footprint check run beside the fuzz targets: most of their time is spent
# waiting on the daemons, and the fuzz targets run for a fixed time whatever the load. Their
# rows go to a table of their own, added after the fuzz row.
side() {
  table="$logs/side-table.txt" failed=0
  : >"$table"
  if check "soak build" "native optimised build (preset bench)" \
    sh -c "cmake --preset bench >/dev/null && cmake --build --preset bench -j $jobs --target soaks"
  then
    soak "soak modemd" build-bench/bin/modemd_soak 1000000
    soak "soak rmagent" build-bench/bin/rmagent_soak 60
    soak "soak serbridge" build-bench/bin/serbridge_soak 15
  fi
  check "footprint" "board programs within 600 KiB stripped, none needing libstdc++" \
    scripts/footprint.sh
  exit "$failed"
}
side &
side_pid=$!

check "fuzz (${seconds} s each)" "$(find fuzz -maxdepth 1 -name "*_fuzz.cpp" | wc -l) targets, 2 at a time; table in build-fuzz/fuzz-report.txt" \
  env FUZZ_SECONDS="$seconds" FUZZ_PARALLEL=2 JOBS="$jobs" scripts/fuzz.sh

wait "$side_pid" || failed=1
cat "$logs/side-table.txt" >>"$table"

check "board test" "the emulated board (make board-test)" make board-test JOBS="$jobs"

total=$(($(date +%s) - started))
echo
printf '| %-26s | %-9s | %7s | %s\n' check result time note
printf '|%s|%s|%s|%s\n' "----------------------------" "-----------" "---------" "------"
cat "$table"
printf '| %-26s | %-9s | %7s | %s\n' "total" "$([ "$failed" -eq 0 ] && echo PASS || echo FAIL)" \
  "$((total / 60))m$((total % 60))s" "goal: under 30 minutes on two cores"
exit "$failed"
