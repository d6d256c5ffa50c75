# The factory station: qvt on a simulated ZK2300 board (GPIO node, CardBus card, switch,
# backup store partition), one command at a time, with what each put on the console.
sh sim/qvt_board.sh "$ROUTER_ROOT" ZK2300
nvram set SN=ZD0300000001 >/dev/null
nvram set et0macaddr=00:90:4c:00:00:01 >/dev/null
nvram set il0macaddr=00:90:4c:00:00:02 >/dev/null
# Each second of the tool lasts 200 ms here, so the timed steps run fast.
QVT_SECOND_MS=200
export QVT_SECOND_MS

# station CMD...: runs qvt, then shows what reached the console and its exit status.
station() {
  : >"$ROUTER_ROOT/dev/console"
  printf '$ qvt %s\n' "$*"
  rc=0
  qvt "$@" >"$ROUTER_ROOT/qvt.out" 2>&1 || rc=$?
  sed 's/^/    /' "$ROUTER_ROOT/qvt.out"
  show /dev/console
  echo "    (exit status $rc)"
}
backup_entries() {
  printf -- '--- entries of /flash/backup\n'
  tail -c +21 "$ROUTER_ROOT/flash/backup" | tr '\0' '\n' | sed '/^$/q' | sed '/^$/d; s/^/    /'
}

say "qvt without a command: the usage text with the model name"
station
say "the backup store before the session"
backup_entries
say "D3 sets the serial number and the MAC addresses, in nvram and in the backup store"
station D3 Sn ZD0399999999
station D3 EthMac 02:00:00:01:04:08 D3 WlanMac 02:00:00:01:04:09
station D3 EthMac 02:00:00:01:04:0
say "D4 and the track data (Si) after Sj T and Sj B"
station Sj T 12:30 Sj B ZK2300-EVT-0005 D4
station Si
say "the backup store after the session (Sj values stay out of it)"
backup_entries
say "P8 WWAN G: only the WAN green LED lit (the GPIO node's requests)"
: >"$ROUTER_ROOT/dev/gpio/bits"
station P8 WWAN G
show /dev/gpio/bits
say "P5 with a CardBus card in socket 0"
station P5
say "D5: the switch and its ports"
station D5
say "P7: the reload key pressed after 3 s (input bit 0x40 clear from the fourth read)"
printf '000000ff\n000000ff\n000000ff\n000000bf\n' >"$ROUTER_ROOT/dev/gpio/bits.in"
: >"$ROUTER_ROOT/dev/gpio/bits"
station P7
printf -- '--- the console with its backspaces made visible\n'
sed 's/\x08/<BS>/g; s/^/    /' "$ROUTER_ROOT/dev/console"
say "K1: console moved to ttyS1, also in the backup store"
station K1
backup_entries
say "Sj F 1: the burn-in, stopped with SIGTERM after two passes"
QVT_SECOND_MS=20
: >"$ROUTER_ROOT/dev/console"
: >"$ROUTER_ROOT/dev/gpio/bits"
qvt Sj F 1 >"$ROUTER_ROOT/burnin.out" 2>&1 &
BURNIN=$!
burnin_passes() { [ "$(grep -c 'Test1: LED test' "$ROUTER_ROOT/dev/console")" -ge 3 ]; }
wait_for 60 burnin_passes
kill -TERM "$BURNIN"
rc=0
wait "$BURNIN" || rc=$?
show /dev/console
echo "    (exit status $rc)"
printf -- '--- the last LED requests\n'
tail -n 4 "$ROUTER_ROOT/dev/gpio/bits" | sed 's/^/    /'
unset QVT_SECOND_MS
