#!/bin/sh
# `make rootfs`: the MIPS build installed as the board lays it out, in build-rootfs/stage/
# (resident programs in usr/sbin, tools in usr/bin, start-up scripts in etc/init.d; not the
# stand-ins of the board's own commands), its C library needs checked, packed as
# build-rootfs/router-rootfs.tar.gz, and described in build-rootfs/MANIFEST.txt: each file,
# its stripped size and the shared libraries it needs, the totals, and the libraries beyond
# the C library with their sizes.
#
# ROUTER_CROSS_PREFIX and ROUTER_SYSROOT, when set, choose the toolchain at the build
# directory's first configure (cmake/toolchain-mipsel.cmake); JOBS the parallel jobs.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=${JOBS:-$(nproc)}
out=build-rootfs
stage=$out/stage
budget=614400  # 600 KiB for the programs, stripped

set --
[ -n "${ROUTER_CROSS_PREFIX:-}" ] && set -- "$@" "-DROUTER_CROSS_PREFIX=$ROUTER_CROSS_PREFIX"
[ -n "${ROUTER_SYSROOT:-}" ] && set -- "$@" "-DROUTER_SYSROOT=$ROUTER_SYSROOT"
cmake --preset mips "$@" >/dev/null
cmake --build --preset mips -j "$jobs" --target board_programs >/dev/null

# The toolchain the build directory was configured with.
cached() { sed -n "s/^$1:[A-Z]*=//p" build-mips/CMakeCache.txt; }
ROUTER_CROSS_PREFIX=$(cached ROUTER_CROSS_PREFIX)
ROUTER_SYSROOT=$(cached ROUTER_SYSROOT)
export ROUTER_CROSS_PREFIX ROUTER_SYSROOT
. "$top/scripts/board_libs.sh"

rm -rf "$stage"
mkdir -p "$out"
cmake --install build-mips --component board --prefix "$stage" --strip >/dev/null

scripts/libc_symbols.sh "$stage"

tmp=$(mktemp)
trap 'rm -f "$tmp" "$tmp".*' EXIT
manifest() {
    echo "# The router's user space for the board, as staged in $stage and packed in"
    echo "# $out/router-rootfs.tar.gz. Toolchain ${ROUTER_CROSS_PREFIX}gcc, sysroot" \
        "${ROUTER_SYSROOT:-(the compiler's own, with build-deps/mipsel-sysroot)}."
    printf '%-28s %9s  %s\n' "# file" "bytes" "shared libraries needed (bytes: stripped)"
    programs=0 program_bytes=0 files=0 file_bytes=0 cxx=""
    for f in $(cd "$stage" && find . -type f | sed 's|^\./||' | sort); do
        size=$(stat -c %s "$stage/$f")
        files=$((files + 1))
        file_bytes=$((file_bytes + size))
        case $f in
            usr/sbin/* | usr/bin/*)
                programs=$((programs + 1))
                program_bytes=$((program_bytes + size))
                libs=$(needed "$stage/$f" | tr '\n' ' ')
                case $libs in *libstdc++*) cxx="$cxx ${f##*/}" ;; esac
                printf '%-28s %9d  %s\n' "$f" "$size" "${libs% }"
                ;;
            *) printf '%-28s %9d  %s\n' "$f" "$size" "-" ;;
        esac
    done
    kib=$(awk -v b="$program_bytes" 'BEGIN { printf "%.1f", b / 1024 }')
    verdict=within
    [ "$program_bytes" -le "$budget" ] || verdict=OVER
    echo "programs: $programs files, $program_bytes bytes ($kib KiB; budget 600 KiB: $verdict)"
    echo "programs needing libstdc++: ${cxx:-none}"
    echo "all files: $files, $file_bytes bytes"
    echo "# Shared libraries beyond the C library, from the board's libraries, and the programs"
    echo "# that need them (leave those programs out and these libraries need not be on the board):"
    for f in "$stage"/usr/sbin/* "$stage"/usr/bin/*; do
        for lib in $(extra_libs "$f"); do echo "$lib ${f##*/}"; done
    done | sort >"$tmp.libs"
    for lib in $(cut -d' ' -f1 "$tmp.libs" | sort -u); do
        users=$(sed -n "s/^$lib //p" "$tmp.libs" | tr '\n' ' ')
        if path=$(board_lib "$lib"); then
            "${ROUTER_CROSS_PREFIX}strip" -o "$tmp.lib" "$path"
            printf '%-28s %9d  %s\n' "$lib" "$(stat -c %s "$tmp.lib")" "needed by ${users% }"
        else
            printf '%-28s %9s  %s\n' "$lib" "?" "needed by ${users% } (not found)"
        fi
    done
}
manifest >"$out/MANIFEST.txt"

tar --sort=name --owner=0 --group=0 --numeric-owner -C "$stage" -cf - . |
    gzip -9n >"$out/router-rootfs.tar.gz"

echo "staging root: $stage ($out/MANIFEST.txt, $out/router-rootfs.tar.gz," \
    "$(stat -c %s "$out/router-rootfs.tar.gz") bytes)"
grep -E '^(programs|all files)' "$out/MANIFEST.txt"
