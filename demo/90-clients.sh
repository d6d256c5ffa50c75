# The test clients and the USB probe: apitest asks modemd with a simulated Sierra card for every
# value of the card API, ssltest talks TLS to `openssl s_server` with a certificate made here,
# and usbprobe looks for a Sierra device on this host's USB bus. Its own queue key.
CLIENTS_KEY=$((MODEMD_QUEUE_KEY + 14))
clients_serving() {
  rc=0
  modemctl -k "$CLIENTS_KEY" -t 1 65535 >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 2 ]
}
clients_stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

say "apitest: every card-API call against modemd and a simulated Sierra card"
start clients-card cardsim --family sierra -o "$ROUTER_ROOT/clients-card.path" \
  -l "$ROUTER_ROOT/clients-card.log" -e "set 1001 0049" -e "sms 8585550100 Meet at nine"
CLIENTS_CARD=$!
wait_for 10 test -s "$ROUTER_ROOT/clients-card.path"
start clients-modemd env MODEMD_QUEUE_KEY=$CLIENTS_KEY modemd -t sierra_module \
  -f "$(cat "$ROUTER_ROOT/clients-card.path")"
CLIENTS_MODEMD=$!
wait_for 30 clients_serving
printf '$ apitest\n'
MODEMD_QUEUE_KEY=$CLIENTS_KEY apitest | sed 's/^/    /'
echo
say "apitest with no modemd: every call says fail, and it still ends with status 0"
clients_stop "$CLIENTS_MODEMD"
clients_stop "$CLIENTS_CARD"
ipcrm -Q "$CLIENTS_KEY" 2>/dev/null || true
rc=0
MODEMD_QUEUE_KEY=$CLIENTS_KEY apitest >"$ROUTER_ROOT/apitest-none.out" || rc=$?
echo "    $(grep -c fail "$ROUTER_ROOT/apitest-none.out") fail lines, exit status $rc"

say "ssltest against openssl s_server on a private port, certificate made just now"
SSL_PORT=$((20000 + $$ % 20000))
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ROUTER_ROOT/key.pem" \
  -out "$ROUTER_ROOT/cert.pem" -days 1 -subj "/O=Router Demo/CN=router.demo" >/dev/null 2>&1
mkfifo "$ROUTER_ROOT/s_server.in"
exec 7<>"$ROUTER_ROOT/s_server.in"  # held open, so the server's input never ends
# Started here rather than by `start`: a background job's input would be /dev/null.
openssl s_server -accept "127.0.0.1:$SSL_PORT" -cert "$ROUTER_ROOT/cert.pem" \
  -key "$ROUTER_ROOT/key.pem" -naccept 1 -brief <"$ROUTER_ROOT/s_server.in" \
  >"$ROUTER_ROOT/s_server.out" 2>&1 &
S_SERVER=$!
DEMO_PIDS="$DEMO_PIDS $S_SERVER"
printf 'Hello from the router\n' >&7
ssl_listening() {
  awk -v want="$(printf '0100007F:%04X' "$SSL_PORT")" \
    '$2 == want && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp
}
wait_for 20 ssl_listening
printf '$ SSLTEST_PORT=%s ssltest\n' "$SSL_PORT"
rc=0
SSLTEST_PORT=$SSL_PORT ssltest >"$ROUTER_ROOT/ssltest.out" 2>&1 || rc=$?
sed 's/^/    /' "$ROUTER_ROOT/ssltest.out"
echo "    exit status $rc"
wait_for 10 grep -q "Hello World!" "$ROUTER_ROOT/s_server.out" || true
echo "    the server received: $(grep -o 'Hello World!' "$ROUTER_ROOT/s_server.out")"
clients_stop "$S_SERVER"
exec 7>&-
printf '$ SSLTEST_PORT=%s ssltest   (nobody listens any more)\n' "$SSL_PORT"
rc=0
SSLTEST_PORT=$SSL_PORT ssltest 2>&1 | sed 's/^/    /' || true
SSLTEST_PORT=$SSL_PORT ssltest >/dev/null 2>&1 || rc=$?
echo "    exit status $rc"

say "usbprobe on this host's USB bus 1 (a Sierra device 1199:0fff is not expected here)"
printf '$ usbprobe 1\n'
rc=0
usbprobe 1 >"$ROUTER_ROOT/usbprobe.out" 2>&1 || rc=$?
sed 's/^/    /' "$ROUTER_ROOT/usbprobe.out"
echo "    exit status $rc"
