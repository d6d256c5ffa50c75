# The management agent: rcmserver (the management server) and syslogring (the syslog daemon's
# ring) on loopback under the router root, and rmagent registering, reporting and obeying.
say "rmagent: seeding nvram and the router's files (/proc/net/dev, /proc/meminfo, leases)"
mkdir -p "$ROUTER_ROOT/demo-bin" "$ROUTER_ROOT/proc/net" "$ROUTER_ROOT/sys/class/net/br0"
printf '#!/bin/sh\necho "killall $*"\n' >"$ROUTER_ROOT/demo-bin/killall"
chmod +x "$ROUTER_ROOT/demo-bin/killall"
printf '%s\n' 'Inter-|   Receive                                                |  Transmit' \
  ' face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs drop fifo colls carrier compressed' \
  '    lo:    960     12    0    0    0     0          0         0      960      12    0    0    0     0       0          0' \
  '   br0: 812345   4321    0    0    0     0          0         0  1234567    5432    0    0    0     0       0          0' \
  '  ppp0:  45678    321    0    0    0     0          0         0    23456     210    0    0    0     0       0          0' \
  >"$ROUTER_ROOT/proc/net/dev"
printf 'MemTotal: 14336 kB\nMemFree: 3120 kB\nBuffers: 512 kB\nCached: 2048 kB\n' \
  >"$ROUTER_ROOT/proc/meminfo"
echo 0x1043 >"$ROUTER_ROOT/sys/class/net/br0/flags"
# lease MAC IP SECONDS HOST: one 88-byte record of the DHCP server's lease file (octal bytes).
lease() {
  printf "$1"; head -c 10 /dev/zero; printf "$2$3%s" "$4"; head -c $((64 - ${#4})) /dev/zero
}
{
  lease '\000\032\053\074\115\136' '\300\250\001\012' '\000\000\016\020' laptop
  lease '\000\000\000\000\000\000' '\300\250\001\013' '\000\000\000\074' released
  lease '\252\273\314\335\356\377' '\300\250\001\014' '\000\000\001\054' ''
} >"$ROUTER_ROOT/tmp/udhcpd.leases"
run nvram set SN=DEMO00000001 set product_model=CR-100 set version_firmware=2.1.0 \
  set wan0_ipaddr=10.1.2.3 set wan0_ifname=ppp0 set lan_ifname=br0 set wl0_ssid=factory-ssid \
  set gps_lat=40.7128 set gps_long=-74.0060 set gps_send_interval=10

RING_KEY=$((0x45000000 + $$ % 65536))
mkfifo "$ROUTER_ROOT/ring.ctl" "$ROUTER_ROOT/server.ctl"
exec 7<>"$ROUTER_ROOT/ring.ctl" 8<>"$ROUTER_ROOT/server.ctl"
syslogring -k "$RING_KEY" <"$ROUTER_ROOT/ring.ctl" >"$ROUTER_ROOT/syslogring.out" 2>&1 &
DEMO_PIDS="$DEMO_PIDS $!"
rcmserver -p 0 -o "$ROUTER_ROOT/rcm.port" <"$ROUTER_ROOT/server.ctl" \
  >"$ROUTER_ROOT/rcmserver.out" 2>&1 &
DEMO_PIDS="$DEMO_PIDS $!"
wait_for 5 test -s "$ROUTER_ROOT/rcm.port"
wait_for 5 grep -q ready "$ROUTER_ROOT/syslogring.out"
RCM_PORT=$(cat "$ROUTER_ROOT/rcm.port")

# show_new FILE: what FILE gained since the last look.
SHOWN=0
show_new() {
  printf -- '--- %s (new lines)\n' "$1"
  tail -n +$((SHOWN + 1)) "$ROUTER_ROOT$1" | sed 's/^/    /'
  SHOWN=$(wc -l <"$ROUTER_ROOT$1")
}

say "rmagent -d -s 127.0.0.1 -m demo.example: registration, then the configuration and status batches"
start rmagent env RMAGENT_PORT=0 RMAGENT_ADDR=127.0.0.1 RMAGENT_SERVER_PORT="$RCM_PORT" \
  RMAGENT_DESKMGR_PORT=0 RMAGENT_DISCOVERY_PORT=0 \
  RMAGENT_SYSLOG_KEY="$RING_KEY" PATH="$ROUTER_ROOT/demo-bin:$PATH" \
  rmagent -d -s 127.0.0.1 -m demo.example
wait_for 20 grep -q wl0_sta_maxunit "$ROUTER_ROOT/rcmserver.out"
show_new /rcmserver.out

say "syslogring: a line (split over two strings) written to the ring arrives as a log report"
echo "split dhcpd: DHCPACK on 192.168.1.10 |to 00:1a:2b:3c:4d:5e" >&7
wait_for 10 grep -q DHCPACK "$ROUTER_ROOT/rcmserver.out"
show_new /rcmserver.out

say "rcmserver: a configuration push (a new SSID for wireless unit 0) lands in nvram"
echo "config 1 0 wl_ssid=rcm%20managed wl_auth_mode=3" >&8
wait_for 10 sh -c "nvram get wl0_ssid | grep -q managed"
show_new /rcmserver.out
run nvram get wl0_ssid get wl0_net_auth_mode get wl0_akm

say "rcmserver: commit and reboot (a stand-in process plays init and gets the signal)"
sleep 300 &
INIT_PID=$!
echo "$INIT_PID" >"$ROUTER_ROOT/var/run/init.pid"
echo "commit" >&8
rc=0
{ wait "$INIT_PID"; } 2>/dev/null || rc=$?
echo "    init (pid $INIT_PID) ended with status $rc: SIGTERM, the router would reboot now"
printf -- '--- /flash/nvram (the committed store), wl0_ssid\n'
tr '\0' '\n' <"$ROUTER_ROOT/flash/nvram" | grep -a wl0_ssid | sed 's/^/    /'
printf -- '--- rmagent debug trace (last lines)\n'
tail -n 8 "$ROUTER_ROOT/rmagent.out" | sed 's/^/    /'
echo quit >&7
echo quit >&8
exec 7>&- 8>&-
