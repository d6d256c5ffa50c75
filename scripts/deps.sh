#!/bin/sh
# Makes sure the Debian packages the build, the tests, the demo and the benchmarks need are
# installed. As root, installs what is missing; otherwise prints the one command that would.
#
# Then makes the board build's own sysroot, build-deps/mipsel-sysroot/, with Debian's mipsel
# OpenSSL and libusb 0.1 (for ssltest and usbprobe): those packages cannot be installed beside
# the host's (the two architectures' versions differ), so they are downloaded and unpacked.
# Quick when everything is there.
set -eu

packages="cmake make g++ libgtest-dev libbenchmark-dev g++-mipsel-linux-gnu qemu-user \
libssl-dev libusb-dev openssl ppp strace procps clang libclang-rt-14-dev tshark busybox"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

is_root() { [ "$(id -u)" -eq 0 ]; }

if [ -n "$missing" ]; then
  if is_root; then
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
  else
    echo "missing Debian packages; install them with:" >&2
    echo "  sudo apt-get install -y$missing" >&2
    exit 1
  fi
fi

# --- the board's sysroot -----------------------------------------------------------------
top=$(cd "$(dirname "$0")/.." && pwd)
sysroot="$top/build-deps/mipsel-sysroot"
mips_packages="libssl-dev libssl3 libusb-dev libusb-0.1-4"
stamp="$sysroot/.packages"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$mips_packages" ]; then
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx mipsel; then
  if is_root; then
    dpkg --add-architecture mipsel
    apt-get update -qq
  else
    echo "the board's libraries need Debian's mipsel packages listed; as root run:" >&2
    echo "  dpkg --add-architecture mipsel && apt-get update" >&2
    exit 1
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if is_root; then chown _apt "$work" 2>/dev/null || true; fi  # apt downloads as that user
names=""
for p in $mips_packages; do names="$names $p:mipsel"; done
# shellcheck disable=SC2086
if ! (cd "$work" && apt-get download -qq $names); then
  # The architecture was added without the lists being read since.
  if is_root; then
    apt-get update -qq
    # shellcheck disable=SC2086
    (cd "$work" && apt-get download -qq $names)
  else
    echo "could not download the mipsel packages; as root run: apt-get update" >&2
    exit 1
  fi
fi

rm -rf "$sysroot.new"
mkdir -p "$sysroot.new"
for deb in "$work"/*.deb; do
  dpkg-deb -x "$deb" "$sysroot.new"
done
# The development link to libusb is a linker script naming an absolute path on the board;
# here it must point into the sysroot.
lib="$sysroot.new/usr/lib/mipsel-linux-gnu"
rm -f "$lib/libusb.so"
ln -s ../../../lib/mipsel-linux-gnu/libusb-0.1.so.4 "$lib/libusb.so"
echo "$mips_packages" >"$sysroot.new/.packages"
rm -rf "$sysroot"
mv "$sysroot.new" "$sysroot"
echo "board sysroot ready: $sysroot"
