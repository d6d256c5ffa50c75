# Sourced by scripts/rootfs.sh and scripts/libc_symbols.sh: the board's shared libraries as
# the MIPS build links against them. Needs ROUTER_CROSS_PREFIX and ROUTER_SYSROOT (empty:
# Debian's cross root and the build's sysroot of scripts/deps.sh), as cmake/toolchain-mipsel.cmake.

board_lib_dirs() {
    if [ -n "${ROUTER_SYSROOT:-}" ]; then
        # lib/, usr/lib/ and a multiarch folder beneath them (lib/mipsel-linux-gnu/)
        for d in "$ROUTER_SYSROOT/lib" "$ROUTER_SYSROOT/usr/lib"; do
            echo "$d"
            for m in "$d"/*-linux-*/; do [ -d "$m" ] && echo "${m%/}"; done
        done
    else
        echo "$top/build-deps/mipsel-sysroot/usr/lib/mipsel-linux-gnu" \
            "$top/build-deps/mipsel-sysroot/lib/mipsel-linux-gnu" /usr/mipsel-linux-gnu/lib
    fi
}

# board_lib NAME: the path of shared library NAME (libssl.so.3) among the board's libraries.
board_lib() {
    for d in $(board_lib_dirs); do
        if [ -e "$d/$1" ]; then
            echo "$d/$1"
            return 0
        fi
    done
    return 1
}

# is_c_library NAME: the C library, its loader and its parts (maths, threads, ...), which every
# board has: glibc's, uClibc's or musl's names.
is_c_library() {
    case $1 in
        libc.so* | libm.so* | libpthread.so* | libdl.so* | librt.so* | ld-*.so* | ld.so*) return 0 ;;
        libcrypt.so* | libutil.so* | libresolv.so*) return 0 ;;
    esac
    return 1
}

# needed FILE: the shared libraries FILE names, one a line.
needed() {
    "${ROUTER_CROSS_PREFIX}readelf" -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
}

# extra_libs FILE: the libraries beyond the C library that FILE needs, directly or through
# one another, one a line.
extra_libs() {
    todo=$(needed "$1")
    seen=" "
    while [ -n "$todo" ]; do
        next=""
        for lib in $todo; do
            is_c_library "$lib" && continue
            case $seen in *" $lib "*) continue ;; esac
            seen="$seen$lib "
            echo "$lib"
            path=$(board_lib "$lib") && next="$next $(needed "$path")"
        done
        todo=$next
    done
}
