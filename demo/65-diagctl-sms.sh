# diagctl's messaging, activation, event reports and field test against a simulated Novatel
# card that takes control lines on a pipe. Runs in a subshell and stops what it started.
(
  SMS_PIDS=""
  sms_cleanup() {
    for pid in $SMS_PIDS; do kill "$pid" 2>/dev/null || true; done
    for pid in $SMS_PIDS; do wait "$pid" 2>/dev/null || true; done
  }
  trap sms_cleanup EXIT

  say "diagcard with one stored message and an activation script (events 2560 values 1, then 14)"
  mkfifo "$ROUTER_ROOT/card3.ctl"
  exec 7<>"$ROUTER_ROOT/card3.ctl"
  diagcard -o "$ROUTER_ROOT/card3.path" -e "sms-add 1 0000021002040702986555448d0008024869" \
    -e "activation-script 300:2560:01 800:2560:0e" -e "nv 178 00 36 31 39 35 35 35 31 32 33 34" \
    <"$ROUTER_ROOT/card3.ctl" >"$ROUTER_ROOT/card3.out" 2>&1 &
  SMS_PIDS="$SMS_PIDS $!"
  wait_for 5 test -s "$ROUTER_ROOT/card3.path"
  DIAGCTL_PORT=$(cat "$ROUTER_ROOT/card3.path")
  export DIAGCTL_PORT

  say "the message store: list, write a message to 6195551234, list, read it back (tl decoded)"
  run diagctl -j sms list
  run diagctl -j sms write 6195551234 48656c6c6f --reply
  run diagctl -j sms list
  run diagctl sms read 2

  say "the codec alone (no port): encode, then decode an acknowledgement with an error"
  run diagctl -j tl encode --to '*228' --bearer 0102 --subaddress a1b2 --odd
  run diagctl -j tl decode 0207023923

  say "activation on carrier 1: the card's events, then the verdict"
  run diagctl -j activation start '*22899' -t 30

  say "events for 2 seconds while the card reports (298, 2560 value 4, then 2562 value 5)"
  (sleep 0.5; echo "send-events 298 2560:04" >&7; sleep 0.5; echo "send-events ts8 2562=05" >&7) &
  sender=$!
  run diagctl -j events -t 2
  wait "$sender"

  say "the log mask: code 0x1160 on"
  run diagctl -j log on 0x1160

  say "one field-test table (the first rows)"
  diagctl fieldtest | head -10 | sed 's/^/    /'
)
