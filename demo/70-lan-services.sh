# The agent's LAN services: lanctl (the PC-side client) finds the router by a broadcast on
# loopback, brings the WAN link up through the desktop manager ("wan0_action"), and sets the
# reconnect interval through discovery: backup store and nvram, then the reboot.
say "rmagent's LAN services: seeding the LAN interface (br0), the backup store and nvram"
mkdir -p "$ROUTER_ROOT/flash" "$ROUTER_ROOT/sys/class/net/br0"
echo 00:90:4c:0a:0b:0c >"$ROUTER_ROOT/sys/class/net/br0/address"
echo "192.168.1.1 192.168.1.255 255.255.255.0" >"$ROUTER_ROOT/sys/class/net/br0/ipv4"
# The backup partition: "FLSH", the used length (60), 12 bytes, one entry, the empty string.
{
  printf 'FLSH\074\000\000\000'; head -c 12 /dev/zero
  printf 'vzw_reconnect_interval=30\000'; head -c 64 /dev/zero
} >"$ROUTER_ROOT/flash/backup"
run nvram set lan0_ifname=br0 set vzw_reconnect_interval=30 set wan0_status=down \
  unset wan0_action

LAN_RING_KEY=$((0x47000000 + $$ % 65536))
mkfifo "$ROUTER_ROOT/lan-ring.ctl" "$ROUTER_ROOT/lan-server.ctl"
exec 7<>"$ROUTER_ROOT/lan-ring.ctl" 8<>"$ROUTER_ROOT/lan-server.ctl"
syslogring -k "$LAN_RING_KEY" <"$ROUTER_ROOT/lan-ring.ctl" >"$ROUTER_ROOT/lan-ring.out" 2>&1 &
DEMO_PIDS="$DEMO_PIDS $!"
rcmserver -p 0 -o "$ROUTER_ROOT/lan-rcm.port" <"$ROUTER_ROOT/lan-server.ctl" \
  >"$ROUTER_ROOT/lan-rcmserver.out" 2>&1 &
DEMO_PIDS="$DEMO_PIDS $!"
wait_for 5 test -s "$ROUTER_ROOT/lan-rcm.port"
wait_for 5 grep -q ready "$ROUTER_ROOT/lan-ring.out"
# Ports of our own, so the demo never meets a real service on 2719 or 5000.
DISC_PORT=$((30000 + $$ % 10000 * 2))
DESK_PORT=$((DISC_PORT + 1))
start lan-rmagent env RMAGENT_PORT=0 RMAGENT_ADDR=127.0.0.1 \
  RMAGENT_SERVER_PORT="$(cat "$ROUTER_ROOT/lan-rcm.port")" RMAGENT_SYSLOG_KEY="$LAN_RING_KEY" \
  RMAGENT_DISCOVERY_PORT="$DISC_PORT" RMAGENT_DESKMGR_PORT="$DESK_PORT" \
  PATH="$ROUTER_ROOT/demo-bin:$PATH" rmagent -s 127.0.0.1 -m demo.example
wait_for 20 grep -q register "$ROUTER_ROOT/lan-rcmserver.out"

say "lanctl find 127.255.255.255: a broadcast (on loopback) finds the router"
run lanctl -p "$DISC_PORT" -t 2 find 127.255.255.255

say "lanctl wan: the link's state, then up (the desktop manager sets wan0_action)"
run lanctl -P "$DESK_PORT" wan 127.0.0.1 state
run lanctl -P "$DESK_PORT" wan 127.0.0.1 up
run nvram get wan0_action

say "lanctl set: refused for a broadcast address, then the reconnect interval to one router"
run lanctl -p "$DISC_PORT" set 127.255.255.255 interval=120 || true
sleep 300 &
LAN_INIT_PID=$!
echo "$LAN_INIT_PID" >"$ROUTER_ROOT/var/run/init.pid"
run lanctl -p "$DISC_PORT" set 127.0.0.1 interval=120
rc=0
{ wait "$LAN_INIT_PID"; } 2>/dev/null || rc=$?
echo "    init (pid $LAN_INIT_PID) ended with status $rc: SIGTERM, the router would reboot now"
printf -- '--- /flash/backup (the backup store), its entries\n'
tail -c +21 "$ROUTER_ROOT/flash/backup" | tr '\0' '\n' | grep -a = | sed 's/^/    /'
printf -- '--- /flash/nvram (the committed store), vzw_reconnect_interval\n'
tr '\0' '\n' <"$ROUTER_ROOT/flash/nvram" | grep -a vzw_reconnect | sed 's/^/    /'
printf -- '--- /dev/console (the LAN services, last lines)\n'
grep -a -E 'request|response|nvram_commit|set refused' "$ROUTER_ROOT/dev/console" | tail -n 6 |
  sed 's/^/    /'
echo quit >&7
echo quit >&8
exec 7>&- 8>&-
