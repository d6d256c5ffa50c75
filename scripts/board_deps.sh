#!/bin/sh
# What the emulated board needs beyond scripts/deps.sh: the full-system emulator, and Debian's
# mipsel kernel for the Malta board and static BusyBox, downloaded (never installed: mipsel
# packages do not install beside the host's) and unpacked under build-deps/board/. Quick when
# everything is there. Run as root on a fresh machine; otherwise prints what to run.
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"

is_root() { [ "$(id -u)" -eq 0 ]; }

for p in qemu-system-mips e2fsprogs cpio; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    if is_root; then
      echo "installing: $p"
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p" >/dev/null
    else
      echo "missing Debian package; install it with: sudo apt-get install -y $p" >&2
      exit 1
    fi
  fi
done

dest="$top/build-deps/board"
# The kernel package's name carries its ABI number: take the one the Malta flavour's
# meta-package points at today.
kernel=$(apt-cache depends linux-image-4kc-malta:mipsel 2>/dev/null |
  awk '/Depends: linux-image-6/ { sub(":mipsel", "", $2); print $2; exit }')
if [ -z "$kernel" ]; then
  echo "no mipsel Malta kernel in the package lists; as root run: apt-get update" >&2
  exit 1
fi
wanted="$kernel busybox-static"
if [ -f "$dest/.packages" ] && [ "$(cat "$dest/.packages")" = "$wanted" ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if is_root; then chown _apt "$work" 2>/dev/null || true; fi
(cd "$work" && apt-get download -qq "$kernel:mipsel" busybox-static:mipsel)

rm -rf "$dest.new"
mkdir -p "$dest.new"
for deb in "$work"/*.deb; do
  dpkg-deb -x "$deb" "$dest.new"
done
echo "$wanted" >"$dest.new/.packages"
rm -rf "$dest"
mv "$dest.new" "$dest"
echo "board kernel and BusyBox ready: $dest"
