#!/bin/sh
# Builds the benchmarks (native, optimised) and the MIPS programs, runs every benchmark and
# prints one table.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" >/dev/null
cmake --preset mips >/dev/null
cmake --build --preset mips -j "$jobs" --target modemd >/dev/null
cmake --build --preset mips -j "$jobs" --target rmagent >/dev/null

row() { printf '| %-52s | %-24s | %-14s |\n' "$1" "$2" "$3"; }

echo
row "measure" "value" "goal"
row "----------------------------------------------------" "------------------------" "--------------"
build-bench/bin/roundtrip_bench 20000
build-bench/bin/idle_bench 10
build-bench/bin/serbridge_bench 2000
build-bench/bin/sierra_rssi_bench 3000
build-bench/bin/diag_decode_bench 32
build-bench/bin/diag_roundtrip_bench 2000
build-bench/bin/firmware_bench 5
row "modemd binary, MIPS, stripped" "$(stat -c %s build-mips/bin/modemd) bytes" "small"
row "modemd binary, native, stripped" "$(stat -c %s build-bench/bin/modemd) bytes" ""
row "rmagent binary, MIPS, stripped" "$(stat -c %s build-mips/bin/rmagent) bytes" "small"
echo
