#!/bin/sh
# Makes sure the Debian packages the build, the tests, the demo and the benchmarks need are
# installed. As root, installs what is missing; otherwise prints the one command that would.
set -eu

packages="cmake make g++ libgtest-dev libbenchmark-dev g++-mipsel-linux-gnu qemu-user \
libssl-dev libusb-dev ppp strace procps clang libclang-rt-14-dev"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
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
