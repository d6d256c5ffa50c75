#!/bin/sh
# Builds a simulated board for the factory tool under a router root: the GPIO node and its
# input words, the PC card driver and a card in socket 0, the Ethernet PHY or switch, and the
# backup store partition. Used by the tests and the demo.
#
#   qvt_board.sh ROOT MODEL [FAULT...]
#
# MODEL (ZK2100 ... ZK2500) picks the Ethernet stand-in. FAULTs make a bad board:
#   no-gpio        no "/dev/gpio/bits" (no GPIO driver)
#   no-input       no input words (request 4 fails)
#   key=N          the reload key reads pressed from the (N+1)th request 4 on
#   no-driver      "/proc/devices" without the pcmcia driver
#   no-card        socket 0 empty (the status request fails)
#   pc16           a 16-bit PC card (busy, write-protected) instead of the CardBus card
#   bad-phy        PHY register 3 reads 0x8202
#   no-phy         the PHY request fails
#   unknown-switch a switch chip id the test does not know
#   no-adm         no "/dev/adm"
#   no-ports       the switch's port table request fails
#   bad-flash      "/flash/nvram" is a directory: every nvram commit fails
set -e
root=$1
model=$2
shift 2
mkdir -p "$root/dev/gpio" "$root/proc" "$root/var/run" "$root/flash" "$root/tmp" \
  "$root/sys/class/pccard/socket0" "$root/sys/class/net/eth0"
: >"$root/dev/gpio/bits"
echo 000000ff >"$root/dev/gpio/bits.in"
printf 'Character devices:\n  1 mem\n  4 tty\n254 pcmcia\n\nBlock devices:\n  3 ide0\n' \
  >"$root/proc/devices"
sock=$root/sys/class/pccard/socket0
echo 0x003000c0 >"$sock/status"
printf 'Motorola\nWN825G\n802.11g Wireless Adapter\n' >"$sock/vers_1"
echo "0x02d0 0x0008" >"$sock/manfid"
echo 6 >"$sock/funcid"
echo "4 0x432014e4" >"$sock/config"
case $model in
ZK2100) printf '3 0x8201\n2 0x0000\n25 0x0001\n' >"$root/sys/class/net/eth0/phy" ;;
ZK2300 | ZK2400) printf 'id 0x00071012\nports 7 1 3 0 0 7\n' >"$root/dev/adm" ;;
esac
# The backup store: header (magic, used length, three words), entries, the empty string.
entries='SN=ZD0300000001\0et0macaddr=00:90:4c:00:00:01\0il0macaddr=00:90:4c:00:00:02\0console=ttyS0\0other=kept\0'
len=$((20 + $(printf "$entries" | wc -c) + 1))
{
  printf 'FLSH'
  printf "\\$(printf %03o $((len & 255)))\\$(printf %03o $((len >> 8)))\\0\\0"
  printf '\0\0\0\0\0\0\0\0\0\0\0\0'
  printf "$entries"
  printf '\0'
  head -c 64 /dev/zero
} >"$root/flash/backup"
for fault in "$@"; do
  case $fault in
  no-gpio) rm -f "$root/dev/gpio/bits" ;;
  no-input) rm -f "$root/dev/gpio/bits.in" ;;
  key=*)
    n=${fault#key=}
    : >"$root/dev/gpio/bits.in"
    while [ "$n" -gt 0 ]; do echo 000000ff >>"$root/dev/gpio/bits.in"; n=$((n - 1)); done
    echo 000000bf >>"$root/dev/gpio/bits.in" ;;
  no-driver) printf 'Character devices:\n  1 mem\n  4 tty\n' >"$root/proc/devices" ;;
  no-card) rm -f "$sock/status" ;;
  pc16)
    echo 0x00000081 >"$sock/status"
    rm -f "$sock/vers_1"
    echo "0x0101 0x0562" >"$sock/manfid"
    echo 2 >"$sock/funcid"
    echo "1 0x0" >"$sock/config" ;;
  bad-phy) printf '3 0x8202\n2 0x0000\n25 0x0001\n' >"$root/sys/class/net/eth0/phy" ;;
  no-phy) rm -f "$root/sys/class/net/eth0/phy" ;;
  unknown-switch) printf 'id 0x00012340\nports 7 1 3 0 0 7\n' >"$root/dev/adm" ;;
  no-adm) rm -f "$root/dev/adm" ;;
  no-ports) printf 'id 0x00071012\n' >"$root/dev/adm" ;;
  bad-flash) rm -rf "$root/flash/nvram" && mkdir -p "$root/flash/nvram" ;;
  *) echo "qvt_board.sh: unknown fault $fault" >&2; exit 1 ;;
  esac
done
