# serbridge: a host dials through the bridge with the system's `chat`, the connect script
# runs, LCP and data frames pass both ways, the host ends the link and the bridge is back in
# the AT phase. The user-space PPP channel stands in for kernel PPP.
say "serbridge: the PPP peer behind the modem, and the bridge's WAN unit in nvram"
mkdir -p "$ROUTER_ROOT/var/log" "$ROUTER_ROOT/tmp/ppp"
start pppmodem pppmodem -o "$ROUTER_ROOT/modem.path" -l "$ROUTER_ROOT/pppmodem.log"
wait_for 5 test -s "$ROUTER_ROOT/modem.path"
MODEM=$(cat "$ROUTER_ROOT/modem.path")
run nvram set wan_maxentrys=1 set wan0_proto=4 set "wan0_devname=$MODEM"
cat >"$ROUTER_ROOT/connect.sh" <<EOF
echo "connect script: dialling on \$(tty 2>/dev/null || echo the modem line)" >>"$ROUTER_ROOT/scripts.log"
printf 'ATD#777\r'
EOF
cat >"$ROUTER_ROOT/disconnect.sh" <<EOF
echo "disconnect script: hanging up" >>"$ROUTER_ROOT/scripts.log"
EOF

say "serbridge: the host dials with chat, negotiates, sends data, ends the link, then AT again"
start ppphost ppphost -o "$ROUTER_ROOT/host.path" -t 15 ready chat lcp data=3 term ready
HOST_PID=$!
wait_for 5 test -s "$ROUTER_ROOT/host.path"
SERIAL=$(cat "$ROUTER_ROOT/host.path")
printf '$ SERBRIDGE_PPP_CHANNEL=hdlc serbridge -s %s -m %s -c "sh connect.sh" -q "sh disconnect.sh" -i 30\n' \
  "$SERIAL" "$MODEM"
SERBRIDGE_PPP_CHANNEL=hdlc serbridge -s "$SERIAL" -m "$MODEM" -c "sh $ROUTER_ROOT/connect.sh" \
  -q "sh $ROUTER_ROOT/disconnect.sh" -i 30 \
  0<>"$ROUTER_ROOT/serbridge.messages" >"$ROUTER_ROOT/serbridge.out" 2>&1 &
BRIDGE_PID=$!
DEMO_PIDS="$DEMO_PIDS $BRIDGE_PID"
host_rc=0
wait "$HOST_PID" || host_rc=$?
show /ppphost.out
show /scripts.log
show /pppmodem.log
show /var/log/serbridge.log
show /serbridge.messages
kill "$BRIDGE_PID" 2>/dev/null || true
wait "$BRIDGE_PID" 2>/dev/null || true
[ "$host_rc" -eq 0 ] || { echo "demo: the host's steps failed" >&2; exit 1; }
