# The small tools: cardactivate follows a simulated KPC650 card to ACTIVATED, statpipe relays
# CnS between its pipes and a simulated Sierra card, and resetbtn sees the button pressed.
mkdir -p "$ROUTER_ROOT/dev/usb/tts"
tools_stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

say "cardsim: a KPC650 card that reports the activation states 1 to 9, 150 ms apart"
start kpc-card cardsim --family kpc650 -o "$ROUTER_ROOT/kpc.path" -l "$ROUTER_ROOT/kpc.log" \
  -e "otasp every 150" -e "prl 4660 be"
KPC_CARD=$!
wait_for 10 test -s "$ROUTER_ROOT/kpc.path"
ln -sf "$(cat "$ROUTER_ROOT/kpc.path")" "$ROUTER_ROOT/dev/usb/tts/1"
say "cardactivate (time limit 20 s for the demo)"
rc=0
CARDACTIVATE_TIME_LIMIT=20 cardactivate >"$ROUTER_ROOT/cardactivate.out" 2>&1 || rc=$?
sed 's/^/    /' "$ROUTER_ROOT/cardactivate.out" | grep -v '^ *$'
echo "    exit status $rc"
say "what the card received and sent (decoded frames and reports)"
grep -e '^req' -e '^otasp' -e '^stray' "$ROUTER_ROOT/kpc.log" | sed 's/^/    /'
tools_stop "$KPC_CARD"

say "cardsim: a Sierra card with ESN 0000ABCD, notifications under application id 00000000"
start relay-card cardsim --family sierra -o "$ROUTER_ROOT/relay.path" -c "$ROUTER_ROOT/relay.ctl" \
  -l "$ROUTER_ROOT/relay.log" -e "set 1000 0000ABCD" -e "notifyid 00000000"
RELAY_CARD=$!
wait_for 10 test -s "$ROUTER_ROOT/relay.path"
ln -sf "$(cat "$ROUTER_ROOT/relay.path")" "$ROUTER_ROOT/dev/usb/tts/1"
start statpipe statpipe
STATPIPE=$!
wait_for 10 nvram get wan0_wwan_sn
say "statpipe published the ESN"
run nvram get wan0_wwan_sn
say "a get of object 0x1001 (application id aabbccdd) written into /tmp/cnscmd"
(timeout 10 dd if="$ROUTER_ROOT/tmp/cnsrsp" bs=512 count=1 2>/dev/null | od -An -tx1 \
  >"$ROUTER_ROOT/answer.hex") &
READER=$!
sleep 0.3
printf '\000\012\053\000\020\001\001\000\252\273\314\335\000\000' >"$ROUTER_ROOT/tmp/cnscmd"
wait "$READER" || true
echo "    the card received (stuffed): $(grep '^raw' "$ROUTER_ROOT/relay.log" | tail -1 | cut -d' ' -f2)"
echo "    /tmp/cnsrsp gave:$(cat "$ROUTER_ROOT/answer.hex")"
say "the card sends a heartbeat: statpipe reports it"
echo "notify heartbeat" >"$ROUTER_ROOT/relay.ctl"
wait_for 10 grep -q "Heart Beat" "$ROUTER_ROOT/statpipe.out"
show /statpipe.out
tools_stop "$STATPIPE"
tools_stop "$RELAY_CARD"

say "resetbtn: the button's device is a FIFO; one byte written is one press"
mkdir -p "$ROUTER_ROOT/dev/gpio"
mkfifo "$ROUTER_ROOT/dev/gpio/in"
start resetbtn resetbtn
RESETBTN=$!
sleep 0.3
printf '\001' >"$ROUTER_ROOT/dev/gpio/in"
wait_for 10 grep -q '^2 3 1' "$ROUTER_ROOT/dev/gpio/ops"
run nvram get restore_defaults
echo "    committed: $(grep -c restore_defaults=1 "$ROUTER_ROOT/flash/nvram") entry in /flash/nvram"
show /dev/gpio/ops
tools_stop "$RESETBTN"
