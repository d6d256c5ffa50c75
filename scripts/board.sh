#!/bin/sh
# make board: boots the emulated board with a shell on this terminal, the simulated Sierra
# card on its control port, the modem's PPP peer on its data port (ttyS3), and a host pty on
# ttyS1 for a serial host of your own (the emulator prints its path as "char device
# redirected to /dev/pts/N (label serial1)"; for example
# `chat -v '' AT OK ATD#777 CONNECT </dev/pts/N >/dev/pts/N`). The flash disk,
# build-board/flash.img, is kept from one run to the next (BOARD_FRESH_FLASH=1: a blank one).
# Leave with `reboot` or `kill -TERM 1` on the board, or Ctrl-A X.
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
run="$top/build-board/run"
. "$top/scripts/board_lib.sh"

rm -rf "$run"
mkdir -p "$run"
trap board_stop_all EXIT
trap 'exit 1' INT TERM HUP
board_prepare
flash="$img/flash.img"
if [ ! -f "$flash" ] || [ "${BOARD_FRESH_FLASH:-0}" = 1 ]; then board_new_flash "$flash"; fi
board_peer "$run/card.path" "$run/card.err" "$sim/cardsim" --family sierra -o "$run/card.path" \
  -l "$run/card.log" -c "$run/card.ctl"
board_peer "$run/modem.path" "$run/modem.err" "$sim/pppmodem" -o "$run/modem.path" \
  -l "$run/modem.log"
cat <<MSG
board: the card's control lines go to $run/card.ctl (for example: echo vanish >$run/card.ctl);
board: the card's and the modem's logs are in $run/.
MSG
board_foreground=1
board_qemu "$flash" mon:stdio "$(cat "$run/card.path")" pty "$(cat "$run/modem.path")" \
  -nographic || true
