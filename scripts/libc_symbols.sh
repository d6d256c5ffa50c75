#!/bin/sh
# What the board's programs need from the C library: every symbol a program of the staging
# root imports, less those its other libraries (OpenSSL, libusb) define, must be named in
# scripts/libc_allowlist.txt, the list of POSIX and Linux calls a small C library offers too.
# Prints the programs and the symbols outside the list; status 1 when there is one.
#   libc_symbols.sh STAGE      (ROUTER_CROSS_PREFIX, ROUTER_SYSROOT as for the build)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
stage=$1
ROUTER_CROSS_PREFIX=${ROUTER_CROSS_PREFIX:-mipsel-linux-gnu-}
ROUTER_SYSROOT=${ROUTER_SYSROOT:-}
. "$top/scripts/board_libs.sh"

allow=$(mktemp)
trap 'rm -f "$allow" "$allow".*' EXIT
sed 's/#.*//' "$top/scripts/libc_allowlist.txt" | tr -s ' \t' '\n\n' | sed '/^$/d' | sort -u >"$allow"

# dyn_syms FILE UND|DEF: the names of FILE's dynamic symbols, undefined or defined.
dyn_syms() {
    "${ROUTER_CROSS_PREFIX}readelf" --dyn-syms -W "$1" |
        awk -v want="$2" 'NF >= 8 && $1 ~ /^[0-9]+:$/ {
            und = ($7 == "UND"); if ((want == "UND") == und) print $8 }' |
        sed 's/@.*//' | sort -u
}

programs=0
bad=0
all=$(mktemp "$allow.all.XXXXXX")
for f in "$stage"/usr/sbin/* "$stage"/usr/bin/*; do
    [ -f "$f" ] || continue
    programs=$((programs + 1))
    others=$(mktemp "$allow.lib.XXXXXX")
    for lib in $(extra_libs "$f"); do
        # Not found: what the program takes from it shows up below as unlisted.
        path=$(board_lib "$lib") || { echo "${f#"$stage"/}: $lib not found among the board's libraries" >&2; continue; }
        dyn_syms "$path" DEF
    done | sort -u >"$others"
    dyn_syms "$f" UND | comm -23 - "$others" | tee -a "$all" | comm -23 - "$allow" |
        while read -r sym; do echo "${f#"$stage"/}: $sym is not in scripts/libc_allowlist.txt"; done |
        tee "$others.bad" >&2
    [ -s "$others.bad" ] && bad=1
done
if [ "$programs" = 0 ]; then
    echo "no programs in $stage/usr/sbin or $stage/usr/bin" >&2
    exit 1
fi
used=$(sort -u "$all" | wc -l)
echo "C library check: $programs programs import $used C library symbols;" \
    "$(if [ "$bad" = 0 ]; then echo "all in"; else echo "some NOT in"; fi) scripts/libc_allowlist.txt"
exit "$bad"
