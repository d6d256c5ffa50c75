# The foundation: nvram under the router root, modemd on a pseudo-terminal, modemctl asking it.
say "nvram: seeding the store, then committing it to flash"
run nvram set router_name=demo-router set wan0_proto=cellular
run nvram get router_name
run nvram commit
run nvram show

say "modemd: KPC650 family on a pseudo-terminal (no card behind it), queue key $MODEMD_QUEUE_KEY"
start ptyhold ptyhold -o "$ROUTER_ROOT/card0.path"
wait_for 5 test -s "$ROUTER_ROOT/card0.path"
CARD0=$(cat "$ROUTER_ROOT/card0.path")
start modemd-kpc650 modemd -t kpc650 -f "$CARD0"
wait_for 10 modemd_serving
wait_for 10 grep -q "build on" "$ROUTER_ROOT/modemd-kpc650.out"
show /modemd-kpc650.out

say "modemctl: a command no family offers is answered with result 2"
run modemctl -t 5 999 || true
say "modemctl: no daemon behind that key"
run modemctl -k 1 esn || true
