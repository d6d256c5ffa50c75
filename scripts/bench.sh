#!/bin/sh
# Builds the benchmarks (native, optimised) and the MIPS programs, runs every benchmark and
# prints one table.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" >/dev/null
cmake --preset mips >/dev/null
programs=$(cat build-mips/product_programs.txt)
# shellcheck disable=SC2086  # one target per word
cmake --build --preset mips -j "$jobs" --target $programs >/dev/null

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
# Every product program as the board carries it: stripped size and the shared libraries it
# needs (libstdc++ must not be among them).
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
for p in $programs; do
    mipsel-linux-gnu-strip -o "$stripped" "build-mips/bin/$p"
    needed=$(mipsel-linux-gnu-readelf -d "build-mips/bin/$p" |
        sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
    row "$p binary, MIPS, stripped; needs ${needed% }" "$(stat -c %s "$stripped") bytes" \
        "no libstdc++"
done
echo
