#!/bin/sh
# Builds the benchmarks (native, optimised) and the MIPS programs, runs every benchmark and
# prints one table.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" >/dev/null
# The board's programs as `make rootfs` stages them (build-rootfs/stage, MANIFEST.txt).
JOBS=$jobs scripts/rootfs.sh >/dev/null

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
build-bench/bin/diag_nv_bench 2000
build-bench/bin/diag_async_bench 50
build-bench/bin/statpipe_bench 2000
build-bench/bin/small_tools_idle_bench 10
build-bench/bin/firmware_bench 5
build-bench/bin/backup_edit_bench 200
row "modemd binary, native, stripped" "$(stat -c %s build-bench/bin/modemd) bytes" ""
# Every program of the staging root as the board carries it: stripped size and the shared
# libraries it needs (libstdc++ must not be among them); then the footprint budget, which
# fails the run when it is broken.
manifest=build-rootfs/MANIFEST.txt
grep -E '^usr/s?bin/' "$manifest" | while read -r path size needed; do
    row "${path##*/} binary, MIPS, stripped; needs $needed" "$size bytes" "no libstdc++"
done
total=$(sed -n 's/^programs: [0-9]* files, \([0-9]*\) bytes.*/\1/p' "$manifest")
count=$(sed -n 's/^programs: \([0-9]*\) files.*/\1/p' "$manifest")
cxx=$(sed -n 's/^programs needing libstdc++: //p' "$manifest")
row "staging root: $count programs, MIPS, stripped" "$total bytes" "<= 600 KiB"
row "staging root: programs needing libstdc++.so" "$cxx" "none"
echo
exec scripts/footprint.sh --check-only
