# Cross build for the router board: 32-bit little-endian MIPS.
#
# One choice picks the toolchain: ROUTER_CROSS_PREFIX, the prefix of the compiler and binutils
# (default Debian's "mipsel-linux-gnu-"; a board SDK's is often a path such as
# /opt/sdk/bin/mipsel-linux-uclibc-), and ROUTER_SYSROOT, the board's root of headers and
# libraries for that compiler (default empty: the compiler's own, with the build's sysroot of
# scripts/deps.sh for OpenSSL and libusb). Give them once, at the first configure of a build
# directory (`cmake --preset mips -DROUTER_CROSS_PREFIX=...` or `make rootfs
# ROUTER_CROSS_PREFIX=...`); another compiler wants a fresh build directory.
set(ROUTER_CROSS_PREFIX "mipsel-linux-gnu-" CACHE STRING
    "Prefix of the cross compiler and binutils (PREFIXgcc, PREFIXg++, PREFIXreadelf)")
set(ROUTER_SYSROOT "" CACHE PATH
    "The board's headers and libraries (C library, OpenSSL, libusb); empty: Debian's cross root")
# CMake's test compilations read this file again in a project of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ROUTER_CROSS_PREFIX ROUTER_SYSROOT)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(CMAKE_C_COMPILER ${ROUTER_CROSS_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${ROUTER_CROSS_PREFIX}g++)

if(ROUTER_SYSROOT)
  # A board SDK: its sysroot holds the C library and the board's OpenSSL and libusb.
  set(CMAKE_SYSROOT ${ROUTER_SYSROOT})
  set(ROUTER_MIPS_SYSROOT "")
  set(CMAKE_FIND_ROOT_PATH ${ROUTER_SYSROOT})
  file(GLOB router_multiarch LIST_DIRECTORIES true
       ${ROUTER_SYSROOT}/usr/lib/*-linux-* ${ROUTER_SYSROOT}/lib/*-linux-*)
  set(ROUTER_MIPS_LIBDIRS ${ROUTER_SYSROOT}/usr/lib ${ROUTER_SYSROOT}/lib ${router_multiarch})
  set(router_qemu_root ${ROUTER_SYSROOT})
else()
  # The build's own sysroot (scripts/deps.sh) holds the board's OpenSSL and libusb 0.1, which
  # Debian cannot install beside the host's.
  set(ROUTER_MIPS_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build-deps/mipsel-sysroot)
  get_filename_component(ROUTER_MIPS_SYSROOT ${ROUTER_MIPS_SYSROOT} ABSOLUTE)
  set(CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu ${ROUTER_MIPS_SYSROOT})
  set(ROUTER_MIPS_LIBDIRS
      ${ROUTER_MIPS_SYSROOT}/usr/lib/mipsel-linux-gnu ${ROUTER_MIPS_SYSROOT}/lib/mipsel-linux-gnu)
  set(router_qemu_root /usr/mipsel-linux-gnu)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Those libraries' own needs (libssl's libcrypto) are found there at link time
# (cmake/router.cmake), and at run time under user-mode qemu, where unaligned word accesses
# trap as on the board.
list(JOIN ROUTER_MIPS_LIBDIRS ":" router_mips_path)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L ${router_qemu_root}
    -E LD_LIBRARY_PATH=${router_mips_path})
