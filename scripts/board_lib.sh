# Shared by scripts/board.sh (interactive) and scripts/board_test.sh: the image, the flash
# disk, the host-side peers and the emulator. Sourced; expects $top and $run to be set.
# Every process started here is remembered in $board_pids and stopped by board_stop_all.

sim="$top/build/bin"
img="$top/build-board"
board_pids=""
qemu_pid=""

board_prepare() {
  "$top/scripts/board_image.sh" >/dev/null
}

# A fresh flash disk: the board keeps its flash partitions (nvram among them) as files on it.
board_new_flash() {  # FILE
  rm -f "$1"
  truncate -s 4M "$1"
  mkfs.ext2 -q -F -L flash "$1"
}

# Starts a host-side peer that writes its pty's path to PATHFILE; waits for the path.
board_peer() {  # PATHFILE LOG COMMAND...
  pathfile=$1
  log=$2
  shift 2
  rm -f "$pathfile"
  "$@" >"$log" 2>&1 &
  board_pids="$board_pids $!"
  i=0
  while [ ! -s "$pathfile" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$pathfile" ] || { echo "board: $1 gave no pty" >&2; return 1; }
}

# The emulator: console as given (a qemu -serial value), card and modem ports as given (a pty
# path, or "null"), the serial host's as a -serial value (a pty path, "pty" or "null").
# With board_foreground=1 it runs in the foreground (on this terminal) until it ends. Runs in the background; $qemu_pid is its pid.
# ttyS0 is the console, ttyS1 the serial host, ttyS3 (a PCI UART) the modem's data port;
# the card's control port is the virtio port "card" (the board links it as /dev/usb/tts/1).
board_qemu() {  # FLASH CONSOLE CARD HOST MODEM [extra qemu options]
  flash=$1
  con=$2
  card=$3
  host=$4
  modem=$5
  shift 5
  chardev() { if [ "$2" = null ]; then echo "null,id=$1"; else echo "serial,id=$1,path=$2"; fi; }
  set -- -M malta -m 128 -no-reboot -nic none \
    -kernel "$img/vmlinuz" -initrd "$img/initramfs.cpio.gz" \
    -append "console=ttyS0 panic=1 quiet" \
    -drive "file=$flash,format=raw,if=ide" \
    -serial "$con" -serial "$host" -serial null \
    -chardev "$(chardev modem "$modem")" -device pci-serial,chardev=modem \
    -device virtio-serial-pci -chardev "$(chardev card "$card")" \
    -device virtserialport,chardev=card,name=card "$@"
  if [ "${board_foreground:-0}" = 1 ]; then
    qemu-system-mipsel "$@"  # a background job would have its input taken away
    return
  fi
  qemu-system-mipsel "$@" &
  qemu_pid=$!
}

board_stop_all() {
  if [ -n "$qemu_pid" ] && kill -0 "$qemu_pid" 2>/dev/null; then
    kill "$qemu_pid" 2>/dev/null
    sleep 1
    kill -9 "$qemu_pid" 2>/dev/null
  fi
  for p in $board_pids; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
