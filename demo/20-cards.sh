# The card families against simulated cards: a Sierra card with two waiting short messages,
# then a CDU card answering a GPS request. Its own queue key, so part 10's daemon is left alone.
CARDS_KEY=$((MODEMD_QUEUE_KEY + 1))
cards_serving() {
  rc=0
  modemctl -k "$CARDS_KEY" -t 1 65535 >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 2 ]
}
cards_stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

say "cardsim: a simulated Sierra card with two short messages waiting"
start sierra-card cardsim --family sierra -o "$ROUTER_ROOT/sierra.path" \
  -c "$ROUTER_ROOT/sierra.ctl" -l "$ROUTER_ROOT/sierra.log" \
  -e "sms 8585550100 Meet at the depot at nine" -e "sms 8585550111 Router firmware updated"
SIERRA_CARD=$!
wait_for 10 test -s "$ROUTER_ROOT/sierra.path"

say "modemd -t sierra_module: the start-up report and the messages it loaded"
start modemd-sierra env MODEMD_QUEUE_KEY=$CARDS_KEY modemd -t sierra_module -f "$(cat "$ROUTER_ROOT/sierra.path")"
SIERRA_MODEMD=$!
wait_for 30 cards_serving
grep -v -e '^ \{10,\}' -e '^SMS Envelope' -e '^rec = ' "$ROUTER_ROOT/modemd-sierra.out" |
  sed 's/^/    /'

say "modemctl asks the Sierra card through modemd"
for what in esn rssi band phone sms-status; do
  run modemctl -k "$CARDS_KEY" -t 10 "$what"
done

say "the card sends a heartbeat notification: modemd writes it to the console"
echo "notify heartbeat" >"$ROUTER_ROOT/sierra.ctl"
wait_for 10 grep -q Heardbeat "$ROUTER_ROOT/dev/console"
show /dev/console
cards_stop "$SIERRA_MODEMD"
cards_stop "$SIERRA_CARD"

say "cardsim: a simulated CDU card whose GPS is ready at the second status poll"
start cdu-card cardsim --family cdu -o "$ROUTER_ROOT/cdu.path" -l "$ROUTER_ROOT/cdu.log" \
  -e "gps ready 2" -e 'nmea $GPGGA,123519,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*47'
CDU_CARD=$!
wait_for 10 test -s "$ROUTER_ROOT/cdu.path"
start modemd-cdu env MODEMD_QUEUE_KEY=$CARDS_KEY modemd -t cdu -f "$(cat "$ROUTER_ROOT/cdu.path")"
CDU_MODEMD=$!
wait_for 30 cards_serving
show /modemd-cdu.out

say "modemctl gps: modemd runs the card's GPS sequence and parses its NMEA sentence"
run modemctl -k "$CARDS_KEY" -t 30 gps
say "what the CDU card received (decoded frames)"
grep '^req' "$ROUTER_ROOT/cdu.log" | sed 's/^/    /'
cards_stop "$CDU_MODEMD"
cards_stop "$CDU_CARD"
ipcrm -Q "$CARDS_KEY" 2>/dev/null || true
