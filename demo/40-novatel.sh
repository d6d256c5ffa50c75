# The Novatel family: modemd drives a simulated DIAG card, starts its GPS stream, answers the
# position (command 210), and stays up when the card is pulled out. Runs in a subshell with a
# queue key of its own, and stops what it started.
(
  MODEMD_QUEUE_KEY=$((MODEMD_QUEUE_KEY + 0x40))
  export MODEMD_QUEUE_KEY
  NVTL_PIDS=""
  nvtl_cleanup() {
    for pid in $NVTL_PIDS; do kill "$pid" 2>/dev/null || true; done
    for pid in $NVTL_PIDS; do wait "$pid" 2>/dev/null || true; done
    ipcrm -Q "$MODEMD_QUEUE_KEY" 2>/dev/null || true
  }
  trap nvtl_cleanup EXIT

  say "diagcard: a simulated Novatel card whose GPS knows a position (48.8566 N, 2.3522 E, 35 m)"
  mkfifo "$ROUTER_ROOT/card1.ctl"
  exec 9<>"$ROUTER_ROOT/card1.ctl"  # the demo's end of the card's control line
  start diagcard sh -c 'exec diagcard -o "$1/card1.path" -r "$1/card1.rx" \
    -e "position latdeg=48.8566 londeg=2.3522 altm=35 mask=1 time=123456" <"$1/card1.ctl"' \
    diagcard "$ROUTER_ROOT"
  NVTL_PIDS="$NVTL_PIDS $!"
  wait_for 5 test -s "$ROUTER_ROOT/card1.path"
  CARD1=$(cat "$ROUTER_ROOT/card1.path")
  echo "card port: $CARD1"

  say "modemd -t novatel: opens the card's diagnostic port and starts its GPS stream"
  start modemd-novatel modemd -t novatel -f "$CARD1"
  NVTL_PIDS="$NVTL_PIDS $!"
  wait_for 10 modemd_serving
  show /modemd-novatel.out
  printf -- '--- /dev/console (its message)\n    '
  tail -c 36 "$ROUTER_ROOT/dev/console"
  echo

  say "modemctl gps: command 210, the 56-byte position record, decoded"
  run modemctl -t 10 gps

  say "what the card received, a DIAG frame a line: version, device info, events on, GPS start, position"
  show /card1.rx

  say "the card pulled out: modemd stays up and answers the position as an empty success"
  echo pull >&9
  wait_for 10 sh -c 'modemctl -t 2 gps | grep -q "^len 12"'
  run modemctl -t 10 gps
  kill -0 "$(echo $NVTL_PIDS | cut -d' ' -f2)" && echo "modemd is still running"
  exec 9>&-
)
