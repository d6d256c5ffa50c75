#!/bin/sh
# Builds the emulated board's initramfs, build-board/initramfs.cpio.gz, from:
#   build-rootfs/stage/        the staging root (`make rootfs`): the programs and start-up scripts
#   build-mips/bin/            the board's own platform commands (nvram, mtd, nvram_mtd_read,
#                              nvram_mtd_write) and the simulated management server
#   build-deps/board/          BusyBox, the kernel's PPP, disk and file-system modules
#   the cross toolchain's sysroot (and build-deps/mipsel-sysroot) for the loader and every
#                              shared library the programs name
#   board/                     process 1, the board's start-up and its helpers
# The simulated server needs libstdc++; it and its libraries live apart, under /opt/sim, so
# the product's own /lib proves that no program of the system needs the C++ library.
# No root needed: device nodes come from devtmpfs at boot.
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
stage="$top/build-rootfs/stage"
bin="$top/build-mips/bin"
deps="$top/build-deps/board"
out="$top/build-board"
sysroot=${MIPS_SYSROOT:-/usr/mipsel-linux-gnu}
libdirs="$sysroot/lib $top/build-deps/mipsel-sysroot/usr/lib/mipsel-linux-gnu \
$top/build-deps/mipsel-sysroot/lib/mipsel-linux-gnu"
readelf=${MIPS_READELF:-mipsel-linux-gnu-readelf}

for need in "$stage/usr/sbin/modemd" "$bin/nvram" "$bin/rcmserver" "$deps/bin/busybox"; do
  if [ ! -e "$need" ]; then
    echo "board image: $need is missing (make rootfs, and scripts/board_deps.sh)" >&2
    exit 1
  fi
done

root="$out/root"
rm -rf "$root"
mkdir -p "$root"
cd "$root"
mkdir -p bin sbin lib/modules etc/board proc sys dev tmp var flash opt/sim/bin opt/sim/lib root

cp -a "$stage/." .
cp "$deps/bin/busybox" bin/busybox
for cmd in nvram mtd nvram_mtd_read nvram_mtd_write; do
  cp "$bin/$cmd" "sbin/$cmd"
done
cp "$bin/rcmserver" opt/sim/bin/rcmserver
cp "$top/board/init" init
cp -R "$top/board/etc/." etc/
chmod 755 init etc/board/*
ln -s /etc/board/probe sbin/probe

# Kernel modules, flat, in the order they must be loaded.
kdir=$(find "$deps/lib/modules" -mindepth 1 -maxdepth 1 -type d | head -n 1)
modules="slhc ppp_generic ppp_async crc16 crc32c_generic mbcache jbd2 ext4 ata_piix \
virtio virtio_ring virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_console"
for m in $modules; do
  ko=$(find "$kdir/kernel" -name "$m.ko" -o -name "$m.ko.xz" | head -n 1)
  [ -n "$ko" ] || { echo "board image: kernel module $m not found" >&2; exit 1; }
  case "$ko" in
    *.xz) xz -dc "$ko" >"lib/modules/$m.ko" ;;
    *) cp "$ko" "lib/modules/$m.ko" ;;
  esac
done
echo "$modules" >lib/modules/order

# Shared libraries: every NEEDED entry of every program, transitively, from the sysroots.
find_lib() {
  for d in $libdirs; do
    if [ -e "$d/$1" ]; then echo "$d/$1"; return 0; fi
  done
  return 1
}
needed() { "$readelf" -d "$1" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
copy_libs() {  # DESTDIR FILE...
  dest=$1
  shift
  todo=$*
  while [ -n "$todo" ]; do
    next=""
    for f in $todo; do
      for lib in $(needed "$f"); do
        [ -e "$dest/$lib" ] || [ -e "lib/$lib" ] && continue
        src=$(find_lib "$lib") || { echo "board image: $lib (for $f) not found" >&2; exit 1; }
        cp -L "$src" "$dest/$lib"
        next="$next $dest/$lib"
      done
    done
    todo=$next
  done
}
elves=""
for f in usr/sbin/* usr/bin/* sbin/*; do
  [ -f "$f" ] && head -c 4 "$f" | grep -q 'ELF' && elves="$elves $f"
done
copy_libs lib $elves
copy_libs opt/sim/lib opt/sim/bin/rcmserver
cp -L "$sysroot/lib/ld.so.1" lib/ld.so.1
# Name lookups of "localhost" for the agent.
for lib in libnss_files.so.2 libnss_dns.so.2; do
  src=$(find_lib "$lib") && cp -L "$src" "lib/$lib"
done

cd "$root"
find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet | gzip -9 >"$out/initramfs.cpio.gz.new"
mv "$out/initramfs.cpio.gz.new" "$out/initramfs.cpio.gz"
cp "$(find "$deps/boot" -name 'vmlinuz-*' | head -n 1)" "$out/vmlinuz"
echo "board image: $out/initramfs.cpio.gz ($(du -k "$out/initramfs.cpio.gz" | cut -f1) KiB)"
