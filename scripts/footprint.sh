#!/bin/sh
# The board's footprint budget: the staging root's programs within 600 KiB stripped, none
# needing libstdc++.so. Makes the staging root first (`make rootfs`) unless given
# --check-only, then reads its manifest; exits non-zero when the budget is broken.
set -eu
cd "$(dirname "$0")/.."
budget=614400
manifest=build-rootfs/MANIFEST.txt
[ "${1:-}" = --check-only ] || scripts/rootfs.sh >/dev/null
[ -f "$manifest" ] || { echo "footprint: no $manifest (make rootfs makes it)" >&2; exit 1; }

total=$(sed -n 's/^programs: [0-9]* files, \([0-9]*\) bytes.*/\1/p' "$manifest")
count=$(sed -n 's/^programs: \([0-9]*\) files.*/\1/p' "$manifest")
cxx=$(sed -n 's/^programs needing libstdc++: //p' "$manifest")
status=0
if [ -z "$total" ] || [ "$total" -gt "$budget" ]; then
    echo "footprint budget broken: the programs take ${total:-?} bytes, more than 600 KiB" >&2
    status=1
fi
if [ "$cxx" != none ]; then
    echo "footprint budget broken: $cxx need libstdc++.so" >&2
    status=1
fi
[ "$status" -ne 0 ] || echo "footprint: $count programs, $total bytes stripped (budget $budget), none needing libstdc++"
exit "$status"
