# Cross build for the router board: 32-bit little-endian MIPS, Debian's cross toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
# The build's own sysroot (scripts/deps.sh) holds the board's OpenSSL and libusb 0.1, which
# Debian cannot install beside the host's.
set(ROUTER_MIPS_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build-deps/mipsel-sysroot)
get_filename_component(ROUTER_MIPS_SYSROOT ${ROUTER_MIPS_SYSROOT} ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu ${ROUTER_MIPS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Those libraries' own needs (libssl's libcrypto) are found there at link time
# (cmake/router.cmake)...
set(ROUTER_MIPS_LIBDIRS
    ${ROUTER_MIPS_SYSROOT}/usr/lib/mipsel-linux-gnu ${ROUTER_MIPS_SYSROOT}/lib/mipsel-linux-gnu)
# ...and at run time under user-mode qemu, where unaligned word accesses trap as on the board.
list(JOIN ROUTER_MIPS_LIBDIRS ":" router_mips_path)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L /usr/mipsel-linux-gnu
    -E LD_LIBRARY_PATH=${router_mips_path})
