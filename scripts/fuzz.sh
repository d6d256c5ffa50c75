#!/bin/sh
# `make fuzz`: builds the libFuzzer targets (preset "fuzz", clang) and runs each for
# FUZZ_SECONDS (default 10) over a copy of its seed corpus and its regressions, FUZZ_PARALLEL
# targets at a time (default 1). An input that crashes or breaks a property is saved in
# fuzz/regressions/NAME/ and the run fails. Prints a table of executions, coverage and findings
# (also kept in build-fuzz/fuzz-report.txt).
set -eu

seconds=${FUZZ_SECONDS:-10}
jobs=${JOBS:-2}
parallel=${FUZZ_PARALLEL:-1}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

work=build-fuzz/fuzz-work
report=build-fuzz/fuzz-report.txt
rm -rf "$work"
mkdir -p "$work"

# run_target BIN: one target's run; its table row goes to $work/NAME.row, and $work/NAME.failed
# is made when it found something.
run_target() {
  bin=$1
  name=$(basename "$bin" _fuzz)
  corpus="$work/$name"
  mkdir -p "$corpus" "fuzz/regressions/$name"
  cp fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true
  find "fuzz/regressions/$name" -maxdepth 1 -type f -exec cp {} "$corpus"/ \;
  log="$work/$name.log"
  before=$(find "fuzz/regressions/$name" -maxdepth 1 -type f | wc -l)
  echo "fuzz: $name for ${seconds}s"
  status=0
  "$bin" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="fuzz/regressions/$name/" "$corpus" \
    >"$log" 2>&1 || status=$?
  after=$(find "fuzz/regressions/$name" -maxdepth 1 -type f | wc -l)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
  findings="none"
  if [ "$status" -ne 0 ] || [ "$after" -gt "$before" ]; then
    findings="FAILED (status $status, $((after - before)) new in fuzz/regressions/$name, log $log)"
    : >"$work/$name.failed"
  fi
  printf '%-12s %12s %8s %8s  %s\n' "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$findings" \
    >"$work/$name.row"
}

running=0
for bin in build-fuzz/bin/*_fuzz; do
  run_target "$bin" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait
    running=0
  fi
done
wait

printf '%-12s %12s %8s %8s  %s\n' target executions cov ft findings >"$report"
failed=0
for bin in build-fuzz/bin/*_fuzz; do
  name=$(basename "$bin" _fuzz)
  if [ -f "$work/$name.row" ]; then
    cat "$work/$name.row" >>"$report"
  else
    printf '%-12s %12s %8s %8s  %s\n' "$name" "?" "?" "?" "FAILED (no result)" >>"$report"
    failed=1
  fi
  [ ! -f "$work/$name.failed" ] || failed=1
done
cat "$report"
exit "$failed"
