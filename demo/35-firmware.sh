# The firmware upgrade: trximg builds an image, rcmserver serves it (dropping one fragment and
# duplicating another), rmagent downloads and checks it, mtd writes it to /flash/linux and the
# init stand-in gets SIGTERM.
say "trximg: a TRX image from a 300 KB kernel-and-filesystem stand-in"
mkdir -p "$ROUTER_ROOT/fw-bin" "$ROUTER_ROOT/proc"
awk 'BEGIN { for (i = 0; i < 30000; i++) printf "firmware line %05d\n", i }' \
  | head -c 300000 >"$ROUTER_ROOT/payload.bin"
run trximg build -o "$ROUTER_ROOT/image.trx" -V 2 "$ROUTER_ROOT/payload.bin"
run trximg check "$ROUTER_ROOT/image.trx"
trximg build -o "$ROUTER_ROOT/lying.trx" -C 0x12345678 "$ROUTER_ROOT/payload.bin" >/dev/null
echo "    (a header with a lying CRC, for comparison:)"
run trximg check "$ROUTER_ROOT/lying.trx" || true

[ -f "$ROUTER_ROOT/proc/meminfo" ] ||
  printf 'MemTotal: 14336 kB\nMemFree: 3120 kB\n' >"$ROUTER_ROOT/proc/meminfo"
printf '#!/bin/sh\nexit 0\n' >"$ROUTER_ROOT/fw-bin/killall"
chmod +x "$ROUTER_ROOT/fw-bin/killall"
mkdir -p "$ROUTER_ROOT/flash"
printf 'old image\n' >"$ROUTER_ROOT/flash/linux"

FW_RING_KEY=$((0x46000000 + $$ % 65536))
mkfifo "$ROUTER_ROOT/fw-ring.ctl" "$ROUTER_ROOT/fw-server.ctl"
exec 7<>"$ROUTER_ROOT/fw-ring.ctl" 8<>"$ROUTER_ROOT/fw-server.ctl"
syslogring -k "$FW_RING_KEY" <"$ROUTER_ROOT/fw-ring.ctl" >"$ROUTER_ROOT/fw-syslogring.out" 2>&1 &
DEMO_PIDS="$DEMO_PIDS $!"
rcmserver -p 0 -o "$ROUTER_ROOT/fw-rcm.port" <"$ROUTER_ROOT/fw-server.ctl" \
  >"$ROUTER_ROOT/fw-rcmserver.out" 2>&1 &
DEMO_PIDS="$DEMO_PIDS $!"
wait_for 5 test -s "$ROUTER_ROOT/fw-rcm.port"
wait_for 5 grep -q ready "$ROUTER_ROOT/fw-syslogring.out"

sleep 300 &
FW_INIT=$!
echo "$FW_INIT" >"$ROUTER_ROOT/var/run/init.pid"
say "rmagent registers; rcmserver will drop fragment 5 once and send fragment 9 twice"
start fw-rmagent env RMAGENT_PORT=0 RMAGENT_ADDR=127.0.0.1 \
  RMAGENT_SERVER_PORT="$(cat "$ROUTER_ROOT/fw-rcm.port")" RMAGENT_SYSLOG_KEY="$FW_RING_KEY" \
  PATH="$ROUTER_ROOT/fw-bin:$PATH" rmagent -d -s 127.0.0.1 -m demo.example
wait_for 20 grep -q wl0_sta_maxunit "$ROUTER_ROOT/fw-rcmserver.out"
echo "fault drop 5" >&8
echo "fault dup 9" >&8
echo "firmware $ROUTER_ROOT/image.trx" >&8
echo "    (fragment 5 is asked again after 10 seconds)"
rc=0
{ wait "$FW_INIT"; } 2>/dev/null || rc=$?
printf -- '--- rcmserver: the progress line, last state, and the summary\n'
tr '\r' '\n' <"$ROUTER_ROOT/fw-rcmserver.out" | grep '^firmware' | tail -n 2 | sed 's/^ */    /'
printf -- '--- rmagent debug trace of the download (# a fragment, ! a repeat, * a reply not awaited)\n'
sed -n '/get upgradecmd/,$p' "$ROUTER_ROOT/fw-rmagent.out" | head -n 8 |
  perl -pe 's/(#{6,})/"#x".length($1)." "/ge' | sed 's/^/    /'
echo "    init (pid $FW_INIT) ended with status $rc: SIGTERM, the router would reboot now"
if cmp -s "$ROUTER_ROOT/image.trx" "$ROUTER_ROOT/flash/linux"; then
  echo "    /flash/linux now holds the image byte for byte ($(stat -c %s "$ROUTER_ROOT/flash/linux") bytes)"
else
  echo "    /flash/linux does NOT match the image"
fi
echo quit >&7
echo quit >&8
exec 7>&- 8>&-
